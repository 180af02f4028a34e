// CTWJob: the engine of one spooled document. The port creates it at the
// start of the document, feeds it the driver's blocks and destroys it at
// the end of the document.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include <windows.h>

#include "core/printer_handle.h"
#include "job/devmode/tarnwick_devmode.h"
#include "job/job/document_state.h"
#include "job/job/gdi_mutex_time.h"
#include "job/job/output_document.h"
#include "job/job/port_cmd.h"
#include "job/group/group_file.h"
#include "job/job/port_job.h"
#include "job/naming/naming.h"
#include "job/page/page_state.h"
#include "job/settings/job_environment.h"
#include "job/settings/job_setup.h"
#include "job/settings/settings_store.h"

class CTWFile;

// Names of the shared kernel objects of the job.
inline constexpr WCHAR kGdiMutexName[] = u"Global\\TW_GDI_CBEC44B2-7451-47DD-ACAC-CC6C28C563D6";
inline constexpr WCHAR kDocCounterMutexName[] = u"Global\\TWDocCounter{06C3B39D-C91B-430b-8CCA-B02497FBE075}";
inline constexpr DWORD kGdiMutexWait = 60000;
// After this the counter is read and written without the mutex, with a warning.
inline constexpr DWORD kDocCounterWait = 60000;

// Plug-in entry points (the plug-in library is outside this system).
typedef BOOL(WINAPI* PFN_TwStartDoc)(TarnwickDEVMODE* devMode, ULONGLONG* context1, ULONGLONG* context2);
typedef BOOL(WINAPI* PFN_TwStartPage)(TarnwickDEVMODE* devMode, ULONGLONG context);
typedef BOOL(WINAPI* PFN_TwEndPage)(TarnwickDEVMODE* devMode, ULONGLONG context, DWORD page);
typedef BOOL(WINAPI* PFN_TwEndDoc)(TarnwickDEVMODE* devMode, ULONGLONG context, const WCHAR* groupFile);
typedef BOOL(WINAPI* PFN_TwAbort)(TarnwickDEVMODE* devMode, ULONGLONG context);

class CTWJob : public CPortJob {
 public:
  CTWJob();
  ~CTWJob() override;
  CTWJob(const CTWJob&) = delete;
  CTWJob& operator=(const CTWJob&) = delete;

  // --- the command stream's operations (slot order) ---
  BOOL WritePort(const BYTE* buffer, DWORD count, DWORD* consumed) override;
  BOOL SetDevMode(const BYTE* record, BOOL startOfDocument) override;
  BOOL StartDoc() override;
  BOOL EndDoc() override;
  BOOL StartPage() override;
  BOOL EndPage(HGLOBAL hData) override;
  BOOL EndPageRaw(HGLOBAL hData) override;
  BOOL AbortDoc() override;
  void SetPageDataSize(DWORD size) override { m_dwPageDataSize = size; }
  BOOL AddText(LONG x, LONG y, const WCHAR* text) override;
  tw::job::DocumentState& Document() override { return m_Document; }
  const tw::job::DocumentState& Document() const { return m_Document; }

  // --- set by the port ---
  void SetJobID(DWORD id) { m_dwJobID = id; }
  // Copies the printer name and creates (or opens) the GDI mutex.
  void SetPrinterName(const WCHAR* name);
  // Cleans the document name of application prefixes and suffixes; null changes nothing.
  void SetDocumentName(const WCHAR* name);
  void SetSubmitted(const SYSTEMTIME& localTime) { m_stSubmitted = localTime; }
  // The token the job keeps while it works as the spooler itself.
  void SetClientToken(HANDLE token) { m_hClientToken = token; }

  // The printer driver's data file of m_szPrinterName; FALSE and an empty
  // path when the spooler does not give one.
  BOOL GetPrinterINIFile(WCHAR (&path)[MAX_PATH]);
  // Waits at most 60 s for the GDI mutex; the caller releases it.
  BOOL AcquireGdiMutex();
  // Whether the group data goes to files: the group file is enabled and
  // named, or the uploads have temporary group files.
  BOOL GroupFilesEnabled() const;
  // Writes "Print status" into the group data and files.
  BOOL WritePrintStatus(const WCHAR* status);
  // Writes one entry under the printer's section into the group data and files.
  BOOL WriteGroupFileEntry(const WCHAR* key, const WCHAR* value);

  // --- pages the job makes itself (job/page) ---
  // The barcode separator page: the page written once more in front of itself.
  BOOL CreateCoverPage(HGLOBAL hData, BOOL bRaw);
  // Cover page `index` (0-based) becomes output page index + 1.
  BOOL AddCoverPage(DWORD index);
  tw::job::PageState m_Pages;

