// The settings catalogue: every registry and printer-INI value the monitor
// reads or writes, with its key group, type, default and size. This is the
// only place where a key path, value name or default is spelled; code reads
// a value through its identifier (tw::settings::PageForcePaperSize, ...).
//
// Row: X(Id, Store, Group, Name, Type, Default, Size, SaveAs, Rule, Merge)
//   Store   where the group lives (Printer key, Absolute below HKCU, DefaultUser
//           hive, Ini section of the printer's INI file)
//   Group   key format ("%s" = the printer key, "%d" = job ID or the number the
//           caller gives) or INI section
//   Default NUM(n), NONE (no default: the reader reports "not found"), ON,
//           OFF, TXT(u"...") or EMPTY
//   Size    characters of a text value with its terminator; 0 = not given
//   SaveAs  the per-job Save-As value that overrides it: SA(n) (the DWORD
//           table for numbers and switches, the text table for texts) or NOSA
//   Rule    a reading rule beyond the type
//   Merge   how a merge record overrides it
// This file is included only by catalogue.h.
#pragma once

// clang-format off
#define TW_PRINTER_KEY u"%s"
#define TW_PRINTER_IDS u"SOFTWARE\\Tarnwick Software LLC\\PrinterIDs\\%d"
#define TW_PAGE u"%s\\Page Settings"
#define TW_NAMING u"%s\\Filename Generation Settings"
#define TW_MESSAGING u"%s\\Messaging Interface Settings"
#define TW_ENVVARS u"%s\\EnvVars"
#define TW_COVER u"%s\\Cover Page Settings"
#define TW_TEXTOUT u"%s\\Text Output Settings"
#define TW_TROUBLE u"%s\\Troubleshooting Settings"
#define TW_JOB u"%s\\%d"
#define TW_PDF u"%s\\Pdf Settings"
#define TW_PDF_FORCE u"%s\\Pdf Settings\\Force Embed Fonts"
#define TW_PDF_FORBID u"%s\\Pdf Settings\\Forbid Embed Fonts"
#define TW_PDFA u"%s\\PdfA Settings"
#define TW_HTML u"%s\\Html Settings"
#define TW_WATERMARK u"%s\\Watermark"
#define TW_HEADER u"%s\\Header Settings"
#define TW_FOOTER u"%s\\Footer Settings"
#define TW_STAMP u"%s\\Text Watermark Stamp Settings"
#define TW_BATES u"%s\\BatesNumbering\\%d"
#define TW_BARCODE u"%s\\Barcode Settings"
#define TW_OCR u"%s\\OCR"
#define TW_REDIRECT u"%s\\Redirect Printing Settings"
#define TW_POSTPRINT u"%s\\Post Print Settings"
#define TW_EMAIL u"%s\\Post Print Settings\\Email Settings"
#define TW_SHAREPOINT u"%s\\Post Print Settings\\SharePoint Settings"
#define TW_FTP u"%s\\Post Print Settings\\FTP Settings"
#define TW_FTPCONN u"%s\\Post Print Settings\\FTP Settings\\%d"
#define TW_STARTAPP u"%s\\Start Application"
#define TW_APPSTARTER u"%s\\Application Starter"

