// The group data and the group files: entries, the update of a sheet, the
// preparation at naming time and the group INI.
#include "job/group/group_file.h"

#include <windows.h>

#include <algorithm>
#include <cstdarg>

#include "client/messaging/messaging.h"
#include "core/log/tw_log.h"
#include "job/devmode/devmode_access.h"
#include "job/group/group_file_writer.h"
#include "job/group/scoped_file.h"
#include "job/job/tw_job.h"
#include "job/naming/naming.h"
#include "job/settings/effective.h"
#include "output/formats/format_table.h"
#include "tw/casefold.h"

namespace st = tw::settings;
namespace dmf = tw::devmode::flags;
using namespace tw::group;

namespace {

std::u16string Number(LONGLONG n) {
  WCHAR text[32];
  swprintf_s(text, std::size(text), u"%lld", n);
  return text;
}

std::u16string SystemText(DWORD error) {
  WCHAR text[512] = {};
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                           static_cast<DWORD>(std::size(text)), nullptr);
  std::u16string result(text, n);
  while (!result.empty() && (result.back() == u'\r' || result.back() == u'\n')) result.pop_back();
  return result;
}

// The files the entries go to: the group file when it is enabled and named,
// and every temporary group file of the uploads.
std::vector<std::u16string> ActiveFiles(const CTWJob& job) {
  std::vector<std::u16string> files;
  if (!(job.m_DevMode.Flags & dmf::GroupFileDisabled) && job.m_szGroupFileName[0])
    files.emplace_back(job.m_szGroupFileName);
  for (const auto& temporary : job.m_szTemporaryGroupFiles)
    if (!temporary.empty()) files.push_back(temporary);
  return files;
}

// The first failure of the job is shown to the user; later ones are silent.
void ShowWriteFailure(CTWJob& job, const std::u16string& path, DWORD error) {
  if (job.m_Group.m_bWriteFailureShown) return;
  job.m_Group.m_bWriteFailureShown = true;
  std::u16string text = error == ERROR_FILE_NOT_FOUND
                            ? u"Cannot find group file: " + path
                            : u"Failed to write group file: " + path + u"\nWindows error " +
                                  Number(static_cast<LONGLONG>(error)) + u": " + SystemText(error);
  job.ReportJobErrorText(u"%s", text.c_str());
  SendMessageToClients(job, 5, text.c_str());
}

BOOL FlushFiles(CTWJob& job) {
  BOOL ok = TRUE;
  for (const auto& path : ActiveFiles(job)) {
    GroupFileWriter& writer = job.m_Group.File(path, job.m_szPrinterName);
    if (!writer.Staged() || writer.Flush()) continue;
    DWORD error = GetLastError();
    Trace(u"Group file %s not written (%d)", path.c_str(), static_cast<int>(error));
    ShowWriteFailure(job, path, error);
    ok = FALSE;
  }
  return ok;
}

const WCHAR* BitsPerPixel(DWORD colorMode) {
  switch (colorMode) {
    case 0: return u"1";
    case 3: return u"24";
    default: return u"8";
  }
}

// "Number of Copies": the redirect printer's copies when redirect printing
// uses its own number of at least 2, else dmCopies (1 when 0).
DWORD CopiesOf(const CTWJob& job) {
  const tw::naming::DocumentSettings& settings = tw::naming::Settings(job);
  if (settings.redirectCopies && settings.redirectNumberOfCopies >= 2) return settings.redirectNumberOfCopies;
  SHORT copies = job.m_DevMode.DM.dmCopies;
  return copies > 0 ? static_cast<DWORD>(copies) : 1;
}

struct PageGeometry {
  LONG width, height, xDpi, yDpi;
};