  // --- read access for the port and tests ---
  DWORD JobID() const { return m_dwJobID; }
  const WCHAR* PrinterName() const { return m_szPrinterName; }
  const WCHAR* DocumentName() const { return m_szDocumentName; }
  const WCHAR* OriginalDocumentName() const { return m_szOriginalDocumentName; }
  DWORD DocumentNumber() const { return m_dwDocumentNumber; }
  DWORD ActPage() const { return m_dwActPage; }
  BOOL AbortPrinting() const { return m_bAbortPrinting; }
  const TarnwickDEVMODE& DevMode() const { return m_DevMode; }
  const SYSTEMTIME& Submitted() const { return m_stSubmitted; }
  const WCHAR* PrinterINIFile() const { return m_szPrinterINIFile; }
  const WCHAR* PrintStatus() const { return m_szPrintStatus.c_str(); }

  // --- group file (job/group/group_file.h) ---
  // The entries of the current sheet; FALSE when a group file failed.
  BOOL UpdateGroupFile();
  CTWGroupFile m_Group;

  // --- job operations of other areas (seams until those areas land) ---
  // Steps of StartDoc, EndDoc and AbortDoc (stand-ins in document_seams.cpp).
  // Cover pages: how many are loaded; added before printing or at the end.
  DWORD CountCoverPages();
  BOOL AddCoverPagesBeforePrinting();
  BOOL AddCoverPagesAtEnd();
  // The document-wide output (multipage TIFF, image PDF, vector PDF):
  // decided and opened at the start of the document, closed at its end or abort.
  BOOL OpenOutputFile();
  BOOL CloseOutputFile();
  // Output generated in memory: what is left from before, or the document's.
  void FreeInMemoryOutput();
  tw::job::OutputDocument m_Output;
  BOOL OpenOcrOutput();
  BOOL CloseOcrOutput();
  // Writes the last sheet when pages are combined per sheet.
  BOOL FinishPagesPerSheet();
  BOOL UpdateBatesNumber();
  // The XML summary of formats 31 to 35, registered for the uploaders (job/group).
  BOOL GenerateXmlSummary();
  // Deletes the output files the job has produced, reporting failures (job/group).
  BOOL DeleteOutputFiles();
  // Clears the fonts embedded in the spool stream.
  void ClearEmbeddedFonts();
  // The end of the job in its merge group, aborted or not.
  void EndMerge(BOOL aborted);

  // --- output naming (job/naming/naming.h) ---
  BOOL GenerateFilenames(BOOL document);
  BOOL BuildExactFilename(const WCHAR* name);
  BOOL BuildCustomFileNames();
  BOOL SetImageFileName(const WCHAR* path, BOOL unique);
  BOOL ValidateOutputDirectory(const WCHAR* prefix, const WCHAR* directory, BOOL report);
  BOOL ValidateOutputFile(const WCHAR* prefix, const WCHAR* path, BOOL report);
  BOOL LockFile(const WCHAR* path);
  void ReleaseFile();
  CTWNamingState m_Naming;

  // --- event reports (printf-style formats) and error handlers ---
  // Information entry when bFinished, else the aborted warning.
  BOOL ReportJobEnd(BOOL bFinished);
  BOOL ReportJobError(BOOL bWithCurrentTime, const WCHAR* format, ...);
  BOOL ReportJobErrorText(const WCHAR* format, ...);
  BOOL ReportJobWarning(const WCHAR* format, ...);
  // Put an error into the group file, message 5, the print status, the
  // event log and the merge error fields; the caller then fails its step.
  // file and line are the reporting place (__FILE__, __LINE__).
  void HandleError(const WCHAR* text, const char* file, int line);
  void HandleError(int number, const char* file, int line);
  void HandleTiffError(int number, const char* file, int line, int tiffNumber, const char* tiffText);
  // Registers and at once deregisters the printer as an event source, so
  // that its key exists before the first report.
  BOOL RegisterEventLogSource();

 protected:
  // Runs the plug-in's "TwAbort"; the destructor order and AbortDoc use it.
  void CallPluginAbort();

 private:
  BOOL LoadPlugin();
  BOOL CallPluginStartDoc();
  BOOL CallPluginStartPage();
  BOOL CallPluginEndPage();
  BOOL CallPluginEndDoc();
  void CountDocument();
  BOOL IsCancelledBeforeFirstPage();
  // The preview's abort event is there: the job's output goes (writer and files).
  BOOL DropOutputIfPreviewAborted();
  void DeletePerJobKey();
  void ReadDocumentSwitches();
  // The page of a document that has none: an empty metafile of the paper size.
  void PrintEmptyPage();

