// FindFirstFileW / FindNextFileW / FindClose. The listing is taken when the
// search starts, in the order NTFS gives: "." and ".." first (not at a drive
// root), then the names ordered by their upper-case form.
#include <algorithm>
#include <cstring>
#include <vector>

#include "tw/casefold.h"
#include "tw/fileio.h"
#include "tw/handles.h"
#include "tw/lasterror.h"
#include "tw/pathmap.h"
#include "tw/utf.h"

namespace {

using tw::file::FileInfo;

class FindObject final : public tw::kernel::KernelObject {
 public:
  tw::kernel::ObjectType Type() const override { return tw::kernel::ObjectType::FindFile; }
  std::vector<WIN32_FIND_DATAW> entries;
  size_t next = 0;
};

bool validPattern(std::u16string_view pattern) {
  for (char16_t c : pattern)
    if (c < 32 || c == u'|' || c == u':') return false;
  return true;
}

WIN32_FIND_DATAW entryOf(std::u16string_view name, const FileInfo& info) {
  WIN32_FIND_DATAW data;
  std::memset(&data, 0, sizeof data);
  data.dwFileAttributes = info.attributes;
  data.ftCreationTime = info.creation;
  data.ftLastAccessTime = info.access;
  data.ftLastWriteTime = info.write;
  data.nFileSizeHigh = DWORD(info.size >> 32);
  data.nFileSizeLow = DWORD(info.size);
  size_t n = std::min<size_t>(name.size(), MAX_PATH - 1);
  name.copy(data.cFileName, n);
  return data;
}

HANDLE fail(DWORD error) {
  SetLastError(error);
  return INVALID_HANDLE_VALUE;
}

}  // namespace

TWAPI HANDLE FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData) {
  if (!lpFileName || !lpFindFileData) return fail(ERROR_INVALID_PARAMETER);
  std::u16string_view input(lpFileName);
  if (input.empty()) return fail(ERROR_PATH_NOT_FOUND);
  // Folder part and pattern part; "C:x*" searches the drive's current folder.
  size_t cut = input.find_last_of(u"\\/");
  std::u16string folder;
  std::u16string_view pattern;
  if (cut != std::u16string_view::npos) {
    folder.assign(input.substr(0, cut + 1));
    pattern = input.substr(cut + 1);
  } else if (input.size() >= 2 && input[1] == u':') {
    folder.assign(input.substr(0, 2));
    pattern = input.substr(2);
  } else {
    folder = u".";
    pattern = input;
  }
  if (pattern.empty()) return fail(ERROR_FILE_NOT_FOUND);
  if (!validPattern(pattern)) return fail(ERROR_INVALID_NAME);

  tw::file::Resolved where;
  if (DWORD rc = tw::file::Resolve(folder.c_str(), where)) return fail(rc);
  if (where.full.size() + 1 + pattern.size() > MAX_PATH - 1 && !(input.size() > 3 && input[2] == u'?'))
    return fail(ERROR_PATH_NOT_FOUND);
  FileInfo folderInfo;
  if (DWORD rc = tw::file::QueryInfo(where.host, folderInfo))
    return fail(rc == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : rc);
  if (!folderInfo.directory) return fail(ERROR_DIRECTORY);

  auto find = std::make_shared<FindObject>();
  bool atRoot = where.full.size() <= 3;
  if (!atRoot) {
    if (tw::file::MatchesPattern(u".", pattern)) find->entries.push_back(entryOf(u".", folderInfo));
    FileInfo parent;
    if (tw::file::MatchesPattern(u"..", pattern) && tw::file::QueryInfo(where.host.parent_path(), parent) == 0)
      find->entries.push_back(entryOf(u"..", parent));
  }
  size_t dots = find->entries.size();
  std::error_code ec;
  for (const auto& item : std::filesystem::directory_iterator(where.host, ec)) {
    std::string raw = item.path().filename().string();
    if (raw.compare(0, tw::file::kProfileTempPrefix.size(), tw::file::kProfileTempPrefix) == 0) continue;
    std::u16string name = tw::FromUtf8(raw);
    if (!tw::file::MatchesPattern(name, pattern)) continue;
    FileInfo info;
    if (tw::file::QueryInfo(item.path(), info) != ERROR_SUCCESS) continue;  // gone meanwhile, or a dangling link
    find->entries.push_back(entryOf(name, info));
  }
  if (ec) return fail(tw::file::ErrorFromErrno(ec.value()));
  std::sort(find->entries.begin() + std::ptrdiff_t(dots), find->entries.end(),
            [](const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b) {
              return tw::CompareNoCase(a.cFileName, b.cFileName) < 0;
            });
  if (find->entries.empty()) return fail(ERROR_FILE_NOT_FOUND);
  *lpFindFileData = find->entries[0];
  find->next = 1;
  HANDLE handle = tw::kernel::InsertHandle(std::move(find));
  return handle ? handle : INVALID_HANDLE_VALUE;
}

TWAPI BOOL FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData) {
  auto find = tw::kernel::LookupHandleAs<FindObject>(hFindFile);
  if (!find) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (find->next >= find->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  if (!lpFindFileData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpFindFileData = find->entries[find->next++];
  return TRUE;
}

TWAPI BOOL FindClose(HANDLE hFindFile) {
  if (!tw::kernel::LookupHandleAs<FindObject>(hFindFile)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return tw::kernel::RemoveHandle(hFindFile) ? TRUE : FALSE;
}