PageGeometry GeometryOf(const TarnwickDEVMODE& dm) {
  const bool portrait = dm.DM.dmOrientation == 1;
  const LONG width = dm.PaperWidthInPixels, height = dm.PaperHeightInPixels;
  const LONG xDpi = tw::devmode::GetXDPI(&dm), yDpi = tw::devmode::GetYDPI(&dm);
  if (dm.Flags & dmf::FaxOutput) {
    const DWORD mode = tw::devmode::GetFaxMode(&dm);
    const LONG f = (mode == 0 || mode == 1 || mode == 4) ? 196 : 98;
    const LONGLONG along = portrait ? height : width, dpi = portrait ? yDpi : xDpi;
    return {1728, dpi ? static_cast<LONG>(f * along / dpi) : 0, 204, f};
  }
  if (!portrait && (dm.Flags & dmf::RotatePaper)) return {height, width, yDpi, xDpi};
  return {width, height, xDpi, yDpi};
}

}  // namespace

// ---- CTWGroupFile -------------------------------------------------------------------------

CTWGroupFile::CTWGroupFile() = default;
CTWGroupFile::~CTWGroupFile() = default;

void CTWGroupFile::SetData(std::u16string_view section, std::u16string_view key, const WCHAR* value) {
  m_Data.Set(section, key, value);
}

std::optional<std::u16string> CTWGroupFile::Value(std::u16string_view section, std::u16string_view key) const {
  std::optional<std::u16string_view> value = m_Data.Find(section, key);
  if (!value) return std::nullopt;
  return std::u16string(*value);
}

GroupFileWriter& CTWGroupFile::File(std::u16string_view path, std::u16string_view printerSection) {
  for (auto& file : m_Files)
    if (tw::EqualsNoCase(file->Path(), path)) return *file;
  m_Files.push_back(std::make_unique<GroupFileWriter>(std::u16string(path), std::u16string(printerSection)));
  return *m_Files.back();
}

void CTWGroupFile::ForgetFile(std::u16string_view path) {
  for (auto& file : m_Files)
    if (tw::EqualsNoCase(file->Path(), path)) file->Forget();
}

void CTWGroupFile::SetCaptureWarning(std::u16string_view text) {
  if (m_szCaptureWarning.empty()) m_szCaptureWarning = text;
  m_szPendingCaptureWarning = text;
}

void CTWGroupFile::AddProducedFile(std::u16string path) {
  if (path.empty() || !m_ProducedKeys.insert(u"F" + tw::Upcase(path)).second) return;
  m_ProducedFiles.push_back(std::move(path));
}

void CTWGroupFile::AddProducedDirectory(std::u16string path) {
  if (path.empty() || !m_ProducedKeys.insert(u"D" + tw::Upcase(path)).second) return;
  m_ProducedDirectories.push_back(std::move(path));
}

void CTWGroupFile::ClearProduced() {
  m_ProducedFiles.clear();
  m_ProducedDirectories.clear();
  m_ProducedKeys.clear();
}

// ---- entries ----------------------------------------------------------------------------------