  // --- page steps (job/page/page_processing.cpp) ---
  // EndPage and EndPageRaw.
  BOOL EndPageOf(HGLOBAL hData, bool bRaw);
  // The spool page is printed: selection is off or lists it.
  bool SpoolPageSelected() const;
  // The checks before a page starts: cancellation, password, refused
  // document, the plug-in's "TwStartPage"; then the writer's record copy.
  BOOL PageMayStart();
  bool PageCancelled();
  bool DocumentPasswordAccepted();
  // The text collector's page, with "Page %d:" for one-file output.
  void StartTextOutputPage();
  // The page image through the writer (or its rendering for text only).
  BOOL WritePageImage(HGLOBAL hData, BOOL bEMF);
  BOOL RenderPageForText(HGLOBAL hData, BOOL bEMF);
  BOOL ShowPageInPreview(HGLOBAL hData, BOOL bRaw);
  BOOL ForwardPage(HGLOBAL hData, BOOL bRaw);
  // The post-print keys of a written sheet (separator: the barcode separator page).
  void WritePageHandOffs(bool separator);
  // Steps after a page is written: group file, message 3, "TwEndPage",
  // Bates number, "Last Output File".
  BOOL FinishWrittenPage(bool bRaw, bool sheetComplete);
  // The first page of the document after the cover pages put in front.
  DWORD FirstDocumentPage();
  // An enhanced metafile of the record's paper on its printer context,
  // drawn by `draw` (may be null), as a new block; null when it cannot be made.
  HGLOBAL MakePageMetafile(const TarnwickDEVMODE& devMode, DWORD coverIndex, bool cover, DWORD& size);
  // The job's printer, opened once and kept until the job ends.
  tw::core::PrinterHandle& Printer();

  tw::job::DocumentState m_Document;
  tw::core::PrinterHandle m_Printer;

 public:
  // Fields shared with the other areas of the job.
  DWORD m_dwJobID = 0;
  WCHAR m_szPrinterName[MAX_PATH] = {};
  DWORD m_dwPageDataSize = 0;
  WCHAR m_szDocumentName[MAX_PATH] = {};
  WCHAR m_szOriginalDocumentName[MAX_PATH] = {};
  WCHAR m_szFileNameforStartApp[MAX_PATH] = {};
  SYSTEMTIME m_stSubmitted = {};
  HANDLE m_hGdiMutex = nullptr;
  tw::job::GdiMutexTime m_GdiMutexTime;
  std::unique_ptr<CPortCmd> m_pActCmd;
  TarnwickDEVMODE m_DevMode = {};
  std::unique_ptr<CTWFile> m_pOutputFile;
  WCHAR m_szActFileName[MAX_PATH] = {};
  WCHAR m_szGroupFileName[MAX_PATH] = {};
  WCHAR m_szPrinterINIFile[MAX_PATH] = {};
  DWORD m_dwActPage = 0;
  DWORD m_dwSpoolPage = 0;
  DWORD m_dwDocumentNumber = 0;
  BOOL m_bAbortPrinting = FALSE;
  BOOL m_bDocumentBlank = TRUE;
  BOOL m_bSkipNextStartPage = FALSE;
  std::u16string m_szPrintStatus;
  BOOL m_bPrintStatusPending = FALSE;
  // The job's error for the merge utility.
  DWORD m_dwMergeErrorNumber = 0;
  std::u16string m_szMergeErrorText;
  HMODULE m_hPlugin = nullptr;
  PFN_TwStartDoc m_fnTwStartDoc = nullptr;
  PFN_TwStartPage m_fnTwStartPage = nullptr;
  PFN_TwEndPage m_fnTwEndPage = nullptr;
  PFN_TwEndDoc m_fnTwEndDoc = nullptr;
  PFN_TwAbort m_fnTwAbort = nullptr;
  ULONGLONG m_PluginContext[2] = {};
  DWORD m_dwEndPageDelay = 0;
  DWORD m_dwStartDocDelay = 0;
  DWORD m_dwEndDocDelay = 0;
  BOOL m_bGenerateInMemory = FALSE;
  BOOL m_bNoFileOutput = FALSE;
  BOOL m_bPreviewAborted = FALSE;
  HANDLE m_hClientToken = nullptr;
  BOOL m_bDevModeTaken = FALSE;
  BOOL m_bCancelledBeforeFirstPage = FALSE;
  BOOL m_bUppercaseExtensions = FALSE;
  DWORD m_dwEventLoggingLevel = 2;
  // Text output grid and switches (read at the start of the document).
  DWORD m_dwCharacterRows = 62;
  DWORD m_dwCharacterColumns = 80;
  DWORD m_dwLineAdjustment = 100;
  DWORD m_dwAddSpace = 2;
  DWORD m_dwLineBreaks = 1;
  DWORD m_dwGlyphConversionMethod = 0;
  BOOL m_bFilterJunkCharacters = FALSE;
  BOOL m_bUseLegacyCoordinates = FALSE;
  BOOL m_bNoPageHeaders = FALSE;
  DWORD m_dwTextOutputType = 0;
  BYTE m_bTextOutputOptions = 0;
  RECT m_rcTextMargins = {};  // pixels of the page's resolution
  // INI switches of the document.
  BOOL m_bAlwaysReopenTiffFile = FALSE;
  BOOL m_bDisplayWordCoordinates = FALSE;
  BOOL m_bDuplexCapability = FALSE;
  BOOL m_bWriteCopiesToGroupFile = TRUE;
  BOOL m_bAddPageNumberToFirstFilename = FALSE;
  DWORD m_dwBitmapMergingMode = 0;