// The thirteen LOGFONTW values of a stamp key, after an optional name prefix.
#define TW_FONT_ROWS(X, P, STORE, G, PREFIX, TYPE, DEF)                                             \
  X(P##FontHeight, STORE, G, PREFIX u"Font Height", TYPE, DEF, 0, NOSA, NORULE, NOMERGE)                 \
  X(P##FontWidth, STORE, G, PREFIX u"Font Width", TYPE, DEF, 0, NOSA, NORULE, NOMERGE)                   \
  X(P##FontEscapement, STORE, G, PREFIX u"Font Escapement", TYPE, DEF, 0, NOSA, NORULE, NOMERGE)         \
  X(P##FontOrientation, STORE, G, PREFIX u"Font Orientation", TYPE, DEF, 0, NOSA, NORULE, NOMERGE)       \
  X(P##FontWeight, STORE, G, PREFIX u"Font Weight", TYPE, DEF, 0, NOSA, NORULE, NOMERGE)                 \
  X(P##FontItalic, STORE, G, PREFIX u"Font Italic", TYPE, DEF, 0, NOSA, NORULE, NOMERGE)                 \
  X(P##FontUnderline, STORE, G, PREFIX u"Font Underline", TYPE, DEF, 0, NOSA, NORULE, NOMERGE)           \
  X(P##FontStrikeout, STORE, G, PREFIX u"Font Strikeout", TYPE, DEF, 0, NOSA, NORULE, NOMERGE)           \
  X(P##FontCharset, STORE, G, PREFIX u"Font Charset", TYPE, DEF, 0, NOSA, NORULE, NOMERGE)               \
  X(P##FontOutprecisions, STORE, G, PREFIX u"Font Outprecisions", TYPE, DEF, 0, NOSA, NORULE, NOMERGE)   \
  X(P##FontClipprecisions, STORE, G, PREFIX u"Font Clipprecisions", TYPE, DEF, 0, NOSA, NORULE, NOMERGE) \
  X(P##FontQuality, STORE, G, PREFIX u"Font Quality", TYPE, DEF, 0, NOSA, NORULE, NOMERGE)               \
  X(P##FontPinchAndFamily, STORE, G, PREFIX u"Font PinchAndFamily", TYPE, DEF, 0, NOSA, NORULE, NOMERGE)

// Header and footer keys share their value names after "Header " / "Footer ".
#define TW_BAND_ROWS(X, P, G, PREFIX)                                                                  \
  X(P##Enable, Printer, G, PREFIX u"Enable", Number, NUM(0), 0, NOSA, NORULE, NOMERGE)                     \
  X(P##Position, Printer, G, PREFIX u"Position", Number, NUM(0), 0, NOSA, NORULE, NOMERGE)                 \
  X(P##FirstPageOnly, Printer, G, PREFIX u"First Page Only", Number, NUM(0), 0, NOSA, NORULE, NOMERGE)     \
  X(P##BackgroundMode, Printer, G, PREFIX u"Background Mode", Number, NUM(0), 0, NOSA, NORULE, NOMERGE)    \
  X(P##OffsetUnits, Printer, G, PREFIX u"Offset Units", Dword, NUM(2), 0, NOSA, NORULE, NOMERGE)           \
  X(P##OffsetX, Printer, G, PREFIX u"Offset X", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE)                   \
  X(P##OffsetY, Printer, G, PREFIX u"Offset Y", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE)                   \
  X(P##Color, Printer, G, PREFIX u"Color", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE)                        \
  X(P##Text, Printer, G, PREFIX u"Text", Text, EMPTY, 128, NOSA, NORULE, NOMERGE)                            \
  TW_FONT_ROWS(X, P, Printer, G, PREFIX, Dword, NONE)                                                     \
  X(P##FontFacename, Printer, G, PREFIX u"Font Facename", Text, EMPTY, 32, NOSA, NORULE, NOMERGE)

#define TW_SETTINGS_CATALOGUE(X) \
  /* The printer key itself */ \
  X(PrinterId, Printer, TW_PRINTER_KEY, u"Printer ID", Dword, NONE, 0, NOSA, NotWrittenInPackage, NOMERGE) \
  X(JobDataType, Printer, TW_PRINTER_KEY, u"Job %d Data Type", Text, EMPTY, 256, NOSA, NORULE, NOMERGE) \
  X(LastDocNumber, Printer, TW_PRINTER_KEY, u"LastDocNumber", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(LastPostPrintId, Printer, TW_PRINTER_KEY, u"LastPostPrintID", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  /* Printer identities */ \
  X(PrinterIdPrinterName, Absolute, TW_PRINTER_IDS, u"Printer name", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  /* Page Settings */ \
  X(PageForcePaperEnabled, Printer, TW_PAGE, u"Force Paper Enabled", Flag, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(PageForcePaperSize, Printer, TW_PAGE, u"Force Paper Size", Dword, NUM(1), 0, NOSA, NORULE, NOMERGE) \
  X(PageForcePaperWidth, Printer, TW_PAGE, u"Force Paper Width", Dword, NUM(2159), 0, NOSA, NORULE, NOMERGE) \
  X(PageForcePaperHeight, Printer, TW_PAGE, u"Force Paper Height", Dword, NUM(2794), 0, NOSA, NORULE, NOMERGE) \
  X(PageForcePaperWidthInPixels, Printer, TW_PAGE, u"Force Paper Width in Pixels", Dword, NUM(2550), 0, NOSA, NORULE, NOMERGE) \
  X(PageForcePaperHeightInPixels, Printer, TW_PAGE, u"Force Paper Height in Pixels", Dword, NUM(3300), 0, NOSA, NORULE, NOMERGE) \
  X(PageForceDpiEnabled, Printer, TW_PAGE, u"Force DPI Enabled", Flag, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(PageForcePaperXDpi, Printer, TW_PAGE, u"Force Paper X DPI", Dword, NUM(300), 0, NOSA, NORULE, NOMERGE) \
  X(PageForcePaperYDpi, Printer, TW_PAGE, u"Force Paper Y DPI", Dword, NUM(300), 0, NOSA, NORULE, NOMERGE) \
  X(PageAntialiasing, Printer, TW_PAGE, u"Antialiasing", Dword, NUM(4), 0, NOSA, NORULE, NOMERGE) \
  X(PageRotation, Printer, TW_PAGE, u"Rotation", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(PageTrimWhitespaceLeft, Printer, TW_PAGE, u"Trim Whitespace Left", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(PageTrimWhitespaceRight, Printer, TW_PAGE, u"Trim Whitespace Right", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(PageTrimWhitespaceTop, Printer, TW_PAGE, u"Trim Whitespace Top", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(PageTrimWhitespaceBottom, Printer, TW_PAGE, u"Trim Whitespace Bottom", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(PageTrimByGrayscaleIntensity, Printer, TW_PAGE, u"Trim Whitespace Based on Grayscale Intensity", Flag, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(PageGrayscaleIntensityForTrimming, Printer, TW_PAGE, u"Grayscale Intensity for Trimming", Dword, NUM(1), 0, NOSA, ZeroWhenKeyMissing, NOMERGE) \
  X(PageCropPage, Printer, TW_PAGE, u"Crop Page", Flag, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(PageCropMode, Printer, TW_PAGE, u"Crop Mode", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(PageCropLeft, Printer, TW_PAGE, u"Crop Left", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(PageCropRight, Printer, TW_PAGE, u"Crop Right", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(PageCropTop, Printer, TW_PAGE, u"Crop Top", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(PageCropBottom, Printer, TW_PAGE, u"Crop Bottom", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(PageSplitDocument, Printer, TW_PAGE, u"Split Document", Flag, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(PageStartNewFileAfterPage, Printer, TW_PAGE, u"Start New File After Page", Dword, NUM(1), 0, NOSA, ZeroWhenKeyMissing, NOMERGE) \
  X(PagePrintSelectedPagesOnly, Printer, TW_PAGE, u"Print Selected Pages Only", Flag, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(PageSelectedPages, Printer, TW_PAGE, u"Selected Pages", Text, EMPTY, 0, NOSA, NORULE, NOMERGE) \
  X(PageRemoveBlankPages, Printer, TW_PAGE, u"Remove Blank Pages", Flag, OFF, 0, NOSA, NORULE, NOMERGE) \
  /* Filename Generation Settings (the naming values of a naming source are read by the naming code) */ \
  X(NamingRemoveTextFromDocumentName, Printer, TW_NAMING, u"Remove Text from Document Name", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(NamingMergeUtility, Printer, TW_NAMING, u"Merge Utility", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(NamingUseOutputDirectoryFromClient, DefaultUser, TW_NAMING, u"Use Output Directory from Client", Flag, OFF, 0, NOSA, NORULE, NOMERGE) \
  /* Messaging Interface Settings */ \
  X(MessagingInterfaceName, Printer, TW_MESSAGING, u"Messaging Interface Name", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(MessagingInterfaceId, Printer, TW_MESSAGING, u"Messaging Interface ID", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(MessagingUseWindowsSessionId, Printer, TW_MESSAGING, u"Use Windows Session ID", Yes, OFF, 0, NOSA, NORULE, NOMERGE) \
  /* EnvVars: the named ones; any other name is read with ReadEnvVar */ \
  X(EnvUserName, Printer, TW_ENVVARS, u"USERNAME", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(EnvUserDomain, Printer, TW_ENVVARS, u"USERDOMAIN", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(EnvComputerName, Printer, TW_ENVVARS, u"COMPUTERNAME", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(EnvTemp, Printer, TW_ENVVARS, u"TEMP", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  /* Cover Page Settings */ \
  X(CoverEnable, Printer, TW_COVER, u"Enable Cover Page", Number, NUM(0), 0, SA(108), NORULE, NOMERGE) \
  X(CoverEnableDefault, Printer, TW_COVER, u"Enable Default Cover Page", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(CoverDefaultCoverPage, Printer, TW_COVER, u"Default Cover Page", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(CoverShowFiller, Printer, TW_COVER, u"Show Cover Page Filler", Number, NUM(1), 0, NOSA, NORULE, NOMERGE) \
  X(CoverStartBeforePrinting, Printer, TW_COVER, u"Start Before Printing", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  /* Text Output Settings */ \
  X(TextActionOnExistingFiles, Printer, TW_TEXTOUT, u"Action on Existing Files", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(TextGenerateInMemory, Printer, TW_TEXTOUT, u"Generate In Memory", Yes, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(TextNoPageHeaders, Printer, TW_TEXTOUT, u"No Page Headers", No, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(TextUseLegacyCoordinates, Printer, TW_TEXTOUT, u"Use Legacy Coordinates", Yes, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(TextFilterJunkCharacters, Printer, TW_TEXTOUT, u"Filter Junk Characters", Yes, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(TextSeparateOutputDirectory, Printer, TW_TEXTOUT, u"Separate Text Output Directory", Yes, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(TextOutputDirectory, Printer, TW_TEXTOUT, u"Text Output Directory", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(TextGlyphConversionMethod, Printer, TW_TEXTOUT, u"Glyph Conversion Method", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(TextLineBreaks, Printer, TW_TEXTOUT, u"Line Breaks", Dword, NUM(1), 0, NOSA, NORULE, NOMERGE) \
  X(TextAddSpace, Printer, TW_TEXTOUT, u"Add Space", Dword, NUM(2), 0, NOSA, NORULE, NOMERGE) \
  X(TextMarginUnits, Printer, TW_TEXTOUT, u"Margin Units", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(TextMarginTop, Printer, TW_TEXTOUT, u"Margin Top", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(TextMarginLeft, Printer, TW_TEXTOUT, u"Margin Left", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(TextMarginRight, Printer, TW_TEXTOUT, u"Margin Right", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(TextMarginBottom, Printer, TW_TEXTOUT, u"Margin Bottom", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(TextCharacterColumns, Printer, TW_TEXTOUT, u"Character Columns", Dword, NUM(80), 0, NOSA, NORULE, NOMERGE) \
  X(TextCharacterRows, Printer, TW_TEXTOUT, u"Character Rows", Dword, NUM(62), 0, NOSA, NORULE, NOMERGE) \
  /* Troubleshooting Settings */ \
  X(TroubleDebugLoggingEnable, Printer, TW_TROUBLE, u"Debug Logging Enable", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(TroubleDebugLoggingDirectory, Printer, TW_TROUBLE, u"Debug Logging Directory", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(TroubleReadEmfData, Printer, TW_TROUBLE, u"Read EMF Data", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  /* The per-job key */ \
  X(JobMessagingInterfaceName, Printer, TW_JOB, u"Messaging Interface Name", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(JobMessagingInterfaceId, Printer, TW_JOB, u"Messaging Interface ID", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(JobWindowsSessionId, Printer, TW_JOB, u"Windows Session ID", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(JobAbortJob, Printer, TW_JOB, u"Abort Job", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(JobPromptUserForPassword, Printer, TW_JOB, u"Prompt User for Password", Flag, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(JobPasswordPromptResult, Printer, TW_JOB, u"Password Prompt Result", Flag, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(JobDocumentUserPassword, Printer, TW_JOB, u"Document User Password", Text, EMPTY, 0, NOSA, ScrambledXor47, NOMERGE) \
  X(JobDocumentOwnerPassword, Printer, TW_JOB, u"Document Owner Password", Text, EMPTY, 0, NOSA, ScrambledXor47, NOMERGE) \
  X(JobDefaultCoverPage, Printer, TW_JOB, u"Default Cover Page", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(JobPostPrintId, Printer, TW_JOB, u"PostPrintID", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  /* The printer's INI file */ \
  X(IniStartApplicationTimeout, Ini, u"Default Settings", u"Start Application Timeout", IniInt, NUM(5000), 0, NOSA, NORULE, NOMERGE) \
  X(IniMessagingTimeout, Ini, u"Default Settings", u"Messaging Timeout", IniInt, NUM(10000), 0, NOSA, NORULE, NOMERGE) \
  X(IniMessagingTimeout2, Ini, u"Default Settings", u"Messaging Timeout 2", IniInt, NUM(10000), 0, NOSA, NORULE, NOMERGE) \
  X(IniAllowAnisotropicDpi, Ini, u"Default Settings", u"Allow Anisotropic DPI", IniInt, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(IniInterfaceName, Ini, u"Default Settings", u"InterfaceName", IniText, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(IniSessionId, Ini, u"Default Settings", u"SessionID", IniInt, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(IniUppercaseExtensions, Ini, u"Default Settings", u"Uppercase Extensions", IniInt, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(IniAddPageNumberToFirstPageFilename, Ini, u"Default Settings", u"Add Page Number to First Page Filename", IniInt, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(IniWriteNumberOfCopiesToGroupFile, Ini, u"Default Settings", u"Write Number of Copies to Group File", IniInt, NUM(1), 0, NOSA, NORULE, NOMERGE) \
  X(IniUnicodeGroupFile, Ini, u"Default Settings", u"UNICODE Group File", IniInt, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(IniOutputDirectory, Ini, u"Default Settings", u"Output Directory", IniText, EMPTY, 0, NOSA, NORULE, NOMERGE) \
  X(IniOutputDirectoryAlt, Ini, u"Default Settings", u"OutputDirectory", IniText, EMPTY, 0, NOSA, NORULE, NOMERGE) \
  X(IniPluginFilename, Ini, u"Default Settings", u"Plugin Filename", IniText, TXT(u"TwPlugIn.dll"), 260, NOSA, NORULE, NOMERGE) \
  X(IniPassword, Ini, u"Default Settings", u"Password", IniText, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(IniAlwaysReopenTiffFile, Ini, u"Default Settings", u"Always Reopen TIFF File", IniInt, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(IniDuplexCapability, Ini, u"Default Settings", u"Duplex Capability", IniInt, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(IniStartDocDelay, Ini, u"Default Settings", u"StartDoc Delay", IniInt, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(IniEndPageDelay, Ini, u"Default Settings", u"EndPage Delay", IniInt, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(IniEndDocDelay, Ini, u"Default Settings", u"EndDoc Delay", IniInt, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(IniIgnoreDevmodeFromClients, Ini, u"Sharing Settings", u"Ignore DEVMODE from clients", IniInt, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(IniIgnoreExtendedDevmodeFromClients, Ini, u"Sharing Settings", u"Ignore extended DEVMODE from clients", IniInt, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(IniOcrBitmapDirectory, Ini, u"OCR Settings", u"Bitmap Directory", IniText, EMPTY, 1024, NOSA, NORULE, NOMERGE) \
  X(IniOcrWriteBitmaps, Ini, u"OCR Settings", u"Write Bitmaps", IniText, TXT(u"No"), 200, NOSA, NORULE, NOMERGE) \
  X(IniPdfBitmapMergingMode, Ini, u"PDF Settings", u"Bitmap Merging Mode", IniInt, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(IniTextDisplayWordCoordinates, Ini, u"Text Output Settings", u"Display Word Coordinates", IniInt, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(IniTextLineAdjustment, Ini, u"Text Output Settings", u"Line Adjustment", IniInt, NUM(100), 0, NOSA, NORULE, NOMERGE) \
  X(IniEventLoggingLevel, Ini, u"Troubleshooting Settings", u"Event Logging Level", IniInt, NUM(2), 0, NOSA, NORULE, NOMERGE) \
  X(IniStatisticsPipeName, Ini, u"Statistics Pipe Settings", u"Pipe name", IniText, EMPTY, 260, NOSA, DefaultIsInterfaceName, NOMERGE) \
  X(IniGroupIniFile, Ini, u"TwGroup.ini", u"INI File", IniText, TXT(u"tw_group.ini"), 260, NOSA, NORULE, NOMERGE) \
  /* Pdf Settings */ \
  X(PdfStreamCompression, Printer, TW_PDF, u"Stream Compression", Number, NUM(105), 0, SA(16), NORULE, NOMERGE) \
  X(PdfMonoImageCompression, Printer, TW_PDF, u"Mono Image Compression", Number, NUM(307), 0, SA(18), NORULE, NOMERGE) \
  X(PdfColorImageCompression, Printer, TW_PDF, u"Color Image Compression", Number, NUM(207), 0, SA(17), NORULE, NOMERGE) \
  X(PdfJpegQuality, Printer, TW_PDF, u"JPEG Quality", Number, NUM(85), 0, SA(19), NORULE, NOMERGE) \
  X(PdfDocumentEncryption, Printer, TW_PDF, u"Document Encryption", Number, NUM(0), 0, SA(14), NORULE, MERGE_GROUP(Encryption)) \
  X(PdfDocumentSecurityFlag, Printer, TW_PDF, u"Document Security Flag", Number, NUM(0), 0, SA(15), NORULE, NOMERGE) \
  X(PdfEmbedAllFonts, Printer, TW_PDF, u"Embed all fonts", Number, NUM(1), 0, SA(20), NORULE, NOMERGE) \
  X(PdfCreateSubset, Printer, TW_PDF, u"Create subset", Number, NUM(1), 0, SA(24), NORULE, NOMERGE) \
  X(PdfEmbedLicensedFonts, Printer, TW_PDF, u"Embed licensed fonts", Number, NUM(0), 0, SA(21), NORULE, NOMERGE) \
  X(PdfEmbedAdobeFonts, Printer, TW_PDF, u"Embed adobe fonts", Number, NUM(0), 0, SA(22), NORULE, NOMERGE) \
  X(PdfEmbedWindowsFonts, Printer, TW_PDF, u"Embed windows fonts", Number, NUM(0), 0, SA(23), NORULE, NOMERGE) \
  X(PdfEmbedCidFontsOnly, Printer, TW_PDF, u"Embed CID fonts only", Number, NUM(0), 0, SA(99), NORULE, NOMERGE) \
  X(PdfLinearized, Printer, TW_PDF, u"Linearized", Number, NUM(0), 0, SA(51), NORULE, NOMERGE) \
  X(PdfTransparency, Printer, TW_PDF, u"Transparency", Number, NUM(0), 0, SA(56), NORULE, NOMERGE) \
  X(PdfAddWhiteBackgroundToPage, Printer, TW_PDF, u"Add White Background to Page", Number, NUM(0), 0, SA(105), NORULE, NOMERGE) \
  X(PdfUrlParsing, Printer, TW_PDF, u"URL Parsing", Number, NUM(0), 0, SA(57), NORULE, NOMERGE) \
  X(PdfResamplingMethod, Printer, TW_PDF, u"Resampling Method", Number, NUM(0), 0, SA(60), NORULE, NOMERGE) \
  X(PdfResamplingRate, Printer, TW_PDF, u"Resampling Rate", Number, NUM(100), 0, SA(61), NORULE, NOMERGE) \
  X(PdfColorPatterns, Printer, TW_PDF, u"Color Patterns", Number, NUM(0), 0, SA(62), NORULE, NOMERGE) \
  X(PdfOpenPageLayout, Printer, TW_PDF, u"Open Page Layout", Number, NUM(0), 0, SA(73), NORULE, NOMERGE) \
  X(PdfOpenPageView, Printer, TW_PDF, u"Open Page View", Number, NUM(0), 0, SA(74), NORULE, NOMERGE) \
  X(PdfOpenMagnification, Printer, TW_PDF, u"Open Magnification", Number, NUM(0), 0, SA(75), NORULE, NOMERGE) \
  X(PdfOpenHideMenubar, Printer, TW_PDF, u"Open Hide Menubar", Number, NUM(0), 0, SA(78), NORULE, NOMERGE) \
  X(PdfOpenHideToolbar, Printer, TW_PDF, u"Open Hide Toolbar", Number, NUM(0), 0, SA(79), NORULE, NOMERGE) \
  X(PdfOpenHideControls, Printer, TW_PDF, u"Open Hide Controls", Number, NUM(0), 0, SA(80), NORULE, NOMERGE) \
  X(PdfOpenFitToWindow, Printer, TW_PDF, u"Open Fit To Window", Number, NUM(0), 0, SA(81), NORULE, NOMERGE) \
  X(PdfOpenCenterWindow, Printer, TW_PDF, u"Open Center Window", Number, NUM(0), 0, SA(82), NORULE, NOMERGE) \
  X(PdfOpenShowTitle, Printer, TW_PDF, u"Open Show Title", Number, NUM(0), 0, SA(83), NORULE, NOMERGE) \
  X(PdfOpenAtPage, Printer, TW_PDF, u"Open At Page", Number, NUM(1), 0, SA(76), NORULE, NOMERGE) \
  X(PdfOpenZoom, Printer, TW_PDF, u"Open Zoom", Number, NUM(100), 0, SA(77), NORULE, NOMERGE) \
  X(PdfDocumentUserPassword, Printer, TW_PDF, u"Document User Password", Text, EMPTY, 0, SA(6), NORULE, NOMERGE) \
  X(PdfDocumentOwnerPassword, Printer, TW_PDF, u"Document Owner Password", Text, EMPTY, 0, SA(7), NORULE, NOMERGE) \
  X(PdfDocumentTitle, Printer, TW_PDF, u"Document Title", Text, EMPTY, 0, SA(2), NORULE, NOMERGE) \
  X(PdfDocumentAuthor, Printer, TW_PDF, u"Document Author", Text, EMPTY, 0, SA(3), NORULE, NOMERGE) \
  X(PdfDocumentSubject, Printer, TW_PDF, u"Document Subject", Text, EMPTY, 0, SA(4), NORULE, NOMERGE) \
  X(PdfDocumentKeywords, Printer, TW_PDF, u"Document Keywords", Text, EMPTY, 0, SA(5), NORULE, NOMERGE) \
  X(PdfForceEmbedFontCount, Printer, TW_PDF_FORCE, u"Font count", Number, NUM(0), 0, SA(25), NORULE, NOMERGE) \
  X(PdfForceEmbedFont, Printer, TW_PDF_FORCE, u"Font %d", Text, EMPTY, 0, SA(8), NORULE, NOMERGE) \
  X(PdfForbidEmbedFontCount, Printer, TW_PDF_FORBID, u"Font count", Number, NUM(0), 0, SA(26), NORULE, NOMERGE) \
  X(PdfForbidEmbedFont, Printer, TW_PDF_FORBID, u"Font %d", Text, EMPTY, 0, SA(9), NORULE, NOMERGE) \
  /* PdfA Settings */ \
  X(PdfAStreamCompression, Printer, TW_PDFA, u"Stream Compression", Number, NUM(105), 0, SA(52), NORULE, NOMERGE) \
  X(PdfAMonoImageCompression, Printer, TW_PDFA, u"Mono Image Compression", Number, NUM(307), 0, SA(54), NORULE, NOMERGE) \
  X(PdfAColorImageCompression, Printer, TW_PDFA, u"Color Image Compression", Number, NUM(207), 0, SA(53), NORULE, NOMERGE) \
  X(PdfAJpegQuality, Printer, TW_PDFA, u"JPEG Quality", Number, NUM(85), 0, SA(55), NORULE, NOMERGE) \
  X(PdfATransparency, Printer, TW_PDFA, u"Transparency", Number, NUM(0), 0, SA(58), NORULE, NOMERGE) \
  X(PdfAAddWhiteBackgroundToPage, Printer, TW_PDFA, u"Add White Background to Page", Number, NUM(0), 0, SA(106), NORULE, NOMERGE) \
  X(PdfAUrlParsing, Printer, TW_PDFA, u"URL Parsing", Number, NUM(0), 0, SA(59), NORULE, NOMERGE) \
  X(PdfAResamplingMethod, Printer, TW_PDFA, u"Resampling Method", Number, NUM(0), 0, SA(63), NORULE, NOMERGE) \
  X(PdfAResamplingRate, Printer, TW_PDFA, u"Resampling Rate", Number, NUM(100), 0, SA(64), NORULE, NOMERGE) \
  X(PdfAColorPatterns, Printer, TW_PDFA, u"Color Patterns", Number, NUM(0), 0, SA(65), NORULE, NOMERGE) \
  X(PdfAOpenPageLayout, Printer, TW_PDFA, u"Open Page Layout", Number, NUM(0), 0, SA(84), NORULE, NOMERGE) \
  X(PdfAOpenPageView, Printer, TW_PDFA, u"Open Page View", Number, NUM(0), 0, SA(85), NORULE, NOMERGE) \
  X(PdfAOpenMagnification, Printer, TW_PDFA, u"Open Magnification", Number, NUM(0), 0, SA(86), NORULE, NOMERGE) \
  X(PdfAOpenAtPage, Printer, TW_PDFA, u"Open At Page", Number, NUM(1), 0, SA(87), NORULE, NOMERGE) \
  X(PdfAOpenZoom, Printer, TW_PDFA, u"Open Zoom", Number, NUM(100), 0, SA(88), NORULE, NOMERGE) \
  X(PdfAOpenHideMenubar, Printer, TW_PDFA, u"Open Hide Menubar", Number, NUM(0), 0, SA(89), NORULE, NOMERGE) \
  X(PdfAOpenHideToolbar, Printer, TW_PDFA, u"Open Hide Toolbar", Number, NUM(0), 0, SA(90), NORULE, NOMERGE) \
  X(PdfAOpenHideControls, Printer, TW_PDFA, u"Open Hide Controls", Number, NUM(0), 0, SA(91), NORULE, NOMERGE) \
  X(PdfAOpenFitToWindow, Printer, TW_PDFA, u"Open Fit To Window", Number, NUM(0), 0, SA(92), NORULE, NOMERGE) \
  X(PdfAOpenCenterWindow, Printer, TW_PDFA, u"Open Center Window", Number, NUM(0), 0, SA(93), NORULE, NOMERGE) \
  X(PdfAOpenShowTitle, Printer, TW_PDFA, u"Open Show Title", Number, NUM(0), 0, SA(94), NORULE, NOMERGE) \
  X(PdfADocumentTitle, Printer, TW_PDFA, u"Document Title", Text, EMPTY, 0, SA(41), NORULE, NOMERGE) \
  X(PdfADocumentAuthor, Printer, TW_PDFA, u"Document Author", Text, EMPTY, 0, SA(42), NORULE, NOMERGE) \
  X(PdfADocumentSubject, Printer, TW_PDFA, u"Document Subject", Text, EMPTY, 0, SA(43), NORULE, NOMERGE) \
  X(PdfADocumentKeywords, Printer, TW_PDFA, u"Document Keywords", Text, EMPTY, 0, SA(44), NORULE, NOMERGE) \
  /* Html Settings */ \
  X(HtmlSeparatePages, Printer, TW_HTML, u"Separate pages", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  /* Watermark: the separate first-page image */ \
  X(WatermarkFirstImagePortrait, Printer, TW_WATERMARK, u"First Image Portrait", Text, EMPTY, 260, SA(39), NORULE, NOMERGE) \
  X(WatermarkFirstImageLandscape, Printer, TW_WATERMARK, u"First Image Landscape", Text, EMPTY, 260, SA(40), NORULE, NOMERGE) \
  X(WatermarkFirstImagePortraitBrightness, Printer, TW_WATERMARK, u"First Image Portrait Brightness", Dword, NUM(40), 0, SA(49), Brightness100Else40, NOMERGE) \
  X(WatermarkFirstImageLandscapeBrightness, Printer, TW_WATERMARK, u"First Image Landscape Brightness", Dword, NUM(40), 0, SA(50), Brightness100Else40, NOMERGE) \
  X(WatermarkFirstImagePortraitPosition, Printer, TW_WATERMARK, u"First Image Portrait Position", Dword, NUM(4), 0, SA(44), WatermarkPositionCode, NOMERGE) \
  X(WatermarkFirstImageLandscapePosition, Printer, TW_WATERMARK, u"First Image Landscape Position", Dword, NUM(4), 0, SA(45), WatermarkPositionCode, NOMERGE) \
  /* Header Settings, Footer Settings */ \
  TW_BAND_ROWS(X, Header, TW_HEADER, u"Header ") \
  TW_BAND_ROWS(X, Footer, TW_FOOTER, u"Footer ") \
  /* Text Watermark Stamp Settings */ \
  X(StampTextWatermarkEnable, Printer, TW_STAMP, u"Text Watermark Enable", Number, NUM(0), 0, SA(39), NORULE, NOMERGE) \
  X(StampTextStampEnable, Printer, TW_STAMP, u"Text Stamp Enable", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(StampPosition, Printer, TW_STAMP, u"Position", Number, NUM(2), 0, NOSA, NORULE, NOMERGE) \
  X(StampBackgroundMode, Printer, TW_STAMP, u"Background Mode", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(StampFirstPageOnly, Printer, TW_STAMP, u"First Page Only", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(StampColor, Printer, TW_STAMP, u"Color", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(StampOffsetX, Printer, TW_STAMP, u"Offset X", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(StampOffsetY, Printer, TW_STAMP, u"Offset Y", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(StampOffsetUnits, Printer, TW_STAMP, u"Offset Units", Dword, NUM(2), 0, NOSA, NORULE, NOMERGE) \
  X(StampRotation, Printer, TW_STAMP, u"Rotation", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(StampVisibility, Printer, TW_STAMP, u"Visibility", Dword, NUM(100), 0, NOSA, Percent0To100, NOMERGE) \
  X(StampText, Printer, TW_STAMP, u"Text", Text, EMPTY, 128, NOSA, NORULE, NOMERGE) \
  TW_FONT_ROWS(X, Stamp, Printer, TW_STAMP, u"", Dword, NONE) \
  X(StampFontFacename, Printer, TW_STAMP, u"Font Facename", Text, EMPTY, 32, NOSA, NORULE, NOMERGE) \
  /* BatesNumbering\<profile + 1>: every value is REG_SZ */ \
  X(BatesName, Printer, TW_BATES, u"Name", Text, TXT(u"ERROR"), 40, NOSA, NORULE, NOMERGE) \
  X(BatesUsePrefix, Printer, TW_BATES, u"Use prefix", DecimalText, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(BatesPrefix, Printer, TW_BATES, u"Prefix", Text, TXT(u"ERROR"), 30, NOSA, NORULE, NOMERGE) \
  X(BatesStartWith, Printer, TW_BATES, u"Start with", DecimalText, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(BatesTransparent, Printer, TW_BATES, u"Transparent", DecimalText, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(BatesPosition, Printer, TW_BATES, u"Position", DecimalText, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(BatesXOffset, Printer, TW_BATES, u"X Offset", DecimalText, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(BatesYOffset, Printer, TW_BATES, u"Y Offset", DecimalText, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(BatesOffsetUnit, Printer, TW_BATES, u"Offset unit", DecimalText, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(BatesRotation, Printer, TW_BATES, u"Rotation", DecimalText, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(BatesColor, Printer, TW_BATES, u"Color", DecimalText, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  TW_FONT_ROWS(X, Bates, Printer, TW_BATES, u"", DecimalText, NUM(0)) \
  X(BatesFontFacename, Printer, TW_BATES, u"Font Facename", Text, TXT(u"ERROR"), 31, NOSA, NORULE, NOMERGE) \
  X(BatesNumberLength, Printer, TW_BATES, u"Bates Number Length", DecimalText, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(BatesPaddingCharacter, Printer, TW_BATES, u"Bates Padding Character", Text, TXT(u"ERROR"), 2, NOSA, NORULE, NOMERGE) \
  X(BatesResetNumberAtEveryPrinting, Printer, TW_BATES, u"Reset bates number at every printing", DecimalText, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(BatesResetNumber, Printer, TW_BATES, u"Reset bates number", DecimalText, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(BatesIncreaseOnEachDocument, Printer, TW_BATES, u"Increase on each document", DecimalText, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  /* Barcode Settings */ \
  X(BarcodeValue, Printer, TW_BARCODE, u"Value", Text, EMPTY, 0, NOSA, NORULE, NOMERGE) \
  X(BarcodeValueFile, Printer, TW_BARCODE, u"Value File", Text, EMPTY, 512, NOSA, NORULE, NOMERGE) \
  X(BarcodeRegExpFile, Printer, TW_BARCODE, u"RegExp File", Text, EMPTY, 512, NOSA, NORULE, NOMERGE) \
  X(BarcodeRegExpFormatFile, Printer, TW_BARCODE, u"RegExp Format File", Text, EMPTY, 512, NOSA, NORULE, NOMERGE) \
  /* OCR */ \
  X(OcrEnabled, Printer, TW_OCR, u"Enabled", Number, NUM(0), 0, SA(71), NORULE, MERGE_EVERY(Ocr)) \
  X(OcrSelectArea, Printer, TW_OCR, u"Select Area", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(OcrClosingFilter, Printer, TW_OCR, u"Closing Filter", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(OcrOpenOutput, Printer, TW_OCR, u"Open Output", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(OcrFirstPageOnly, Printer, TW_OCR, u"First Page Only", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(OcrGenerateInMemory, Printer, TW_OCR, u"Generate In Memory", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(OcrAreaUnit, Printer, TW_OCR, u"Area Unit", Dword, NUM(1), 0, NOSA, NORULE, NOMERGE) \
  X(OcrAreaLeft, Printer, TW_OCR, u"Area Left", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(OcrAreaTop, Printer, TW_OCR, u"Area Top", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(OcrAreaWidth, Printer, TW_OCR, u"Area Width", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(OcrAreaHeight, Printer, TW_OCR, u"Area Height", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(OcrFormat, Printer, TW_OCR, u"OCR Format", Dword, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(OcrLanguages, Printer, TW_OCR, u"Languages", Text, EMPTY, 0, NOSA, NORULE, NOMERGE) \
  X(OcrOutputDirectory, Printer, TW_OCR, u"Output Directory", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(OcrTextEditor, Printer, TW_OCR, u"Text Editor", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(OcrLibraryPath, Printer, TW_OCR, u"TwOcrx.dll", Text, EMPTY, 0, NOSA, NORULE, NOMERGE) \
  /* Redirect Printing Settings */ \
  X(RedirectEnableLog, Printer, TW_REDIRECT, u"Enable Redirect Printing Log", Yes, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(RedirectLogFile, Printer, TW_REDIRECT, u"Redirect Printing Log File", Text, EMPTY, 1024, NOSA, NORULE, NOMERGE) \
  X(RedirectUseNumberOfCopies, Printer, TW_REDIRECT, u"Use number of copies", Yes, OFF, 0, SA(96), NORULE, NOMERGE) \
  X(RedirectNumberOfCopies, Printer, TW_REDIRECT, u"Number of copies", Dword, NUM(1), 0, SA(97), NORULE, NOMERGE) \
  X(RedirectCollatePages, Printer, TW_REDIRECT, u"Collate pages", Yes, ON, 0, SA(98), NORULE, NOMERGE) \
  X(RedirectPrintAsBitmap, Printer, TW_REDIRECT, u"Print as Bitmap", Yes, OFF, 0, SA(104), NORULE, NOMERGE) \
  X(RedirectContentBased, Printer, TW_REDIRECT, u"Content Based Redirection", Yes, OFF, 0, NOSA, NORULE, NOMERGE) \
  /* Post Print Settings */ \
  X(PostPrintViewInDefaultViewer, Printer, TW_POSTPRINT, u"View in default viewer", Yes, OFF, 0, SA(1), NORULE, MERGE_LAST(OpenWithViewer)) \
  X(PostPrintOpenOutputFolder, Printer, TW_POSTPRINT, u"Open output folder", Yes, OFF, 0, SA(2), NORULE, MERGE_LAST(OpenFolder)) \
  X(PostPrintSendInEmail, Printer, TW_POSTPRINT, u"Send in email", Yes, OFF, 0, SA(37), NORULE, MERGE_LAST(Email)) \
  X(PostPrintOpenTiffViewer, Printer, TW_POSTPRINT, u"Open Tiff Viewer", Yes, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(PostPrintPreviewWindow, Printer, TW_POSTPRINT, u"Preview Window", Yes, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(PostPrintPreviewWindowOverlay, Printer, TW_POSTPRINT, u"Preview Window Overlay", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(PostPrintPreviewWindowOverlayFirstPageOnly, Printer, TW_POSTPRINT, u"Preview Window Overlay First Page Only", Yes, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(PostPrintFtpUpload, Printer, TW_POSTPRINT, u"FTP upload", Yes, OFF, 0, NOSA, NORULE, MERGE_LAST(Ftp)) \
  X(PostPrintHttpUpload, Printer, TW_POSTPRINT, u"HTTP upload", Yes, OFF, 0, NOSA, NORULE, MERGE_LAST(Http)) \
  X(PostPrintDatabaseUpload, Printer, TW_POSTPRINT, u"Database upload", Yes, OFF, 0, NOSA, NORULE, MERGE_LAST_ONLY) \
  X(PostPrintMFilesUpload, Printer, TW_POSTPRINT, u"M-Files upload", Yes, OFF, 0, NOSA, NORULE, MERGE_LAST_ONLY) \
  X(PostPrintEmailProgram32, Printer, TW_POSTPRINT, u"Email sending program 32bit", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(PostPrintEmailProgram64, Printer, TW_POSTPRINT, u"Email sending program 64bit", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(PostPrintFtpProgram, Printer, TW_POSTPRINT, u"FTP sending program", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(PostPrintHttpUtility, Printer, TW_POSTPRINT, u"HTTP utility", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(PostPrintDatabaseUtility, Printer, TW_POSTPRINT, u"Database utility", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(PostPrintMFilesUtility, Printer, TW_POSTPRINT, u"M-Files utility", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  X(PostPrintSharePointUtility, Printer, TW_POSTPRINT, u"SharePoint utility", Text, EMPTY, 260, NOSA, NORULE, NOMERGE) \
  /* Post Print Settings\Email Settings; the values after "Mailvane Data" are handed to the e-mail program as stored */ \
  X(EmailContentBased, Printer, TW_EMAIL, u"Content Based Email", Yes, OFF, 0, SA(53), SaveAsTextYesExact, NOMERGE) \
  X(EmailSimpleContentBased, Printer, TW_EMAIL, u"Simple Content Based Email", Yes, OFF, 0, SA(54), SaveAsTextYesExact, NOMERGE) \
  X(EmailMultipageContentBased, Printer, TW_EMAIL, u"Multipage Content Based Email", Yes, OFF, 0, SA(55), SaveAsTextYesExact, NOMERGE) \
  X(EmailDisableAboutBoxLinks, Printer, TW_EMAIL, u"Disable About Box Links", Yes, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(EmailDisableEmailSettings, Printer, TW_EMAIL, u"Disable Email Settings", Yes, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(EmailMailvaneData, Printer, TW_EMAIL, u"Mailvane Data", Binary, EMPTY, 0, NOSA, NORULE, NOMERGE) \
  X(EmailSenderClient, Printer, TW_EMAIL, u"Sender Client", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailSmtpServer, Printer, TW_EMAIL, u"SMTP Server", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailSmtpPort, Printer, TW_EMAIL, u"SMTP Port", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailSmtpSenderEmail, Printer, TW_EMAIL, u"SMTP Sender Email", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailSmtpUserName, Printer, TW_EMAIL, u"SMTP UserName", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailSmtpPassword, Printer, TW_EMAIL, u"SMTP Password", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailSmtpEnableSsl, Printer, TW_EMAIL, u"SMTP Enable SSL", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailSender, Printer, TW_EMAIL, u"Email Sender", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailTo, Printer, TW_EMAIL, u"Email To", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailCc, Printer, TW_EMAIL, u"Email Cc", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailBcc, Printer, TW_EMAIL, u"Email Bcc", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailSubject, Printer, TW_EMAIL, u"Email Subject", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailBody, Printer, TW_EMAIL, u"Email Body", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailAttachment, Printer, TW_EMAIL, u"Attachment", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailLoggingDirectory, Printer, TW_EMAIL, u"Logging Directory", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailAuditLoggingDirectory, Printer, TW_EMAIL, u"Audit Logging Directory", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailSendSilently, Printer, TW_EMAIL, u"Email Send Silently", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailAskForAddress, Printer, TW_EMAIL, u"Ask For Address", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailLoggingEnabled, Printer, TW_EMAIL, u"Logging Enabled", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailAuditLoggingEnabled, Printer, TW_EMAIL, u"Audit Logging Enabled", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailDisplaySentSuccessfullyMessage, Printer, TW_EMAIL, u"Display Email Sent Successfully Message", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailDisplayErrorMessage, Printer, TW_EMAIL, u"Display Error Message", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  X(EmailDeleteFilesAfterSending, Printer, TW_EMAIL, u"Delete Files After Sending", Any, NONE, 0, NOSA, NORULE, NOMERGE) \
  /* Post Print Settings\SharePoint Settings */ \
  X(SharePointUpload, Printer, TW_SHAREPOINT, u"SharePoint Upload", Yes, OFF, 0, SA(38), NORULE, MERGE_LAST(SharePoint)) \
  /* Post Print Settings\FTP Settings and its connections */ \
  X(FtpSelectedConnection, Printer, TW_FTP, u"FTP Selected Connection", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(FtpSecurityMode, Printer, TW_FTPCONN, u"Security Mode", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(FtpPort, Printer, TW_FTPCONN, u"Port", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(FtpProxyPort, Printer, TW_FTPCONN, u"Proxy Port", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(FtpProxyType, Printer, TW_FTPCONN, u"Proxy Type", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(FtpProxyAuthentication, Printer, TW_FTPCONN, u"Proxy Authentication", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(FtpTrustedCertificate, Printer, TW_FTPCONN, u"Trusted Certificate", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(FtpTransferMethod, Printer, TW_FTPCONN, u"Transfer Method", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(FtpActionOnExistingFiles, Printer, TW_FTPCONN, u"Action on Existing Files", Number, NUM(0), 0, NOSA, NORULE, NOMERGE) \
  X(FtpIsPassive, Printer, TW_FTPCONN, u"Is Passive", Yes, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(FtpLogging, Printer, TW_FTPCONN, u"Logging", Yes, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(FtpShowSuccess, Printer, TW_FTPCONN, u"Show Success", Yes, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(FtpShowError, Printer, TW_FTPCONN, u"Show Error", Yes, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(FtpUploadText, Printer, TW_FTPCONN, u"Upload Text", Yes, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(FtpUploadOcr, Printer, TW_FTPCONN, u"Upload OCR", Yes, OFF, 0, NOSA, NORULE, NOMERGE) \
  X(FtpUploadDocument, Printer, TW_FTPCONN, u"Upload Document", Yes, ON, 0, NOSA, NORULE, NOMERGE) \
  X(FtpConnectionName, Printer, TW_FTPCONN, u"Connection Name", Text, EMPTY, 0, NOSA, NORULE, NOMERGE) \
  X(FtpServerAddress, Printer, TW_FTPCONN, u"Server Address", Text, EMPTY, 0, NOSA, NORULE, NOMERGE) \
  X(FtpLoginName, Printer, TW_FTPCONN, u"Login Name", Text, EMPTY, 0, NOSA, NORULE, NOMERGE) \
  X(FtpRemoteDirectory, Printer, TW_FTPCONN, u"Remote Directory", Text, EMPTY, 0, NOSA, NORULE, NOMERGE) \
  X(FtpProxyServerAddress, Printer, TW_FTPCONN, u"Proxy Server Address", Text, EMPTY, 0, NOSA, NORULE, NOMERGE) \
  X(FtpProxyUserName, Printer, TW_FTPCONN, u"Proxy User Name", Text, EMPTY, 0, NOSA, NORULE, NOMERGE) \
  X(FtpProxyDomain, Printer, TW_FTPCONN, u"Proxy Domain", Text, EMPTY, 0, NOSA, NORULE, NOMERGE) \
  X(FtpLogfile, Printer, TW_FTPCONN, u"Logfile", Text, EMPTY, 0, NOSA, NORULE, NOMERGE) \
  X(FtpPassword, Printer, TW_FTPCONN, u"Password", Text, EMPTY, 260, NOSA, ScrambledHex6C, NOMERGE) \
  X(FtpProxyUserPassword, Printer, TW_FTPCONN, u"Proxy User Password", Text, EMPTY, 260, NOSA, ScrambledHex6C, NOMERGE) \
  /* Start Application, Application Starter */ \
  X(StartAppCustomParameter, Printer, TW_STARTAPP, u"Custom Parameter", Text, EMPTY, 0, NOSA, NORULE, NOMERGE) \
  X(AppStarterExeName, Printer, TW_APPSTARTER, u"EXE Name", Text, EMPTY, 260, NOSA, NORULE, NOMERGE)

// The numbered values of the per-job Save-As key "%s\Save As Option Settings\%d".
// DWORD table: X(Id, Number, Name).
#define TW_SAVE_AS_DWORDS(X) \
  X(FileFormat, 0, u"File Format") \
  X(OpenWithDefaultViewer, 1, u"Open printer document with default viewer") \
  X(OpenOutputFolder, 2, u"Open output folder") \
  X(SaveEachPageAsSeparateFile, 3, u"Save each page as separate file") \
  X(AppendFile, 4, u"Append File") \
  X(CancelWasPressed, 5, u"Cancel was pressed") \
  X(ShowAppendWarningMessage, 6, u"Show append warning message") \
  X(ShowOverwriteWarningMessage, 7, u"Show overwrite warning message") \
  X(ColorDepth, 8, u"Color Depth") \
  X(JpegLossRatio, 9, u"JPEG: Loss Ratio") \
  X(TiffInternetTiffFormat, 10, u"TIFF: Internet TIFF Format") \
  X(TiffReverseBitOrder, 11, u"TIFF: Reverse Bit Order") \
  X(TiffAddPageNumberingTag, 12, u"TIFF: Add page Numbering Tag") \
  X(ImagePdfCompressionFlag, 13, u"Image PDF: Compression Flag") \
  X(PdfSecurityEncryption, 14, u"PDF: Security - Encryption") \
  X(PdfSecuritySecurityFlags, 15, u"PDF: Security - Security Flags") \
  X(PdfStreamCompression, 16, u"PDF: Compression - Stream Compression") \
  X(PdfColorImageCompression, 17, u"PDF: Compression - Color Image Compression") \
  X(PdfMonoImageCompression, 18, u"PDF: Compression - Mono Image Compression") \
  X(PdfJpegQuality, 19, u"PDF: Compression - JPEG Quality") \
  X(PdfEmbedFonts, 20, u"PDF: Fonts - Embed Fonts") \
  X(PdfEmbedLicensedFonts, 21, u"PDF: Fonts - Embed Licensed Fonts") \
  X(PdfEmbedAdobeFonts, 22, u"PDF: Fonts - Embed Adobe Fonts") \
  X(PdfEmbedWindowsFonts, 23, u"PDF: Fonts - Embed Windows Fonts") \
  X(PdfCreateFontSubset, 24, u"PDF: Fonts - Create Font Subset") \
  X(PdfForceEmbedFontsCount, 25, u"PDF: Fonts - Force Embed Fonts Count") \
  X(PdfForbidEmbedFontsCount, 26, u"PDF: Fonts - Forbid Embed Fonts Count") \
  X(HtmlViewType, 27, u"HTML: General - View Type") \
  X(HtmlCssSettings, 28, u"HTML: General - CSS Settings") \
  X(HtmlSeparatePages, 29, u"HTML: General - Separate Pages") \
  X(HtmlDisplayMode, 30, u"HTML: General - Display Mode") \
  X(HtmlEmbedFonts, 31, u"HTML: Fonts - Embed Fonts") \
  X(HtmlEmbedLicensedFonts, 32, u"HTML: Fonts - Embed Licensed Fonts") \
  X(HtmlCreateFontSubset, 33, u"HTML: Fonts - Create Font Subset") \
  X(HtmlForceEmbedFontsCount, 34, u"HTML: Fonts - Force Embed Fonts Count") \
  X(HtmlForbidEmbedFontsCount, 35, u"HTML: Fonts - Forbid Embed Fonts Count") \
  X(RedirectPrinting, 36, u"Redirect Printing") \
  X(SendPrintedDocumentInEmail, 37, u"Send printed document in email") \
  X(UploadToSharePoint, 38, u"Upload to SharePoint") \
  X(PrintWatermark, 39, u"Print Watermark") \
  X(PrinterCount, 40, u"Printer count") \
  X(WatermarkAddFirstPageOnly, 41, u"Watermark Add first page only") \
  X(WatermarkPPosition, 42, u"Watermark P position") \
  X(WatermarkLPosition, 43, u"Watermark L position") \
  X(WatermarkPFirstImagePosition, 44, u"Watermark P First Image position") \
  X(WatermarkLFirstImagePosition, 45, u"Watermark L First Image position") \
  X(WatermarkFirstImageEnabled, 46, u"Watermark First Image enabled") \
  X(WatermarkPBrightness, 47, u"Watermark P Brightness") \
  X(WatermarkLBrightness, 48, u"Watermark L Brightness") \
  X(WatermarkPFirstBrightness, 49, u"Watermark P First Brightness") \
  X(WatermarkLFirstBrightness, 50, u"Watermark L First Brightness") \
  X(PdfLinearized, 51, u"PDF: General - Linearized") \
  X(PdfAStreamCompression, 52, u"PDFA: Compression - Stream Compression") \
  X(PdfAColorImageCompression, 53, u"PDFA: Compression - Color Image Compression") \
  X(PdfAMonoImageCompression, 54, u"PDFA: Compression - Mono Image Compression") \
  X(PdfAJpegQuality, 55, u"PDFA: Compression - JPEG Quality") \
  X(PdfTransparency, 56, u"PDF: General - Transparency") \
  X(PdfUrlParsing, 57, u"PDF: General - URL Parsing") \
  X(PdfATransparency, 58, u"PDFA: General - Transparency") \
  X(PdfAUrlParsing, 59, u"PDFA: General - URL Parsing") \
  X(PdfResamplingMethod, 60, u"PDF: General - Resampling Method") \
  X(PdfResamplingRate, 61, u"PDF: General - Resampling Rate") \
  X(PdfColorPatterns, 62, u"PDF: General - Color Patterns") \
  X(PdfAResamplingMethod, 63, u"PDFA: General - Resampling Method") \
  X(PdfAResamplingRate, 64, u"PDFA: General - Resampling Rate") \
  X(PdfAColorPatterns, 65, u"PDFA: General - Color Patterns") \
  X(XmlIncludeText, 66, u"XML: General - Include Text") \
  X(XmlIncludeImages, 67, u"XML: General - Include Images") \
  X(XmlIncludePath, 68, u"XML: General - Include Path") \
  X(XmlIncludeDtd, 69, u"XML: General - Include DTD") \
  X(XmlImageFormat, 70, u"XML: General - Image Format") \
  X(EnableOcr, 71, u"Enable OCR") \
  X(ForceSaveAsDialog, 72, u"Force Save As Dialog") \
  X(PdfOpenPageLayout, 73, u"PDF: Open - Page Layout") \
  X(PdfOpenPageView, 74, u"PDF: Open - Page View") \
  X(PdfOpenMagnification, 75, u"PDF: Open - Magnification") \
  X(PdfOpenAtPage, 76, u"PDF: Open - Open At Page") \
  X(PdfOpenZoom, 77, u"PDF: Open - Zoom") \
  X(PdfOpenHideMenubar, 78, u"PDF: Open - Hide Menubar") \
  X(PdfOpenHideToolbar, 79, u"PDF: Open - Hide Toolbar") \
  X(PdfOpenHideControls, 80, u"PDF: Open - Hide Controls") \
  X(PdfOpenFitToWindow, 81, u"PDF: Open - Fit To Window") \
  X(PdfOpenCenterWindow, 82, u"PDF: Open - Center Window") \
  X(PdfOpenShowTitle, 83, u"PDF: Open - Show Title") \
  X(PdfAOpenPageLayout, 84, u"PDFA: Open - Page Layout") \
  X(PdfAOpenPageView, 85, u"PDFA: Open - Page View") \
  X(PdfAOpenMagnification, 86, u"PDFA: Open - Magnification") \
  X(PdfAOpenAtPage, 87, u"PDFA: Open - Open At Page") \
  X(PdfAOpenZoom, 88, u"PDFA: Open - Zoom") \
  X(PdfAOpenHideMenubar, 89, u"PDFA: Open - Hide Menubar") \
  X(PdfAOpenHideToolbar, 90, u"PDFA: Open - Hide Toolbar") \
  X(PdfAOpenHideControls, 91, u"PDFA: Open - Hide Controls") \
  X(PdfAOpenFitToWindow, 92, u"PDFA: Open - Fit To Window") \
  X(PdfAOpenCenterWindow, 93, u"PDFA: Open - Center Window") \
  X(PdfAOpenShowTitle, 94, u"PDFA: Open - Show Title") \
  X(RedirectPrintingScalingMode, 95, u"Redirect Printing Scaling Mode") \
  X(UseNumberOfCopies, 96, u"Use number of copies") \
  X(NumberOfCopies, 97, u"Number of copies") \
  X(CollatePages, 98, u"Collate pages") \
  X(PdfEmbedCidFontsOnly, 99, u"PDF: Fonts - Embed CID Fonts Only") \
  X(PdfCompactPdf, 100, u"PDF: Fonts - Compact PDF") \
  X(HtmlRemoveUnusedFontTables, 101, u"HTML: Fonts - Remove Unused Font Tables") \
  X(PrintImageWatermark, 102, u"Print Image Watermark") \
  X(DoNotShowSaveAsAgain, 103, u"Do not show save as again") \
  X(RedirectPrintingPrintAsBitmap, 104, u"Redirect Printing Print as Bitmap") \
  X(PdfAddWhiteBackgroundToPage, 105, u"PDF: General - Add White Background to Page") \
  X(PdfAAddWhiteBackgroundToPage, 106, u"PDFA: General - Add White Background to Page") \
  X(PdfSecurityPromptForPassword, 107, u"PDF: Security - Prompt for Password") \
  X(AddCoverPage, 108, u"Add Cover Page")

// Text table: X(Id, Number, Name); each read into 260 characters.
#define TW_SAVE_AS_TEXTS(X) \
  X(OutputPath, 0, u"Output Path") \
  X(Filename, 1, u"Filename") \
  X(PdfTitle, 2, u"PDF: Description - Title") \
  X(PdfAuthor, 3, u"PDF: Description - Author") \
  X(PdfSubject, 4, u"PDF: Description - Subject") \
  X(PdfKeywords, 5, u"PDF: Description - Keywords") \
  X(PdfUserPassword, 6, u"PDF: Security - User Password") \
  X(PdfOwnerPassword, 7, u"PDF: Security - Owner Password") \
  X(PdfForceEmbedFont, 8, u"PDF: Fonts - Force Embed Font_%d") \
  X(PdfForbidEmbedFont, 9, u"PDF: Fonts - Forbid Embed Font_%d") \
  X(HtmlOutputFolder, 10, u"HTML: General - Output Folder") \
  X(HtmlForceEmbedFont, 11, u"HTML: Fonts - Force Embed Font_%d") \
  X(HtmlForbidEmbedFont, 12, u"HTML: Fonts - Forbid Embed Font_%d") \
  X(Printer, 13, u"Printer %d") \
  X(RedirectPrintingLogFile, 14, u"Redirect Printing Log File") \
  X(EnableRedirectPrintingLog, 15, u"Enable Redirect Printing Log") \
  X(SmtpServer, 16, u"SMTP Server") \
  X(SmtpPort, 17, u"SMTP Port") \
  X(SmtpUserName, 18, u"SMTP UserName") \
  X(SmtpPassword, 19, u"SMTP Password") \
  X(SmtpEnableSsl, 20, u"SMTP Enable SSL") \
  X(EmailSendSilently, 21, u"Email Send Silently") \
  X(EmailSender, 22, u"Email Sender") \
  X(EmailTo, 23, u"Email To") \
  X(EmailCc, 24, u"Email Cc") \
  X(EmailBcc, 25, u"Email Bcc") \
  X(EmailSubject, 26, u"Email Subject") \
  X(EmailBody, 27, u"Email Body") \
  X(LoggingDirectory, 28, u"Logging Directory") \
  X(LoggingEnabled, 29, u"Logging Enabled") \
  X(SenderClient, 30, u"Sender Client") \
  X(SharePointServer, 31, u"SharePoint Server") \
  X(SharePointDirectory, 32, u"SharePoint Directory") \
  X(SharePointUser, 33, u"SharePoint User") \
  X(SharePointPass, 34, u"SharePoint Pass") \
  X(SharePointLogfile, 35, u"SharePoint Logfile") \
  X(SharePointSilent, 36, u"SharePoint Silent") \
  X(WatermarkPortraitImage, 37, u"Watermark Portrait Image") \
  X(WatermarkLandscapeImage, 38, u"Watermark Landscape Image") \
  X(WatermarkPortraitFirstImage, 39, u"Watermark Portrait First Image") \
  X(WatermarkLandscapeFirstImage, 40, u"Watermark Landscape First Image") \
  X(PdfATitle, 41, u"PDFA: Description - Title") \
  X(PdfAAuthor, 42, u"PDFA: Description - Author") \
  X(PdfASubject, 43, u"PDFA: Description - Subject") \
  X(PdfAKeywords, 44, u"PDFA: Description - Keywords") \
  X(SharePointHttps, 45, u"SharePoint HTTPS") \
  X(SharePointDelete, 46, u"SharePoint Delete") \
  X(XmlOutputFolder, 47, u"XML: General - Output Folder") \
  X(DeleteFilesAfterSending, 48, u"Delete Files After Sending") \
  X(AskForAddress, 49, u"Ask For Address") \
  X(AuditLoggingDirectory, 50, u"Audit Logging Directory") \
  X(AuditLoggingEnabled, 51, u"Audit Logging Enabled") \
  X(SmtpSenderEmail, 52, u"SMTP Sender Email") \
  X(ContentBasedEmail, 53, u"Content Based Email") \
  X(SimpleContentBasedEmail, 54, u"Simple Content Based Email") \
  X(MultipageContentBasedEmail, 55, u"Multipage Content Based Email") \
  X(DisplayEmailSentSuccessfullyMessage, 56, u"Display Email Sent Successfully Message") \
  X(DisplayErrorMessage, 57, u"Display Error Message") \
  X(RedirectPrintingPromptTheUser, 58, u"Redirect Printing Prompt the User")
// clang-format on
