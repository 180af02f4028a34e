// Object names and namespaces: "Global\X" is global; "Local\X" and a bare "X"
// are in the caller's session; "Session\N\X" is in session N; session 0 is the
// global namespace. The namespace prefixes are matched ignoring case (they are
// links in the object directory); the object names themselves are
// case-sensitive.
#include <cstdlib>
#include <string_view>

#include "arena.h"
#include "tw/kernelsync.h"
#include "tw/lasterror.h"
#include "winerror.h"

namespace tw::sync {
namespace {

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char16_t a = text[i], b = prefix[i];
    if (a >= u'A' && a <= u'Z') a = static_cast<char16_t>(a - u'A' + u'a');
    if (b >= u'A' && b <= u'Z') b = static_cast<char16_t>(b - u'A' + u'a');
    if (a != b) return false;
  }
  return true;
}

}  // namespace

DWORD CurrentSessionId() {
  const char* text = std::getenv("TW_SESSION_ID");
  if (!text || !*text) return 0;
  char* end = nullptr;
  unsigned long value = std::strtoul(text, &end, 10);
  return (*end == 0 && value <= 0xFFFFFFFFul) ? static_cast<DWORD>(value) : 0;
}

bool ParseObjectName(LPCWSTR text, ObjectName& out) {
  out = {};
  if (!text || !*text) return true;
  std::u16string_view name(text);
  if (name.size() > kMaxName) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  DWORD space = CurrentSessionId();
  if (StartsWithIgnoringCase(name, u"Global\\")) {
    space = 0;
    name.remove_prefix(7);
  } else if (StartsWithIgnoringCase(name, u"Local\\")) {
    name.remove_prefix(6);
  } else if (StartsWithIgnoringCase(name, u"Session\\")) {
    name.remove_prefix(8);
    size_t digits = 0;
    unsigned long long value = 0;
    while (digits < name.size() && name[digits] >= u'0' && name[digits] <= u'9' && value <= 0xFFFFFFFFull)
      value = value * 10 + (name[digits++] - u'0');
    if (digits == 0 || digits >= name.size() || name[digits] != u'\\' || value > 0xFFFFFFFFull) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return false;
    }
    space = static_cast<DWORD>(value);
    name.remove_prefix(digits + 1);
  }
  if (name.empty()) {
    SetLastError(ERROR_INVALID_NAME);
    return false;
  }
  if (name.find(u'\\') != std::u16string_view::npos) {
    SetLastError(ERROR_PATH_NOT_FOUND);  // no such object directory
    return false;
  }
  out.space = space;
  out.name.assign(name);
  return true;
}

}  // namespace tw::sync
