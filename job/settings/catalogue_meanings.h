// What each catalogue row is for, in a few words an administrator reads in
// the .reg template and the settings documentation. One entry per row of
// catalogue_rows.h, keyed by the row's identifier: X(Id, Meaning). The
// catalogue fails to compile when a row has no entry or two.
// This file is included only by catalogue.cpp.
#pragma once

// clang-format off

// The thirteen LOGFONTW values of a stamp key (see TW_FONT_ROWS).
#define TW_FONT_MEANINGS(X, P, WHAT, NOTE) \
  X(P##FontHeight, WHAT u" font: height (LOGFONTW lfHeight)" NOTE) \
  X(P##FontWidth, WHAT u" font: average character width (lfWidth)" NOTE) \
  X(P##FontEscapement, WHAT u" font: escapement in tenths of a degree (lfEscapement)" NOTE) \
  X(P##FontOrientation, WHAT u" font: orientation in tenths of a degree (lfOrientation)" NOTE) \
  X(P##FontWeight, WHAT u" font: weight, 400 normal, 700 bold (lfWeight)" NOTE) \
  X(P##FontItalic, WHAT u" font: italic when the low byte is not 0 (lfItalic)" NOTE) \
  X(P##FontUnderline, WHAT u" font: underlined when the low byte is not 0 (lfUnderline)" NOTE) \
  X(P##FontStrikeout, WHAT u" font: struck out when the low byte is not 0 (lfStrikeOut)" NOTE) \
  X(P##FontCharset, WHAT u" font: character set, low byte (lfCharSet)" NOTE) \
  X(P##FontOutprecisions, WHAT u" font: output precision, low byte (lfOutPrecision)" NOTE) \
  X(P##FontClipprecisions, WHAT u" font: clipping precision, low byte (lfClipPrecision)" NOTE) \
  X(P##FontQuality, WHAT u" font: output quality, low byte (lfQuality)" NOTE) \
  X(P##FontPinchAndFamily, WHAT u" font: pitch and family, low byte (lfPitchAndFamily)" NOTE)

#define TW_FONT_ALL_NOTE u"; the font is used only when all thirteen font values and the face name are present"

// The header and footer values (see TW_BAND_ROWS).
#define TW_BAND_MEANINGS(X, P, WHAT, PREFIX) \
  X(P##Enable, WHAT u" switch: not 0 prints the " WHAT u" text on the pages") \
  X(P##Position, u"alignment of the " WHAT u" text across the page: 1 centred, 2 right-aligned, other values at the left") \
  X(P##FirstPageOnly, u"not 0: the " WHAT u" only on the first page of the document") \
  X(P##BackgroundMode, u"not 0: the " WHAT u" text is drawn on an opaque background; 0: transparent") \
  X(P##OffsetUnits, u"unit of \"" PREFIX u"Offset X\" and \"" PREFIX u"Offset Y\": 0 tenths of a millimetre, 1 hundredths of an inch, any other value pixels") \
  X(P##OffsetX, u"horizontal offset of the " WHAT u" text, in \"" PREFIX u"Offset Units\"") \
  X(P##OffsetY, u"vertical offset of the " WHAT u" text, in \"" PREFIX u"Offset Units\"") \
  X(P##Color, WHAT u" text colour (COLORREF, 0x00BBGGRR)") \
  X(P##Text, u"the " WHAT u" text (at most 127 characters); variables in it are replaced for each page") \
  TW_FONT_MEANINGS(X, P, WHAT, TW_FONT_ALL_NOTE) \
  X(P##FontFacename, WHAT u" font: face name (at most 31 characters)" TW_FONT_ALL_NOTE)

// The values shared by the PDF and PDF/A keys.
#define TW_PDF_COMMON_MEANINGS(X, P, WHAT) \
  X(P##StreamCompression, u"compression code of the " WHAT u" content streams") \
  X(P##MonoImageCompression, u"compression code of black-and-white images in " WHAT u" output") \
  X(P##ColorImageCompression, u"compression code of colour images in " WHAT u" output") \
  X(P##JpegQuality, u"JPEG quality (1 to 100) of JPEG-compressed images in " WHAT u" output") \
  X(P##Transparency, u"not 0: keep transparent drawing in " WHAT u" output") \
  X(P##AddWhiteBackgroundToPage, u"not 0: put a white background under every " WHAT u" page") \
  X(P##UrlParsing, u"not 0: turn web addresses in the page text into links in " WHAT u" output") \
  X(P##ResamplingMethod, u"how images are resampled in " WHAT u" output (a method code; 0 none)") \
  X(P##ResamplingRate, u"resampling rate of images in " WHAT u" output, in percent") \
  X(P##ColorPatterns, u"not 0: keep colour patterns of the page in " WHAT u" output") \
  X(P##OpenPageLayout, u"page layout a viewer opens the " WHAT u" file with (a layout code)") \
  X(P##OpenPageView, u"panel a viewer shows when it opens the " WHAT u" file (a page-mode code)") \
  X(P##OpenMagnification, u"magnification code a viewer opens the " WHAT u" file with") \
  X(P##OpenHideMenubar, u"not 0: a viewer hides its menu bar for the " WHAT u" file") \
  X(P##OpenHideToolbar, u"not 0: a viewer hides its tool bars for the " WHAT u" file") \
  X(P##OpenHideControls, u"not 0: a viewer hides its window controls for the " WHAT u" file") \
  X(P##OpenFitToWindow, u"not 0: a viewer fits its window to the first page of the " WHAT u" file") \
  X(P##OpenCenterWindow, u"not 0: a viewer centres its window on the screen for the " WHAT u" file") \
  X(P##OpenShowTitle, u"not 0: a viewer shows the document title rather than the file name") \
  X(P##OpenAtPage, u"page number the " WHAT u" file opens at") \
  X(P##OpenZoom, u"zoom in percent the " WHAT u" file opens with") \
  X(P##DocumentTitle, u"title written into the " WHAT u" document information; also the stamp variable DOCUMENT TITLE") \
  X(P##DocumentAuthor, u"author written into the " WHAT u" document information; also the stamp variable DOCUMENT AUTHOR") \
  X(P##DocumentSubject, u"subject written into the " WHAT u" document information; also the stamp variable DOCUMENT SUBJECT") \
  X(P##DocumentKeywords, u"keywords written into the " WHAT u" document information; also the stamp variable DOCUMENT KEYWORDS")

#define TW_SETTING_MEANINGS(X) \
  /* The printer key itself */ \
  X(PrinterId, u"the printer's identity number; its \"PrinterIDs\" entry names the printer") \
  X(JobDataType, u"the job's spool data type, written by the driver; deleted after reading") \
  X(LastDocNumber, u"document counter of the printer") \
  X(LastPostPrintId, u"last post-print ID allocated to a job's application-starter hand-off") \
  /* Printer identities */ \
  X(PrinterIdPrinterName, u"the printer name for the ID") \
  /* Page Settings */ \
  X(PageForcePaperEnabled, u"force the paper: every page gets the size and resolution of this key's \"Force Paper\" values") \
  X(PageForcePaperSize, u"forced paper size code (dmPaperSize; 1 letter, 9 A4)") \
  X(PageForcePaperWidth, u"forced paper width, 0.1 mm") \
  X(PageForcePaperHeight, u"forced paper height, 0.1 mm") \
  X(PageForcePaperWidthInPixels, u"forced paper width in pixels (PaperWidthInPixels)") \
  X(PageForcePaperHeightInPixels, u"forced paper height in pixels (PaperHeightInPixels)") \
  X(PageForceDpiEnabled, u"force only the resolution, to \"Force Paper X DPI\" and \"Force Paper Y DPI\"") \
  X(PageForcePaperXDpi, u"forced horizontal resolution, dots per inch") \
  X(PageForcePaperYDpi, u"forced vertical resolution, dots per inch") \
  X(PageAntialiasing, u"text smoothing when pages are rendered: 0 none, 1 antialiased, 2 ClearType, 3 as the document asks, other values chosen by colour mode and resolution") \
  X(PageRotation, u"page rotation: 0 none, 1 and 3 the two quarter turns, 2 a half turn") \
  X(PageTrimWhitespaceLeft, u"not 0: trim the blank margin on the left of each page image") \
  X(PageTrimWhitespaceRight, u"not 0: trim the blank margin on the right of each page image") \
  X(PageTrimWhitespaceTop, u"not 0: trim the blank margin at the top of each page image") \
  X(PageTrimWhitespaceBottom, u"not 0: trim the blank margin at the bottom of each page image") \
  X(PageTrimByGrayscaleIntensity, u"trimming mode: a margin is blank up to \"Grayscale Intensity for Trimming\" rather than only when white") \
  X(PageGrayscaleIntensityForTrimming, u"trimming threshold: how dark (percent) a pixel may be and still count as blank") \
  X(PageCropPage, u"crop every page image by the four \"Crop\" values") \
  X(PageCropMode, u"cropping: 0 the four \"Crop\" values are margins; other values: \"Crop Right\" and \"Crop Bottom\" are the right and bottom edges") \
  X(PageCropLeft, u"crop margin on the left, hundredths of an inch") \
  X(PageCropRight, u"crop margin (or right edge, by \"Crop Mode\") on the right, hundredths of an inch") \
  X(PageCropTop, u"crop margin at the top, hundredths of an inch") \
  X(PageCropBottom, u"crop margin (or bottom edge, by \"Crop Mode\") at the bottom, hundredths of an inch") \
  X(PageSplitDocument, u"start new output files during a document, every \"Start New File After Page\" pages") \
  X(PageStartNewFileAfterPage, u"pages per file when splitting") \
  X(PagePrintSelectedPagesOnly, u"page selection: output only the pages listed in \"Selected Pages\"") \
  X(PageSelectedPages, u"the page list, numbers and ranges separated by commas, such as 1,3-5") \
  X(PageRemoveBlankPages, u"blank-page removal: blank pages are left out of the output") \
  /* Filename Generation Settings */ \
  X(NamingRemoveTextFromDocumentName, u"text removed from the document name before the output is named") \
  X(NamingMergeUtility, u"merge utility program; merge mode needs it") \
  X(NamingUseOutputDirectoryFromClient, u"shared printers keep the client's output directory") \
  /* Messaging Interface Settings */ \
  X(MessagingInterfaceName, u"the client's messaging interface name, when the job's own key names none") \
  X(MessagingInterfaceId, u"the client's interface ID; the monitor also writes it (with the DEVMODE's session ID)") \
  X(MessagingUseWindowsSessionId, u"\"yes\": the client's interface ID is its Windows session, kept when a printer device context is made") \
  /* EnvVars */ \
  X(EnvUserName, u"user name used in paths and stamps when the job's environment has none") \
  X(EnvUserDomain, u"user domain used in paths and stamps when the job's environment has none") \
  X(EnvComputerName, u"computer name used in paths and stamps when the job's environment has none") \
  X(EnvTemp, u"temporary directory used when the job's environment has none") \
  /* Cover Page Settings */ \
  X(CoverEnable, u"cover page switch: not 0 puts a cover page in front of the output") \
  X(CoverEnableDefault, u"take \"Default Cover Page\" from this key rather than the per-job key") \
  X(CoverDefaultCoverPage, u"cover page file") \
  X(CoverShowFiller, u"show the cover-page filler, the program that fills in the cover page") \
  X(CoverStartBeforePrinting, u"start the filler before printing, so that the cover page is added before the document's pages") \
  /* Text Output Settings */ \
  X(TextActionOnExistingFiles, u"text output file that exists already: 1 deleted first, 2 the new file gets a collision number") \
  X(TextGenerateInMemory, u"text output in memory: each page's text is sent to the client rather than written to a file") \
  X(TextNoPageHeaders, u"on when the text equals \"no\" (any case): the text output leaves out its page headers") \
  X(TextUseLegacyCoordinates, u"place short text runs at their clipping rectangle, as older versions did") \
  X(TextFilterJunkCharacters, u"drop text drawn by glyph index, which often extracts as junk characters") \
  X(TextSeparateOutputDirectory, u"text files go to \"Text Output Directory\"") \
  X(TextOutputDirectory, u"directory of the text output files when \"Separate Text Output Directory\" is on") \
  X(TextGlyphConversionMethod, u"how glyph indexes of embedded fonts become characters: 0 automatic, 1 font map, 2 index offset, 3 offset preferred") \
  X(TextLineBreaks, u"line-break kind of the text output: 1 CR LF, 2 LF, 3 CR, other values none") \
  X(TextAddSpace, u"spaces between text runs: 0 none, 1 after every run, 2 by gaps, 3 by gaps and inside runs") \
  X(TextMarginUnits, u"unit of the four text \"Margin\" values: 0 hundredths of an inch, 1 tenths of a millimetre, other values pixels") \
  X(TextMarginTop, u"top margin of the text page") \
  X(TextMarginLeft, u"left margin of the text page") \
  X(TextMarginRight, u"right margin of the text page") \
  X(TextMarginBottom, u"bottom margin of the text page") \
  X(TextCharacterColumns, u"character columns of the text page grid") \
  X(TextCharacterRows, u"character rows of the text page grid") \
  /* Troubleshooting Settings */ \
  X(TroubleDebugLoggingEnable, u"not 0: capture the printed page data into debug capture files and check the fonts it uses") \
  X(TroubleDebugLoggingDirectory, u"directory of the captured page data (PrnDebug.edf)") \
  X(TroubleReadEmfData, u"captured page data file replayed instead of the printed pages; the monitor clears it after the job") \
  /* The per-job key */ \
  X(JobMessagingInterfaceName, u"the client's interface for this job") \
  X(JobMessagingInterfaceId, u"the ID of the client's interface for this job") \
  X(JobWindowsSessionId, u"the client's Windows session; it also names the merge block") \
  X(JobAbortJob, u"the client asks to abort the job") \
  X(JobPromptUserForPassword, u"the user is prompted for the PDF passwords: they come from this key") \
  X(JobPasswordPromptResult, u"the user answered the prompt; when off, empty passwords are used") \
  X(JobDocumentUserPassword, u"PDF user password, stored with every character XORed with 0x47") \
  X(JobDocumentOwnerPassword, u"PDF owner password, stored with every character XORed with 0x47") \
  X(JobDefaultCoverPage, u"cover page file of this job") \
  X(JobPostPrintId, u"application-starter hand-off number of this job") \
  /* The printer's INI file */ \
  X(IniStartApplicationTimeout, u"ms to wait for a started application") \
  X(IniMessagingTimeout, u"ms allowed for connecting to the client's messaging pipe") \
  X(IniMessagingTimeout2, u"ms to wait for a busy messaging pipe and for each phase of an exchange with the client") \
  X(IniAllowAnisotropicDpi, u"different X and Y DPI allowed") \
  X(IniInterfaceName, u"client interface name fallback, when the registry names none") \
  X(IniSessionId, u"client interface ID fallback, when the registry names none") \
  X(IniUppercaseExtensions, u"not 0: output file extensions in upper case") \
  X(IniAddPageNumberToFirstPageFilename, u"on only when 1: the first page's file name gets its page number too") \
  X(IniWriteNumberOfCopiesToGroupFile, u"on only when 1: the group file lists the number of copies") \
  X(IniUnicodeGroupFile, u"1: the group file is written as UTF-16 text") \
  X(IniOutputDirectory, u"output directory of naming method 8 when the printer's own naming section names none") \
  X(IniOutputDirectoryAlt, u"output directory of naming method 8, read when \"Output Directory\" is missing") \
  X(IniPluginFilename, u"plug-in library called at the start and end of every document and page") \
  X(IniPassword, u"a document name must contain this text; it is removed from the name") \
  X(IniAlwaysReopenTiffFile, u"on only when 1: every TIFF page is added by reopening the file") \
  X(IniDuplexCapability, u"on only when 1: the started application is told the duplex mode") \
  X(IniStartDocDelay, u"milliseconds to wait when a document starts") \
  X(IniEndPageDelay, u"milliseconds to wait after each page") \
  X(IniEndDocDelay, u"milliseconds to wait when a document ends") \
  X(IniIgnoreDevmodeFromClients, u"shared printer: ignore the DEVMODE a client sends") \
  X(IniIgnoreExtendedDevmodeFromClients, u"shared printer: ignore the private fields of the DEVMODE a client sends") \
  X(IniOcrBitmapDirectory, u"directory where the page images given to OCR are written") \
  X(IniOcrWriteBitmaps, u"on when \"yes\" (any case): write the page images given to OCR") \
  X(IniPdfBitmapMergingMode, u"how the PDF writer merges neighbouring images (a mode code)") \
  X(IniTextDisplayWordCoordinates, u"on only when 1: the text output gives one record per word, with its position") \
  X(IniTextLineAdjustment, u"percent of the smallest line distance that separates two text lines") \
  X(IniEventLoggingLevel, u"how much the monitor writes to the event log") \
  X(IniStatisticsPipeName, u"statistics pipe that receives the job's figures") \
  X(IniGroupIniFile, u"group file name") \
  /* Pdf Settings */ \
  TW_PDF_COMMON_MEANINGS(X, Pdf, u"PDF") \
  X(PdfDocumentEncryption, u"PDF encryption level; 0 none") \
  X(PdfDocumentSecurityFlag, u"permission bits granted to readers of an encrypted PDF document with an owner password") \
  X(PdfEmbedAllFonts, u"not 0: embed the document's fonts in PDF output") \
  X(PdfCreateSubset, u"not 0: embed only the characters used of each font") \
  X(PdfEmbedLicensedFonts, u"not 0: embed fonts whose licence restricts embedding too") \
  X(PdfEmbedAdobeFonts, u"not 0: embed the standard PDF fonts too") \
  X(PdfEmbedWindowsFonts, u"not 0: embed the fonts that come with Windows too") \
  X(PdfEmbedCidFontsOnly, u"not 0: embed fonts only as CID fonts") \
  X(PdfLinearized, u"not 0: write linearized PDF, for page-at-a-time viewing over the web") \
  X(PdfDocumentUserPassword, u"PDF user password (plain text here), needed to open an encrypted document") \
  X(PdfDocumentOwnerPassword, u"PDF owner password (plain text here), needed to change an encrypted document's permissions") \
  X(PdfForceEmbedFontCount, u"number of \"Font %d\" values: fonts always embedded in PDF output") \
  X(PdfForceEmbedFont, u"face name of a font always embedded in PDF output; %d numbers the fonts from 1") \
  X(PdfForbidEmbedFontCount, u"number of \"Font %d\" values: fonts never embedded in PDF output") \
  X(PdfForbidEmbedFont, u"face name of a font never embedded in PDF output; %d numbers the fonts from 1") \
  /* PdfA Settings */ \
  TW_PDF_COMMON_MEANINGS(X, PdfA, u"PDF/A") \
  /* Html Settings */ \
  X(HtmlSeparatePages, u"not 0: HTML output shows the pages separated") \
  /* Watermark */ \
  X(WatermarkFirstImagePortrait, u"first-page watermark image for portrait pages") \
  X(WatermarkFirstImageLandscape, u"first-page watermark image for landscape pages") \
  X(WatermarkFirstImagePortraitBrightness, u"brightness of the portrait first-page watermark image, 0..100; a larger value reads as 40") \
  X(WatermarkFirstImageLandscapeBrightness, u"brightness of the landscape first-page watermark image, 0..100; a larger value reads as 40") \
  X(WatermarkFirstImagePortraitPosition, u"position of the portrait first-page watermark image: one of 1, 2, 4, 8, 16, 32, 64, 128, 272, 320, 528, 576; any other value reads as 4") \
  X(WatermarkFirstImageLandscapePosition, u"position of the landscape first-page watermark image: one of 1, 2, 4, 8, 16, 32, 64, 128, 272, 320, 528, 576; any other value reads as 4") \
  /* Header Settings, Footer Settings */ \
  TW_BAND_MEANINGS(X, Header, u"header", u"Header ") \
  TW_BAND_MEANINGS(X, Footer, u"footer", u"Footer ") \
  /* Text Watermark Stamp Settings */ \
  X(StampTextWatermarkEnable, u"text watermark switch: not 0 prints \"Text\" as a watermark on the pages") \
  X(StampTextStampEnable, u"text stamp switch: not 0 prints \"Text\" as a stamp on the pages") \
  X(StampPosition, u"reference point of the text: 0 top-left, 1 top-right, 2 centre, 3 bottom-left, 4 bottom-right") \
  X(StampBackgroundMode, u"not 0: the text is drawn on an opaque background; 0: transparent") \
  X(StampFirstPageOnly, u"not 0: the text watermark or stamp only on the first page of the document") \
  X(StampColor, u"text colour (COLORREF, 0x00BBGGRR)") \
  X(StampOffsetX, u"horizontal offset of the text, in \"Offset Units\"") \
  X(StampOffsetY, u"vertical offset of the text, in \"Offset Units\"") \
  X(StampOffsetUnits, u"unit of \"Offset X\" and \"Offset Y\": 0 tenths of a millimetre, 1 hundredths of an inch, any other value pixels") \
  X(StampRotation, u"angle of the text, in degrees") \
  X(StampVisibility, u"opacity of the text in percent, limited to 0..100 (100 opaque)") \
  X(StampText, u"the watermark or stamp text (at most 127 characters); variables in it are replaced for each page") \
  TW_FONT_MEANINGS(X, Stamp, u"stamp", TW_FONT_ALL_NOTE) \
  X(StampFontFacename, u"stamp font: face name (at most 31 characters)" TW_FONT_ALL_NOTE) \
  /* BatesNumbering\<profile + 1> */ \
  X(BatesName, u"name of the Bates numbering profile") \
  X(BatesUsePrefix, u"not 0: \"Prefix\" goes in front of the number") \
  X(BatesPrefix, u"text in front of the Bates number; a profile without it is not used") \
  X(BatesStartWith, u"the running Bates number; the monitor writes it back as it advances") \
  X(BatesTransparent, u"not 0: transparent background behind the number") \
  X(BatesPosition, u"where the number is printed: 0 top-left, 1 top-right, 2 centre, 3 bottom-left, 4 bottom-right; other values top-left") \
  X(BatesXOffset, u"horizontal offset of the number, in \"Offset unit\"") \
  X(BatesYOffset, u"vertical offset of the number, in \"Offset unit\"") \
  X(BatesOffsetUnit, u"unit of the offsets: 0 tenths of a millimetre, 1 hundredths of an inch, 2 pixels; any other value: no offset") \
  X(BatesRotation, u"angle of the number, in degrees") \
  X(BatesColor, u"colour of the number (COLORREF, 0x00BBGGRR)") \
  TW_FONT_MEANINGS(X, Bates, u"Bates number", u"") \
  X(BatesFontFacename, u"Bates number font: face name (at most 30 characters)") \
  X(BatesNumberLength, u"digits of the number, padded with \"Bates Padding Character\"; at most 16; 0 no padding") \
  X(BatesPaddingCharacter, u"character that pads the number to \"Bates Number Length\" (the first character of the text)") \
  X(BatesResetNumberAtEveryPrinting, u"not 0: every print job starts at \"Reset bates number\"; ignored with \"Increase on each document\"") \
  X(BatesResetNumber, u"first number of each print job when \"Reset bates number at every printing\" is set") \
  X(BatesIncreaseOnEachDocument, u"not 0: \"Start with\" goes up by one after each document") \
  /* Barcode Settings */ \
  X(BarcodeValue, u"the barcode's value, when the barcode takes a fixed value") \
  X(BarcodeValueFile, u"file whose contents are the barcode's value") \
  X(BarcodeRegExpFile, u"file holding the regular expression that picks the barcode's value from the page text") \
  X(BarcodeRegExpFormatFile, u"file holding the format that builds the barcode's value from the regular expression's match") \
  /* OCR */ \
  X(OcrEnabled, u"not 0: run OCR on the pages") \
  X(OcrSelectArea, u"not 0: OCR reads only the area given by the \"Area\" values") \
  X(OcrClosingFilter, u"not 0: clean the page image with a closing filter before OCR") \
  X(OcrOpenOutput, u"not 0: open the OCR output in \"Text Editor\" after the job") \
  X(OcrFirstPageOnly, u"not 0: OCR only the first page") \
  X(OcrGenerateInMemory, u"not 0: the OCR result is sent to the client") \
  X(OcrAreaUnit, u"unit of the \"Area\" values: 2 tenths of a millimetre, 3 hundredths of an inch, other values pixels") \
  X(OcrAreaLeft, u"left edge of the OCR area, in \"Area Unit\"") \
  X(OcrAreaTop, u"top edge of the OCR area, in \"Area Unit\"") \
  X(OcrAreaWidth, u"width of the OCR area, in \"Area Unit\"") \
  X(OcrAreaHeight, u"height of the OCR area, in \"Area Unit\"") \
  X(OcrFormat, u"OCR output: 0 plain text, 1 hOCR") \
  X(OcrLanguages, u"languages the OCR library reads, passed to it unchanged") \
  X(OcrOutputDirectory, u"directory of the OCR output files") \
  X(OcrTextEditor, u"program that opens the OCR output when \"Open Output\" is on") \
  X(OcrLibraryPath, u"the full path of the OCR library") \
  /* Redirect Printing Settings */ \
  X(RedirectEnableLog, u"log the forwarding of jobs to other printers") \
  X(RedirectLogFile, u"log file of the printer forwarding") \
  X(RedirectUseNumberOfCopies, u"forwarded jobs print \"Number of copies\" copies") \
  X(RedirectNumberOfCopies, u"number of copies of a forwarded job") \
  X(RedirectCollatePages, u"forwarded copies are collated; on when the value is missing") \
  X(RedirectPrintAsBitmap, u"forwarded pages are printed as images") \
  X(RedirectContentBased, u"the printer a job is forwarded to is chosen by the page content") \
  /* Post Print Settings */ \
  X(PostPrintViewInDefaultViewer, u"open the output with its default viewer") \
  X(PostPrintOpenOutputFolder, u"open the output folder") \
  X(PostPrintSendInEmail, u"e-mail the output") \
  X(PostPrintOpenTiffViewer, u"open TIFF output in the TIFF viewer") \
  X(PostPrintPreviewWindow, u"show the pages in a preview window while printing") \
  X(PostPrintPreviewWindowOverlay, u"overlay file of the preview") \
  X(PostPrintPreviewWindowOverlayFirstPageOnly, u"the preview overlay only on the first page") \
  X(PostPrintFtpUpload, u"upload the output by FTP, to the connection \"FTP Selected Connection\"") \
  X(PostPrintHttpUpload, u"upload the output by HTTP") \
  X(PostPrintDatabaseUpload, u"upload the output to a database") \
  X(PostPrintMFilesUpload, u"upload the output to M-Files") \
  X(PostPrintEmailProgram32, u"e-mail program used on 32-bit Windows") \
  X(PostPrintEmailProgram64, u"e-mail program used on 64-bit Windows") \
  X(PostPrintFtpProgram, u"FTP upload program") \
  X(PostPrintHttpUtility, u"HTTP upload program") \
  X(PostPrintDatabaseUtility, u"database upload program") \
  X(PostPrintMFilesUtility, u"M-Files upload program") \
  X(PostPrintSharePointUtility, u"SharePoint upload program") \
  /* Post Print Settings\Email Settings */ \
  X(EmailContentBased, u"on when \"Yes\": split the output into e-mails by the page content") \
  X(EmailSimpleContentBased, u"on when \"Yes\": simple content-based e-mail") \
  X(EmailMultipageContentBased, u"on when \"Yes\": content-based e-mail with several pages per message") \
  X(EmailDisableAboutBoxLinks, u"on when \"Yes\": the e-mail program shows no links in its about box") \
  X(EmailDisableEmailSettings, u"on when \"Yes\": the e-mail program does not let the user change its settings") \
  X(EmailMailvaneData, u"the e-mail program's own data, handed to it whole") \
  X(EmailSenderClient, u"which client sends the e-mail, handed to the e-mail program as stored") \
  X(EmailSmtpServer, u"SMTP server, handed to the e-mail program as stored") \
  X(EmailSmtpPort, u"SMTP port, handed to the e-mail program as stored") \
  X(EmailSmtpSenderEmail, u"sender address for SMTP, handed to the e-mail program as stored") \
  X(EmailSmtpUserName, u"SMTP user name, handed to the e-mail program as stored") \
  X(EmailSmtpPassword, u"SMTP password, handed to the e-mail program as stored") \
  X(EmailSmtpEnableSsl, u"SMTP over SSL, handed to the e-mail program as stored") \
  X(EmailSender, u"sender of the e-mail, handed to the e-mail program as stored") \
  X(EmailTo, u"recipients, handed to the e-mail program as stored") \
  X(EmailCc, u"copy recipients, handed to the e-mail program as stored") \
  X(EmailBcc, u"blind copy recipients, handed to the e-mail program as stored") \
  X(EmailSubject, u"subject of the e-mail, handed to the e-mail program as stored") \
  X(EmailBody, u"body of the e-mail, handed to the e-mail program as stored") \
  X(EmailAttachment, u"attachment of the e-mail, handed to the e-mail program as stored") \
  X(EmailLoggingDirectory, u"log directory of the e-mail program, handed to it as stored") \
  X(EmailAuditLoggingDirectory, u"audit log directory of the e-mail program, handed to it as stored") \
  X(EmailSendSilently, u"send without showing the message first, handed to the e-mail program as stored") \
  X(EmailAskForAddress, u"ask the user for the address, handed to the e-mail program as stored") \
  X(EmailLoggingEnabled, u"the e-mail program keeps a log, handed to it as stored") \
  X(EmailAuditLoggingEnabled, u"the e-mail program keeps an audit log, handed to it as stored") \
  X(EmailDisplaySentSuccessfullyMessage, u"show a message when the e-mail was sent, handed to the e-mail program as stored") \
  X(EmailDisplayErrorMessage, u"show a message when sending fails, handed to the e-mail program as stored") \
  X(EmailDeleteFilesAfterSending, u"delete the output files once sent, handed to the e-mail program as stored") \
  /* Post Print Settings\SharePoint Settings */ \
  X(SharePointUpload, u"upload the output to SharePoint") \
  /* Post Print Settings\FTP Settings and its connections */ \
  X(FtpSelectedConnection, u"number of the FTP connection used for uploads; 0 none") \
  X(FtpSecurityMode, u"security mode of the connection (a mode code; the usual port is 990 for modes 1 and 2, 22 for mode 3, 21 otherwise)") \
  X(FtpPort, u"server port; 0 the usual port of the security mode") \
  X(FtpProxyPort, u"proxy port; 0 the usual port of the proxy type") \
  X(FtpProxyType, u"kind of proxy (a type code; the usual port is 1080 for types 1 to 3, 8080 for type 4)") \
  X(FtpProxyAuthentication, u"how the proxy authenticates the user, handed to the FTP sending program") \
  X(FtpTrustedCertificate, u"trusted certificate setting of the connection, handed to the FTP sending program") \
  X(FtpTransferMethod, u"transfer method code, handed to the FTP sending program") \
  X(FtpActionOnExistingFiles, u"what the FTP sending program does with a file of the same name on the server (an action code)") \
  X(FtpIsPassive, u"passive FTP mode") \
  X(FtpLogging, u"keep a log of the upload in \"Logfile\"") \
  X(FtpShowSuccess, u"show a message when the upload succeeded") \
  X(FtpShowError, u"show a message when the upload failed") \
  X(FtpUploadText, u"upload the text output too") \
  X(FtpUploadOcr, u"upload the OCR output too") \
  X(FtpUploadDocument, u"upload the output document; on unless the value is present and is not \"yes\"") \
  X(FtpConnectionName, u"name of the connection") \
  X(FtpServerAddress, u"address of the FTP server") \
  X(FtpLoginName, u"user name on the FTP server") \
  X(FtpRemoteDirectory, u"directory on the server; / when empty") \
  X(FtpProxyServerAddress, u"address of the proxy") \
  X(FtpProxyUserName, u"user name on the proxy") \
  X(FtpProxyDomain, u"domain of the proxy user") \
  X(FtpLogfile, u"log file of the upload") \
  X(FtpPassword, u"password on the FTP server, stored as two hexadecimal digits per character XORed with 0x6C") \
  X(FtpProxyUserPassword, u"password on the proxy, stored as two hexadecimal digits per character XORed with 0x6C") \
  /* Start Application, Application Starter */ \
  X(StartAppCustomParameter, u"parameter for the started application, used instead of the DEVMODE's when StartAppFlags has 0x100") \
  X(AppStarterExeName, u"the application starter program")
// clang-format on
