// The job's output names: GenerateFilenames, BuildExactFilename, the
// unique-name generator and SetImageFileName, with the decisions they share.
#include <windows.h>

#include <string>
#include <vector>

#include "client/messaging/messaging.h"
#include "core/log/tw_log.h"
#include "job/devmode/devmode_access.h"
#include "job/job/tw_job.h"
#include "job/naming/naming.h"
#include "job/settings/effective.h"
#include "output/formats/format_table.h"

namespace st = tw::settings;
namespace fm = tw::formats;
using namespace tw::naming;

namespace {

bool EmailSplitByContent(const DocumentSettings& s) {
  return s.sendInEmail && (s.emailContentBased || s.emailSimpleContentBased);
}

// "Split Document" every N pages, N above 1; 0 otherwise.
DWORD SplitEvery(const DocumentSettings& s) {
  return s.splitDocument && s.startNewFileAfterPage > 1 ? s.startNewFileAfterPage : 0;
}

bool IsFirstPage(const CTWJob& job) { return job.m_dwActPage == 1; }

// A one-file document split every N pages starts a new file at pages
// 1, N+1, 2N+1, ...
bool SplitStartsFileHere(const CTWJob& job, const DocumentSettings& s) {
  DWORD n = SplitEvery(s);
  return n && job.m_dwActPage % n == 1;
}

DWORD ActionFor(const CTWJob& job) {
  DWORD action = Settings(job).action;
  // The copied PDF cover page is the start of the output: it is never deleted.
  if (action == kActionOverwrite && job.m_bPdfCoverPage) action = kActionAdd;
  return action;
}

bool OneFile(const CTWJob& job) {
  const DocumentSettings& s = Settings(job);
  // These TIFF codes keep their one file open whatever the switch says.
  const fm::FormatInfo* format = fm::FindFormat(s.format);
  if (format && format->paging == fm::TiffPaging::AlwaysOneFile && !job.m_bGenerateInMemory) return true;
  if (s.tiffViewer) return true;
  if (s.splitDocument && s.startNewFileAfterPage == 1) return false;
  bool multipage = s.multipageSwitch;
  if (EmailSplitByContent(s)) multipage = multipage && !s.emailMultipageContentBased;
  return multipage;
}

std::u16string ExtensionFor(const CTWJob& job) {
  return std::u16string(fm::FormatExtension(Settings(job).format, job.m_bUppercaseExtensions != FALSE));
}

// The "_%0.3d" number of a new name; 0 for none. `nameEmpty`: the path
// without its extension is empty.
DWORD PageNumberOfName(const CTWJob& job, bool nameEmpty, bool everyPageOwnFile) {
  const CTWNamingState& naming = job.m_Naming;
  const DocumentSettings& s = Settings(job);
  // Content-based names are numbered only when the page asked for separate pages.
  if (naming.m_bContentBasedName && !naming.m_bContentSeparatePages) return 0;
  const bool numberFirst = job.m_bAddPageNumberToFirstFilename != FALSE;
  const DWORD page = job.m_dwActPage ? job.m_dwActPage - 1 : 0;  // the pages-per-sheet page index
  // An HTML document with all its pages in one file keeps its name.
  const bool htmlOneFile = s.format == 37 && s.htmlSeparatePages == 0;
  if ((naming.m_bContentSeparatePages || everyPageOwnFile) && !nameEmpty && !htmlOneFile) {
    DWORD perSheet = naming.m_dwPagesPerSheet > 1 ? naming.m_dwPagesPerSheet : 1;
    DWORD sheet = page / perSheet + 1;
    return sheet > 1 || numberFirst ? sheet : 0;
  }
  if (DWORD n = SplitEvery(s)) {
    DWORD part = page / n + 1;
    return part > 1 || numberFirst ? part : 0;
  }
  return 0;
}

// The output directory, or the temporary directory when it is empty or does not expand.
std::u16string OutputDirectoryOrTemp(const CTWJob& job) {
  const DocumentSettings& s = Settings(job);
  return s.outputDirectoryExpanded ? s.outputDirectory : TempDirectory();
}

// The group file takes the output's final name on the first page, so that a
// job whose output got a collision number never writes into the group file
// of the job whose output it avoided.
BOOL MakeGroupFileName(CTWJob& job) {
  if (!IsFirstPage(job)) return TRUE;
  std::u16string group = ReplaceExtension(job.m_szActFileName, job.m_bUppercaseExtensions ? u"GRP" : u"grp");
  if (group.size() > kMaxOutputPath) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return FALSE;
  }
  return SetGroupFileName(job, group);
}

