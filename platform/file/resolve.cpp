// Path resolution for the file functions, and the write deny list.
#include "tw/casefold.h"
#include "tw/fileio.h"
#include "tw/pathmap.h"
#include "tw/root.h"

namespace tw::file {
namespace {

bool isSep(char16_t c) { return c == u'\\' || c == u'/'; }

// "\\?\" turns off the MAX_PATH limit, as on Windows.
bool hasLongPrefix(std::u16string_view p) {
  return p.size() >= 4 && isSep(p[0]) && isSep(p[1]) && p[2] == u'?' && isSep(p[3]);
}

}  // namespace

DWORD Resolve(LPCWSTR path, Resolved& out, DWORD tooLong, size_t maxLength) {
  if (!path || !*path) return ERROR_PATH_NOT_FOUND;
  std::u16string_view view(path);
  if (DWORD rc = tw::path::FullPath(view, out.full)) return rc;
  if (!hasLongPrefix(view) && out.full.size() > maxLength) return tooLong;
  if (DWORD rc = tw::path::ToHost(out.full, out.host)) return rc;
  out.trailingSeparator = isSep(view.back()) && out.full.size() > 3;
  return ERROR_SUCCESS;
}

bool IsWriteDenied(std::u16string_view fullPath) {
  auto machine = tw::config::Get();
  for (const auto& entry : machine->denyWrite) {
    std::u16string denied;
    if (tw::path::LexicalFullPath(entry, denied) != ERROR_SUCCESS) continue;
    if (fullPath.size() < denied.size() || !EqualsNoCase(fullPath.substr(0, denied.size()), denied)) continue;
    // Whole components only: "C:\Out" covers "C:\Out\a" but not "C:\Output".
    if (fullPath.size() == denied.size() || denied.back() == u'\\' || fullPath[denied.size()] == u'\\') return true;
  }
  return false;
}

}  // namespace tw::file
