// The files a job produced, so that they can be deleted when its output is
// discarded (the preview was aborted).
#include <windows.h>

#include "client/messaging/messaging.h"
#include "core/log/tw_log.h"
#include "job/group/group_file.h"
#include "job/job/tw_job.h"
#include "job/naming/naming.h"
#include "job/settings/effective.h"

namespace st = tw::settings;
namespace dmf = tw::devmode::flags;
using tw::naming::ReplaceExtension;

namespace {

// How long a file held by another program is tried again, and how often.
constexpr DWORD kDeleteRetryMs = 10000;
constexpr DWORD kDeleteRetryStepMs = 100;

// The page image of the HTML (26 to 29) and XML (31 to 35) formats beside
// the page's own file.
const WCHAR* ImageExtension(DWORD format) {
  switch (format) {
    case 26: case 31: return u"GIF";
    case 27: case 32: return u"PNG";
    case 28: case 33: return u"JPG";
    case 29: case 34: return u"BMP";
    case 35: return u"PDF";
    default: return nullptr;
  }
}

// Every file of the "<output without extension>_items" folder.
void RecordItems(CTWGroupFile& group, const std::u16string& output, bool withDirectory) {
  const size_t dot = tw::naming::ExtensionDot(output);
  const std::u16string folder = output.substr(0, dot == std::u16string::npos ? output.size() : dot) + u"_items";
  if (withDirectory) group.AddProducedDirectory(folder);
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileW((folder + u"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) group.AddProducedFile(folder + u"\\" + found.cFileName);
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace

namespace tw::group {

void RecordProducedFiles(CTWJob& job) {
  const tw::naming::DocumentSettings& settings = tw::naming::Settings(job);
  CTWGroupFile& group = job.m_Group;
  const std::u16string output = job.m_szActFileName;
  const DWORD format = settings.format;
  group.AddProducedFile(output);
  if (const WCHAR* image = ImageExtension(format)) {
    group.AddProducedFile(ReplaceExtension(output, image));
    group.AddProducedFile(ReplaceExtension(output, format <= 29 ? u"HTM" : u"XML"));
  }
  if (format == 37) {
    group.AddProducedFile(ReplaceExtension(output, u"css"));
    RecordItems(group, output, true);
  }
  if (format == 39) RecordItems(group, output, false);
  if (tw::naming::TextOutputOn(job) && !settings.textInMemory)
    group.AddProducedFile(job.m_Naming.m_szTextFileName);
  if (settings.ocrEnabled) group.AddProducedFile(job.m_Naming.m_szOcrTextFileName);
  if (tw::naming::MailMergeOn(job)) group.AddProducedFile(job.m_Naming.m_szMailMergeFileName);
  if (!(job.m_DevMode.Flags & dmf::GroupFileDisabled)) group.AddProducedFile(job.m_szGroupFileName);
}

BOOL DeleteProducedFiles(CTWJob& job, BOOL report) {
  // The job's own lock must not keep its output.
  job.ReleaseFile();
  BOOL all = TRUE;
  for (const auto& file : job.m_Group.ProducedFiles()) {
    BOOL deleted = DeleteFileW(file.c_str());
    for (DWORD waited = 0; !deleted && report && GetLastError() == ERROR_SHARING_VIOLATION && waited < kDeleteRetryMs;
         waited += kDeleteRetryStepMs) {
      Sleep(kDeleteRetryStepMs);
      deleted = DeleteFileW(file.c_str());
    }
    const DWORD error = deleted ? ERROR_SUCCESS : GetLastError();
    if (deleted || error == ERROR_FILE_NOT_FOUND) continue;
    all = FALSE;
    if (!report) continue;
    WCHAR number[16];
    swprintf_s(number, std::size(number), u"%d", static_cast<int>(error));
    const std::u16string text = u"Could not delete output file \"" + file + u"\". Error " + number;
    job.ReportJobErrorText(u"%s", text.c_str());
    SendMessageToClients(job, 5, text.c_str());
  }
  for (const auto& directory : job.m_Group.ProducedDirectories()) RemoveDirectoryW(directory.c_str());
  return all;
}

}  // namespace tw::group

BOOL CTWJob::DeleteOutputFiles() { return tw::group::DeleteProducedFiles(*this, TRUE); }