// The output name and every name made beside it.
BOOL MakeNames(CTWJob& job, const std::u16string& path, BOOL unique) {
  return job.SetImageFileName(path.c_str(), unique) && MakeGroupFileName(job) && MakeCompanionFileNames(job, unique);
}

// Up to 25 names from GetTempFileNameW (folder, prefix) with `extension`
// (empty: the format's); the first round in which every name can be made
// ends it. Giving up reports the create-file message for the last name tried.
BOOL NamesFromTemporaryFiles(CTWJob& job, const std::u16string& folder, const std::u16string& prefix,
                             const std::u16string& extension) {
  std::u16string failed = folder;
  DWORD error = 0;
  for (int round = 0; round < kUniqueNameRounds; ++round) {
    WCHAR temp[MAX_PATH] = {};
    if (!GetTempFileNameW(folder.c_str(), prefix.c_str(), 0, temp)) {
      error = GetLastError();
      break;
    }
    DeleteFileW(temp);
    std::u16string candidate = ReplaceExtension(temp, extension);
    if (MakeNames(job, candidate, TRUE)) return TRUE;
    error = GetLastError();
    failed = candidate;
  }
  // Output that goes to memory, or no page image at all, does not need the name.
  if (!ReportsFileErrors(job)) return TRUE;
  job.HandleError(CreateFileText(failed, error).c_str(), __FILE__, __LINE__);
  return FALSE;
}

// Methods 0 to 2: a name of the prefix and a number that no file has.
BOOL MakeUniqueNames(CTWJob& job, const std::u16string& directory, std::u16string prefix, std::u16string extension) {
  if (prefix.size() > 8) prefix = u"AAA";
  if (extension.size() > 4) extension = FormatExtensionOf(job);
  if (!job.ValidateOutputDirectory(kPrefixOutputDirectory, directory.c_str(), ReportsFileErrors(job))) return FALSE;
  std::u16string folder = WithBackslash(directory);
  if (_waccess(folder.c_str(), 6) != 0) return FALSE;
  return NamesFromTemporaryFiles(job, folder, prefix, extension);
}

}  // namespace

namespace tw::naming {

BOOL SetGroupFileName(CTWJob& job, const std::u16string& path) {
  // A group file that cannot be made is not kept: nothing is written into it.
  const std::u16string previous = job.m_szGroupFileName;
  wcsncpy_s(job.m_szGroupFileName, path.c_str(), _TRUNCATE);
  if (PrepareGroupFile(job)) return TRUE;
  const DWORD error = GetLastError();
  wcsncpy_s(job.m_szGroupFileName, previous.c_str(), _TRUNCATE);
  SetLastError(error);
  return FALSE;
}

NamingContext::NamingContext(const CTWJob& job)
    : scope(Settings(job).scope),
      ctx{scope, &job.m_DevMode, job.MergeStateForSettings(), job.m_bTiffViewer != FALSE} {}

bool TextOutputOn(const CTWJob& job) { return (job.m_DevMode.Flags & tw::devmode::flags::WriteText) != 0; }
bool MailMergeOn(const CTWJob& job) { return TextOutputOn(job) && (job.m_DevMode.Flags & tw::devmode::flags::MailMerge); }
bool OcrEffective(const CTWJob& job) { return Settings(job).ocrEnabled; }

DWORD ExistingFileAction(const CTWJob& job) { return ActionFor(job); }
bool DocumentGoesIntoOneFile(const CTWJob& job) { return OneFile(job); }
bool ReportsFileErrors(const CTWJob& job) { return !job.m_bGenerateInMemory && !job.m_bNoFileOutput; }
std::u16string FormatExtensionOf(const CTWJob& job) { return ExtensionFor(job); }

}  // namespace tw::naming