  // ======== The job's DEVMODE record: intake and correction (job_devmode.cpp) ========
 public:
  // Corrects the job's copy: uploads' temporary group files, TIFF viewer,
  // resolution, landscape, pixel size, format flags and colour mode.
  void CorrectDevMode(TarnwickDEVMODE& devMode);
  // Exchanges width and height (and their pixel sizes) of a landscape record.
  void SwapLandscapeWidthHeight(TarnwickDEVMODE& devMode);
  // The printer is shared and the job comes from another computer.
  BOOL IsSharedPrinter(const TarnwickDEVMODE* devMode);
  // Replaces parts of the job's copy by the server's default record.
  void CopySettingsForSharedPrinter(TarnwickDEVMODE& devMode, BOOL ignoreStandard, BOOL ignoreExtended);
  // Fills m_Environment.
  void GetEnvironmentVariables();
  // The scope of the job's settings (printer named by the record, job ID, INI file).
  tw::settings::SettingsScope SettingsScope() const;
  // The job's merge state as the effective-setting rule sees it.
  tw::settings::MergeState MergeStateForSettings() const;

  // Slots of m_szTemporaryGroupFiles, by tw::settings::TemporaryGroupAction.
  static constexpr int kTemporaryGroupActions = 6;

  BOOL m_bDataTypeFlag = FALSE;  // RAW/TEXT spool data, then: the job runs in the spooler's context
  BOOL m_bSharedPrinter = FALSE;
  tw::settings::JobEnvironment m_Environment;
  BOOL m_bPreviewWindow = FALSE;
  std::optional<std::vector<tw::settings::PageRange>> m_PageSelection;  // empty: every page
  std::u16string m_szCoverPage;  // the accepted cover page file; empty: none
  BOOL m_bPdfCoverPage = FALSE;
  BOOL m_bOpenOutputForCoverPage = FALSE;  // "Show Cover Page Filler" with a PDF cover page
  BOOL m_bStartCoverPageFiller = FALSE;    // the filler starts before printing
  std::u16string m_szMergeMapName;
  BOOL m_bMergeActive = FALSE;
  BOOL m_bMergeOff = FALSE;  // cancelled by the merge utility or merging abandoned
  BOOL m_bHasMergeSettings = FALSE;
  tw::merge::MergeJobSettings m_MergeSettings;
  BOOL m_bBatesSetUp = FALSE;
  std::u16string m_szOcrBitmapDirectory;
  BOOL m_bWriteOcrBitmaps = FALSE;
  std::u16string m_szMessagingInterfaceName;
  DWORD m_dwMessagingInterfaceID = 0;
  BOOL m_bClientSessionUnknown = FALSE;
  tw::settings::JobChannelNames m_ChannelNames;
  DWORD m_dwStartApplicationTimeout = 5000;
  DWORD m_dwMessagingTimeout = 10000;
  DWORD m_dwMessagingTimeout2 = 10000;
  BOOL m_bAllowAnisotropicDpi = FALSE;
  BOOL m_bTiffViewer = FALSE;  // the job's own decision; set once
  std::u16string m_szTemporaryGroupFiles[kTemporaryGroupActions];

 private:
  void TakeDocumentSwitches(const tw::settings::EffectiveContext& ctx);
  // Accepts the requested cover page or reports "412: Could not load Cover Page: %s".
  void TakeCoverPage(const tw::settings::EffectiveContext& ctx);
  void EnterMergeMode(const tw::settings::EffectiveContext& ctx);
  // The in-memory switch and m_bNoFileOutput, with their capture-log lines.
  void TakeOutputSwitches();
  // Starts the client application (before printing, or for messaging) and
  // waits for it to be ready.
  void StartApplicationAndWait(BOOL forMessaging);
  void MakeTemporaryGroupFiles(const tw::settings::EffectiveContext& ctx);
  // ======== end of the DEVMODE block ========
};

// Spooler job helpers of the merge hand-shake: pause (FALSE) or resume (TRUE)
// a job; whether a job is still in the queue.
BOOL SetJobPriority(const WCHAR* printerName, DWORD jobId, BOOL resume);
BOOL JobExists(const WCHAR* printerName, DWORD jobId);
