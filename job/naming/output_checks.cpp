// Checks of output directories and files, with their "25:" texts, and the
// lock that keeps a one-file document's output while it is written.
#include <windows.h>

#include <string>

#include "client/messaging/messaging.h"
#include "job/job/tw_job.h"
#include "job/naming/naming.h"

using namespace tw::naming;

namespace {

// With `report` the job fails with the text (HandleError); without it the
// user is only told: an event-log error and message 5.
void Complain(CTWJob& job, const std::u16string& text, BOOL report) {
  if (report) {
    job.HandleError(text.c_str(), __FILE__, __LINE__);
    return;
  }
  job.ReportJobErrorText(u"%s", text.c_str());
  SendMessageToClients(job, 5, text.c_str());
}

std::u16string Number(int n) {
  WCHAR text[16];
  swprintf_s(text, std::size(text), u"%d", n);
  return text;
}

// Creates and at once drops a hidden delete-on-close file in `folder`;
// 0 or the system error.
DWORD ProbeDirectory(const std::u16string& folder) {
  const std::u16string base = folder + u"~TW" + Number(static_cast<int>(GetCurrentThreadId()));
  std::u16string probe = base + u".tmp";
  // Another probe of the same name (a thread id used again) is left alone.
  for (int n = 1; GetFileAttributesW(probe.c_str()) != INVALID_FILE_ATTRIBUTES && n <= 1000; ++n)
    probe = base + u"_" + Number(n) + u".tmp";
  HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError();
  CloseHandle(file);
  return 0;
}

}  // namespace

void CTWNamingState::Unlock() {
  if (m_hLockedFile) CloseHandle(m_hLockedFile);
  m_hLockedFile = nullptr;
}

BOOL CTWJob::ValidateOutputDirectory(const WCHAR* prefixIn, const WCHAR* directoryIn, BOOL report) {
  const std::u16string prefix = prefixIn ? prefixIn : u"";
  std::u16string directory = directoryIn ? directoryIn : u"";
  if (directory.empty()) {
    Complain(*this, DirectoryNotSpecifiedText(prefix), report);
    return FALSE;
  }
  if (directory.back() != u'\\') directory += u'\\';
  DWORD attributes = GetFileAttributesW(directory.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    Complain(*this, DirectoryNotFoundText(prefix, directory), report);
    return FALSE;
  }
  return TRUE;
}

BOOL CTWJob::ValidateOutputFile(const WCHAR* prefixIn, const WCHAR* pathIn, BOOL report) {
  const std::u16string prefix = prefixIn ? prefixIn : u"";
  const std::u16string path = pathIn ? pathIn : u"";
  if (path.empty()) {
    Complain(*this, FileNotSpecifiedText(prefix), report);
    return FALSE;
  }
  const std::u16string folder = path.substr(0, path.size() - FilePart(path).size());
  if (DWORD error = ProbeDirectory(folder)) {
    Complain(*this, DirectoryRefusedText(prefix, path, error), report);
    return FALSE;
  }
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return TRUE;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Complain(*this, ExistingFileRefusedText(prefix, path, GetLastError()), report);
    return FALSE;
  }
  CloseHandle(file);
  return TRUE;
}

BOOL CTWJob::LockFile(const WCHAR* path) {
  ReleaseFile();
  HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  m_Naming.Lock(file);
  return TRUE;
}

void CTWJob::ReleaseFile() { m_Naming.Unlock(); }
