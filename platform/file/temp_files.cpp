// The temporary folder and GetTempFileNameW.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "tw/fileio.h"
#include "tw/lasterror.h"
#include "tw/pathmap.h"
#include "tw/utf.h"

namespace {

constexpr std::u16string_view kDefaultTemp = u"C:\\Windows\\Temp\\";

// "X:\..." or "X:/...": a value a Windows program could use. A Linux value
// such as TMP=/tmp is the host's business and is passed over.
bool isWindowsPath(std::u16string_view v) {
  return v.size() >= 3 && ((v[0] >= u'A' && v[0] <= u'Z') || (v[0] >= u'a' && v[0] <= u'z')) && v[1] == u':' &&
         (v[2] == u'\\' || v[2] == u'/');
}

std::u16string tempPath() {
  for (const char* name : {"TMP", "TEMP"}) {
    const char* value = std::getenv(name);
    if (!value) continue;
    std::u16string v = tw::FromUtf8(value);
    std::u16string full;
    if (!isWindowsPath(v) || tw::path::LexicalFullPath(v, full) != ERROR_SUCCESS) continue;
    if (full.back() != u'\\') full += u'\\';
    return full;
  }
  return std::u16string(kDefaultTemp);
}

std::u16string hex(UINT value) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%X", value);
  return tw::FromUtf8(digits);
}

std::mutex g_lastMutex;
UINT g_last = 0;

// The first number to try: the low 16 bits of the millisecond tick, moved on
// past the last one used here so that quick calls do not retry the same names.
UINT startNumber() {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now().time_since_epoch())
                .count();
  UINT num = UINT(ms) & 0xFFFF;
  std::lock_guard lock(g_lastMutex);
  if (g_last - num < 10) num = (g_last + 1) & 0xFFFF;
  return num ? num : 1;
}

}  // namespace

TWAPI DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
  std::u16string path = tempPath();
  if (!lpBuffer || nBufferLength <= path.size()) return DWORD(path.size() + 1);
  path.copy(lpBuffer, path.size());
  lpBuffer[path.size()] = 0;
  return DWORD(path.size());
}

TWAPI UINT GetTempFileNameW(LPCWSTR lpPathName, LPCWSTR lpPrefixString, UINT uUnique, LPWSTR lpTempFileName) {
  if (!lpPathName || !lpTempFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string base(lpPathName);
  if (base.size() > MAX_PATH - 14) {
    SetLastError(ERROR_BUFFER_OVERFLOW);
    return 0;
  }
  if (base.empty() || base.back() != u'\\') base += u'\\';
  base += tw::View(lpPrefixString).substr(0, 3);
  auto deliver = [&](UINT unique) {
    std::u16string name = base + hex(unique) + u".tmp";
    name.copy(lpTempFileName, name.size());
    lpTempFileName[name.size()] = 0;
    return unique;
  };
  UINT unique = uUnique & 0xFFFF;  // only the low 16 bits count
  if (unique) return deliver(unique);  // no file, no check, as on Windows

  tw::file::Resolved folder;
  tw::file::FileInfo info;
  if (tw::file::Resolve(lpPathName, folder) || tw::file::QueryInfo(folder.host, info) || !info.directory) {
    SetLastError(ERROR_DIRECTORY);
    return 0;
  }
  UINT first = startNumber();
  unique = first;
  do {
    std::u16string name = base + hex(unique) + u".tmp";
    DWORD error = 0;
    bool existed = false;
    if (tw::file::OpenFile(name, GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, error, existed)) {
      std::lock_guard lock(g_lastMutex);
      g_last = unique;
      return deliver(unique);
    }
    if (error != ERROR_FILE_EXISTS && error != ERROR_SHARING_VIOLATION) {
      SetLastError(error);
      return 0;
    }
    unique = (unique + 1) & 0xFFFF;
    if (!unique) unique = 1;
  } while (unique != first);
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}