BOOL CTWJob::GenerateFilenames(BOOL document) {
  Trace(u"> CTWJob::GenerateFilenames");
  // The document's settings are read when its names are made.
  if (document) tw::naming::TakeSettings(*this);
  const DocumentSettings& settings = tw::naming::Settings(*this);
  NamingContext nc(*this);
  // Read before the first name is made, so that page 1 can carry its number.
  if (document) m_bAddPageNumberToFirstFilename = st::Read(nc.scope, st::IniAddPageNumberToFirstPageFilename) == 1;
  const DWORD method = tw::devmode::GetFileGenerationMethod(&m_DevMode);

  const bool byContent = method == 9 || (settings.sendInEmail && settings.emailContentBased);
  if (byContent && (!m_Naming.m_szContentFileName.empty() || m_Naming.m_bContentSeparatePages)) {
    Trace(u"GenerateFilenames: Content based.");
    m_Naming.m_bContentBasedName = TRUE;
    BOOL made = BuildExactFilename(m_Naming.m_szContentFileName.c_str());
    m_Naming.m_bContentBasedName = FALSE;
    return made;
  }

  if (!document && OneFile(*this)) {
    // One file: nothing is renamed after the first page, except where a
    // split document starts its next file; at page 1 that file is the one
    // named at the start of the document.
    const bool splitHere = SplitStartsFileHere(*this, settings);
    if (m_dwActPage == 1 ? splitHere : !splitHere) return TRUE;
  }

  if (nc.ctx.SaveAsApplies() && st::EffectiveSaveAs(nc.ctx, st::SaveAsDword::CancelWasPressed).value_or(0) == 0) {
    std::optional<std::u16string> folder = st::EffectiveSaveAs(nc.ctx, st::SaveAsText::OutputPath);
    if (!folder) {
      Trace(u"GenerateFilenames: Save As option is enabled but error reading the output folder.");
      return FALSE;
    }
    std::optional<std::u16string> file = st::EffectiveSaveAs(nc.ctx, st::SaveAsText::Filename);
    if (!file) {
      Trace(u"GenerateFilenames: Save As option is enabled but error reading the filename.");
      return FALSE;
    }
    return BuildExactFilename((WithBackslash(*folder) + *file).c_str());
  }

  bool expanded = false;
  switch (method) {
    case 1: {
      // The naming source's registry key; a value that is not text is absent.
      std::u16string directory = settings.outputDirectory;
      if (auto own = NamingRegistryValue(*this, u"Output Directory"))
        directory = ExpandedDirectory(*this, nc.scope, *own, expanded);
      return MakeUniqueNames(*this, directory, NamingRegistryValue(*this, u"File Name Prefix").value_or(u""),
                             NamingRegistryValue(*this, u"File Name extension").value_or(u""));
    }
    case 2: {
      std::u16string directory = NamingIniValue(*this, m_szPrinterName, u"Output Directory");
      if (directory.empty()) directory = settings.outputDirectory;
      else directory = ExpandedDirectory(*this, nc.scope, directory, expanded);
      return MakeUniqueNames(*this, directory, NamingIniValue(*this, m_szPrinterName, u"File Name Prefix"),
                             NamingIniValue(*this, m_szPrinterName, u"File Name extension"));
    }
    case 3:
      return BuildExactFilename(m_DevMode.ImageFileName.Get().c_str());
    case 4:
      return BuildExactFilename(NamingRegistryValue(*this, u"File Name").value_or(u"").c_str());
    case 5:
      return BuildExactFilename(NamingIniValue(*this, m_szPrinterName, u"File Name").c_str());
    case 7:
      return BuildCustomFileNames();
    case 8: {
      std::u16string directory = NamingIniDirectory(*this);
      directory = WithBackslash(directory.empty() ? settings.outputDirectory
                                                  : ExpandedDirectory(*this, nc.scope, directory, expanded));
      return BuildExactFilename((directory + DocumentNameToFileName(m_szDocumentName, ExtensionFor(*this))).c_str());
    }
    case 6:
    case 9:
      return BuildExactFilename(DocumentNameToFileName(m_szDocumentName, ExtensionFor(*this)).c_str());
    default:  // 0 (10 and above read as 0)
      return MakeUniqueNames(*this, settings.outputDirectory, m_DevMode.FileNamePrefix.Get(),
                             m_DevMode.FileExtension.Get());
  }
}