namespace tw::group {

BOOL WriteGroupEntry(CTWJob& job, const WCHAR* section, const WCHAR* key, const WCHAR* value) {
  if (!section || !key || !*section || !*key) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  job.m_Group.SetData(section, key, value);
  for (const auto& path : ActiveFiles(job)) job.m_Group.File(path, job.m_szPrinterName).Set(section, key, value);
  return job.m_Group.m_bBatch ? TRUE : FlushFiles(job);
}

std::u16string ReadGroupEntry(const CTWJob& job, std::u16string_view section, std::u16string_view key,
                              std::u16string_view fallback) {
  std::optional<std::u16string> value = job.m_Group.Value(section, key);
  return value ? *value : std::u16string(fallback);
}

DWORD ReadGroupEntryNumber(const CTWJob& job, std::u16string_view section, std::u16string_view key, DWORD fallback) {
  std::optional<std::u16string> value = job.m_Group.Value(section, key);
  if (!value) return fallback;
  return static_cast<DWORD>(wcstoul(value->c_str(), nullptr, 10));
}

GroupBatch::GroupBatch(CTWJob& job) : job_(job), open_(!job.m_Group.m_bBatch) {
  if (open_) job_.m_Group.m_bBatch = true;
}

GroupBatch::~GroupBatch() { Close(); }

BOOL GroupBatch::Close() {
  if (!open_) return TRUE;
  open_ = false;
  job_.m_Group.m_bBatch = false;
  return FlushFiles(job_);
}

BOOL CreateUNICODEFile(const WCHAR* path) {
  if (!path || !*path) {
    Trace(u"CreateUNICODEFile: pFile is wrong.");
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES) {
    Trace(u"CreateUNICODEFile: File already exists.");
    SetLastError(ERROR_FILE_EXISTS);
    return FALSE;
  }
  ScopedFile file(CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return FALSE;
  static constexpr BYTE kBom[] = {0xFF, 0xFE};
  return WriteAll(file.Get(), kBom, sizeof kBom);
}

bool UnicodeGroupFile(const CTWJob& job) {
  tw::naming::NamingContext nc(job);
  if (st::Read(nc.scope, st::IniUnicodeGroupFile) == 1) return true;
  return st::EffectiveFtpUpload(nc.ctx) || st::Effective(nc.ctx, st::PostPrintHttpUpload) ||
         st::Effective(nc.ctx, st::PostPrintDatabaseUpload) || st::Effective(nc.ctx, st::PostPrintMFilesUpload) ||
         st::EffectiveTiffViewer(nc.ctx) || st::Effective(nc.ctx, st::SharePointUpload);
}

std::u16string GroupIniPath(const CTWJob& job) { return tw::naming::Settings(job).groupIni; }

BOOL WriteLastOutputFile(CTWJob& job) {
  const std::u16string groupIni = GroupIniPath(job);
  if (WritePrivateProfileStringW(job.m_szPrinterName, u"Last Output File", job.m_szActFileName, groupIni.c_str()))
    return TRUE;
  Trace(u"Group INI %s not written (%d)", groupIni.c_str(), static_cast<int>(GetLastError()));
  return FALSE;
}

}  // namespace tw::group

// ---- the job's operations ----------------------------------------------------------------------

BOOL CTWJob::GroupFilesEnabled() const { return !ActiveFiles(*this).empty(); }

BOOL CTWJob::WriteGroupFileEntry(const WCHAR* key, const WCHAR* value) {
  return WriteGroupEntry(*this, m_szPrinterName, key, value);
}

BOOL CTWJob::WritePrintStatus(const WCHAR* status) { return WriteGroupFileEntry(u"Print status", status); }

BOOL CTWJob::UpdateGroupFile() {
  if (!GroupFilesEnabled() && !WritesXmlSummary(*this)) {
    Trace(u"Group file is disabled");
    return TRUE;
  }
  GroupBatch batch(*this);
  const WCHAR* printer = m_szPrinterName;
  auto put = [&](const WCHAR* section, const WCHAR* key, const WCHAR* value) {
    WriteGroupEntry(*this, section, key, value);
  };

  // The sheet of the page: the page index (the page number less one) over the
  // pages per sheet; -1 before the first page.
  const LONGLONG index = static_cast<LONGLONG>(m_dwActPage) - 1;
  const DWORD perSheet = m_Naming.m_dwPagesPerSheet;
  const LONGLONG sheet = perSheet > 1 && index > 0 ? index / perSheet : index;

  if (sheet == 0) {
    tw::naming::NamingContext nc(*this);
    put(printer, u"Image Format", std::u16string(tw::formats::FormatName(tw::naming::Settings(*this).format)).c_str());
    put(printer, u"Append Image Enabled", tw::naming::DocumentGoesIntoOneFile(*this) ? u"Yes" : u"No");
    put(printer, u"Bits Per Pixel", BitsPerPixel(st::EffectiveColorMode(nc.ctx)));
    put(printer, u"Document name", m_szDocumentName);
    put(printer, u"Output File Disabled", m_bNoFileOutput ? u"Yes" : nullptr);
    if (m_bWriteCopiesToGroupFile) put(printer, u"Number of Copies", Number(CopiesOf(*this)).c_str());
  }
  if (sheet >= 0) {
    const std::u16string page = u"Page " + Number(sheet + 1);
    if (tw::naming::TextOutputOn(*this)) put(page.c_str(), u"TextFileName", m_Naming.m_szTextFileName.c_str());
    if (tw::naming::OcrEffective(*this))
      put(page.c_str(), u"OCRTextFileName", m_Naming.m_szOcrTextFileName.c_str());
    if (tw::naming::MailMergeOn(*this))
      put(page.c_str(), u"MailMergeFileName", m_Naming.m_szMailMergeFileName.c_str());
    if (!m_Group.m_bWritingPagesInFront) put(printer, u"Total number of pages", Number(sheet + 1).c_str());
    if (!m_bGenerateInMemory && !m_bNoFileOutput) put(page.c_str(), u"FileName", m_szActFileName);
    put(page.c_str(), u"Orientation", m_DevMode.DM.dmOrientation == 1 ? u"Portrait" : u"Landscape");
    const PageGeometry g = GeometryOf(m_DevMode);
    put(page.c_str(), u"Page width in pixels", Number(g.width).c_str());
    put(page.c_str(), u"Page height in pixels", Number(g.height).c_str());
    put(page.c_str(), u"X DPI", Number(g.xDpi).c_str());
    put(page.c_str(), u"Y DPI", Number(g.yDpi).c_str());
    if (!m_Group.m_szBarcodeError.empty()) put(page.c_str(), u"Barcode Error", m_Group.m_szBarcodeError.c_str());
    if (!m_Group.m_szOcrError.empty()) put(page.c_str(), u"OCR Error", m_Group.m_szOcrError.c_str());
    if (!m_Group.m_szPendingCaptureWarning.empty())
      put(page.c_str(), u"Message Capture Warning", m_Group.m_szPendingCaptureWarning.c_str());
    m_Group.m_szBarcodeError.clear();
    m_Group.m_szOcrError.clear();
    m_Group.m_szPendingCaptureWarning.clear();
  }
  if (m_bPrintStatusPending) {
    put(printer, u"Print status", m_szPrintStatus.c_str());
    m_bPrintStatusPending = FALSE;
  }
  if (!m_Group.m_szCaptureWarning.empty() && !m_Group.m_bCaptureWarningWritten) {
    put(printer, u"Message Capture Warning", m_Group.m_szCaptureWarning.c_str());
    m_Group.m_bCaptureWarningWritten = true;
  }
  return batch.Close();
}

// Made when the group file is named, on the first page of the document: the
// file is created (UTF-16 when asked) and must open for appending. A disabled
// group file is made and deleted again, so that the naming fails the same way.
BOOL PrepareGroupFile(CTWJob& job) {
  const WCHAR* path = job.m_szGroupFileName;
  const bool disabled = (job.m_DevMode.Flags & dmf::GroupFileDisabled) != 0;
  job.m_Group.ForgetFile(path);
  if (UnicodeGroupFile(job) && !CreateUNICODEFile(path) && GetLastError() != ERROR_FILE_EXISTS &&
      GetLastError() != ERROR_INVALID_PARAMETER)
    Trace(u"Error creating UNICODE group file.");
  {
    ScopedFile file(CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
      const DWORD error = GetLastError();
      if (!disabled) job.ValidateOutputFile(kPrefixGroupFile, path, FALSE);
      SetLastError(error);
      return FALSE;
    }
  }
  if (disabled && !DeleteFileW(path)) Trace(u"PrepareGroupFile: %s not deleted (%d)", path, GetLastError());
  return TRUE;
}