BOOL CTWJob::BuildExactFilename(const WCHAR* nameIn) {
  const std::u16string name = nameIn ? nameIn : u"";
  const bool reports = ReportsFileErrors(*this);
  if (HasInvalidNameCharacter(name)) {
    if (reports) HandleError(InvalidNameText(name).c_str(), __FILE__, __LINE__);
    return FALSE;
  }
  std::u16string directory, filePart;
  size_t slash = name.rfind(u'\\');
  if (slash != std::u16string::npos) {
    directory = name.substr(0, slash);
    filePart = name.substr(slash + 1);
  } else {
    filePart = name;
    directory = OutputDirectoryOrTemp(*this);
  }
  if (!ValidateOutputDirectory(kPrefixOutputDirectory, directory.c_str(), reports)) return FALSE;
  const std::u16string folder = WithBackslash(directory);
  if (!filePart.empty()) {
    const std::u16string path = folder + filePart;
    if (MakeNames(*this, path, FALSE)) return TRUE;
    // The name cannot be used: the user is told, and the output goes to a
    // name of the system's making in the same directory.
    if (reports) HandleError(CreateFileText(path, GetLastError()).c_str(), __FILE__, __LINE__);
  }
  return NamesFromTemporaryFiles(*this, folder, u"AAA", FormatExtensionOf(*this));
}

BOOL CTWJob::SetImageFileName(const WCHAR* pathIn, BOOL unique) {
  const DocumentSettings& settings = tw::naming::Settings(*this);
  std::u16string path = pathIn ? pathIn : u"";
  const std::u16string extension = ExtensionFor(*this);

  const size_t dot = ExtensionDot(path);
  if (dot == std::u16string::npos) {
    path += u'.';
    path += extension;
  } else if (dot + 1 == path.size()) {
    path += extension;
  } else if (m_Naming.m_bContentBasedName && _wcsicmp(path.c_str() + dot + 1, extension.c_str()) != 0) {
    // A name from the page's content always ends in the format's extension.
    path += u'.';
    path += extension;
  }

  const bool ownFile = !OneFile(*this);
  const DWORD action = ActionFor(*this);
  // "The name" of the numbering rules is the path without its extension.
  const bool nameEmpty = ExtensionDot(path) == 0;
  path = NumberedPath(path, PageNumberOfName(*this, nameEmpty, ownFile), action == kActionNewName && !nameEmpty);
  if (path.empty()) {
    SetLastError(ERROR_FILE_EXISTS);
    return FALSE;
  }

  // A name that starts a file: the first page, a page of its own, or the
  // first page of a split document's next part.
  const bool startsFile = IsFirstPage(*this) || ownFile || SplitStartsFileHere(*this, settings);
  if (tw::devmode::GetFileGenerationMethod(&m_DevMode) <= 2 && unique && startsFile && PathExists(path) &&
      _waccess(path.c_str(), 6) == 0) {
    SetLastError(ERROR_FILE_EXISTS);
    return FALSE;
  }

  if (path.size() > kMaxOutputPath) {
    Trace(u"SetImageFileName: Filename is too long! Aborting.");
    std::u16string text = NameTooLongText(path);
    const std::u16string& groupIni = settings.groupIni;
    if (!WritePrivateProfileStringW(m_szPrinterName, u"Print status", text.c_str(), groupIni.c_str()))
      Trace(u"SetImageFileName: group INI %s not written (%d)", groupIni.c_str(), GetLastError());
    SendMessageToClients(*this, 5, text.c_str());
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return FALSE;
  }

  if (action == kActionOverwrite && startsFile && PathExists(path) && !DeleteFileW(path.c_str()))
    Trace(u"SetImageFileName: %s not deleted (%d)", path.c_str(), GetLastError());

  if (!ownFile) {
    const DWORD format = settings.format;
    const fm::FormatInfo* row = fm::FindFormat(format);
    const bool heldOpen = fm::IsTiffCode(format) && row && row->paging != fm::TiffPaging::NeverHeldOpen;
    if (heldOpen && ReportsFileErrors(*this) && !settings.splitDocument &&
        !LockFile(path.c_str())) {
      DWORD error = GetLastError();
      ValidateOutputFile(kPrefixLockedFile, path.c_str(), TRUE);
      SetLastError(error);
      return FALSE;
    }
  }

  wcsncpy_s(m_szActFileName, path.c_str(), _TRUNCATE);
  if (IsFirstPage(*this)) wcsncpy_s(m_szFileNameforStartApp, path.c_str(), _TRUNCATE);
  return TRUE;
}
