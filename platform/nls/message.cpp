// FormatMessageW: finds the message (string, module message table, system
// table), expands inserts and escapes, applies the line-width rules.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "tw/format.h"
#include "tw/lasterror.h"
#include "tw/memory.h"
#include "tw/nls.h"
#include "tw/nls_internal.h"
#include "winerror.h"

namespace tw::nls {
namespace {
std::atomic<MessageTableResolver> g_resolver{nullptr};
}  // namespace

void SetMessageTableResolver(MessageTableResolver resolver) { g_resolver.store(resolver); }

}  // namespace tw::nls

namespace {

// A piece of output: text, or a hard line break (%n) that width handling
// must keep.
struct Piece {
  std::u16string text;
  bool hardBreak = false;
};

bool isDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// One insert: %n, optionally followed by !format!.
struct Insert {
  int number = 0;
  std::u16string format;  // the printf conversion without '%'; "s" by default
  int stars = 0;          // '*' in the format: arguments taken before the value
};

// Reads the insert starting after '%' at text[i] (a digit); advances i.
// False for a malformed insert.
bool parseInsert(std::u16string_view text, size_t& i, Insert& out) {
  out = Insert{};
  out.number = text[i++] - u'0';
  if (i < text.size() && isDigit(text[i])) out.number = out.number * 10 + (text[i++] - u'0');
  out.format = u"s";
  if (i < text.size() && text[i] == u'!') {
    size_t end = text.find(u'!', i + 1);
    if (end == std::u16string_view::npos || end == i + 1) return false;
    out.format = std::u16string(text.substr(i + 1, end - i - 1));
    i = end + 1;
  }
  for (char16_t c : out.format)
    if (c == u'*') ++out.stars;
  return true;
}

// The arguments as pointer-sized slots, by insert number (1-based).
class Arguments {
 public:
  Arguments(va_list* args, bool isArray, int count) {
    if (!args) return;
    m_present = true;
    if (isArray) {
      const DWORD_PTR* array = reinterpret_cast<const DWORD_PTR*>(args);
      m_slots.assign(array, array + count);
    } else {
      va_list copy;
      va_copy(copy, *args);
      for (int i = 0; i < count; ++i) m_slots.push_back(va_arg(copy, DWORD_PTR));
      va_end(copy);
    }
  }
  bool Present() const { return m_present; }
  DWORD_PTR At(int number) const {
    return number >= 1 && static_cast<size_t>(number) <= m_slots.size() ? m_slots[number - 1] : 0;
  }

 private:
  bool m_present = false;
  std::vector<DWORD_PTR> m_slots;
};

// The highest argument number the message uses (inserts and their stars);
// -1 when an insert is malformed.
int highestArgument(std::u16string_view text) {
  int highest = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'%' || i + 1 >= text.size()) continue;
    if (text[i + 1] == u'0') break;
    if (!isDigit(text[i + 1])) {
      ++i;
      continue;
    }
    ++i;
    Insert ins;
    if (!parseInsert(text, i, ins)) return -1;
    --i;
    highest = std::max(highest, ins.number + ins.stars);
  }
  return highest;
}

// The insert through the printf engine: the star values first, then the
// value, from consecutive arguments.
std::u16string formatInsert(const Insert& ins, const Arguments& args) {
  std::vector<DWORD_PTR> slots;
  for (int k = 0; k <= ins.stars; ++k) slots.push_back(args.At(ins.number + k));
  const std::u16string pattern = u"%" + ins.format;
  tw::fmt::SlotArgs counting(slots);
  tw::fmt::Output<char16_t> counter;
  int n = tw::fmt::Format(counter, pattern.c_str(), counting);
  if (n <= 0) return {};
  std::u16string out(static_cast<size_t>(n), u'\0');
  tw::fmt::SlotArgs writing(std::move(slots));
  tw::fmt::Output<char16_t> writer{out.data(), out.size()};
  tw::fmt::Format(writer, pattern.c_str(), writing);
  return out;
}

// Expands the message into pieces. The text's own line breaks are kept, or
// turned into spaces when a line width is set.
bool expand(std::u16string_view text, DWORD flags, const Arguments& args, bool keepBreaks, std::vector<Piece>& out) {
  const bool ignoreInserts = (flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0;
  auto add = [&](std::u16string_view s) {
    if (out.empty() || out.back().hardBreak) out.push_back({});
    out.back().text += s;
  };
  for (size_t i = 0; i < text.size();) {
    char16_t c = text[i];
    if (c == u'\r' || c == u'\n') {
      size_t len = (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ? 2 : 1;
      add(keepBreaks ? text.substr(i, len) : u" ");
      i += len;
      continue;
    }
    if (c != u'%' || i + 1 >= text.size()) {
      add(text.substr(i, 1));
      ++i;
      continue;
    }
    char16_t e = text[i + 1];
    if (e == u'0') break;  // the message ends here
    if (isDigit(e)) {
      size_t start = i;
      ++i;
      Insert ins;
      if (!parseInsert(text, i, ins)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
      }
      if (ignoreInserts) {
        add(text.substr(start, i - start));
        continue;
      }
      if (!args.Present()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
      }
      add(formatInsert(ins, args));
      continue;
    }
    i += 2;
    switch (e) {
      case u'n':
        out.push_back({u"\r\n", true});
        break;
      case u'r':
        add(u"\r");
        break;
      case u't':
        add(u"\t");
        break;
      case u'b':
        add(u" ");
        break;
      default:  // "%%", "% ", "%.", "%!" and any other character: the character
        add(std::u16string_view(&text[i - 1], 1));
        break;
    }
  }
  return true;
}

// Wraps each run between hard breaks at `width` units, breaking at spaces.
std::u16string wrap(const std::vector<Piece>& pieces, unsigned width) {
  std::u16string out;
  for (const Piece& p : pieces) {
    if (p.hardBreak || width == 0) {
      out += p.text;
      continue;
    }
    std::u16string_view rest = p.text;
    while (rest.size() > width) {
      size_t cut = rest.rfind(u' ', width);
      if (cut == std::u16string_view::npos || cut == 0) cut = width;
      out += rest.substr(0, cut);
      out += u"\r\n";
      rest.remove_prefix(cut);
      while (!rest.empty() && rest.front() == u' ') rest.remove_prefix(1);
    }
    out += rest;
  }
  return out;
}

bool systemLanguageAvailable(DWORD language) {
  switch (language) {
    case 0:
    case MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT):
    case MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT):
    case MAKELANGID(LANG_ENGLISH, SUBLANG_NEUTRAL):
    case MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US):
      return true;
    default:
      return false;
  }
}

// Finds the message text; a Win32 error code on failure.
DWORD findMessage(DWORD flags, LPCVOID source, DWORD id, DWORD language, std::u16string& text) {
  if (flags & FORMAT_MESSAGE_FROM_STRING) {
    if (!source) return ERROR_INVALID_PARAMETER;
    text = static_cast<const char16_t*>(source);
    return ERROR_SUCCESS;
  }
  DWORD result = ERROR_RESOURCE_TYPE_NOT_FOUND;
  if (flags & FORMAT_MESSAGE_FROM_HMODULE) {
    auto resolver = tw::nls::g_resolver.load();
    if (resolver) result = resolver(static_cast<HMODULE>(const_cast<void*>(source)), id, language, text);
    if (result == ERROR_SUCCESS || !(flags & FORMAT_MESSAGE_FROM_SYSTEM)) return result;
  }
  if (flags & FORMAT_MESSAGE_FROM_SYSTEM) {
    // A FACILITY_WIN32 HRESULT has the text of its Win32 code.
    DWORD code = (id & 0xFFFF0000u) == 0x80070000u ? (id & 0xFFFF) : id;
    const char16_t* found = tw::nls::SystemMessageText(code);
    if (!found) return ERROR_MR_MID_NOT_FOUND;
    if (!systemLanguageAvailable(language)) return ERROR_RESOURCE_LANG_NOT_FOUND;
    text = found;
    return ERROR_SUCCESS;
  }
  return ERROR_INVALID_PARAMETER;
}

}  // namespace

DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPWSTR lpBuffer,
                     DWORD nSize, va_list* Arguments) {
  const DWORD sources = FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM;
  const DWORD known = sources | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                      FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_MAX_WIDTH_MASK;
  if ((dwFlags & ~known) || !(dwFlags & sources) ||
      ((dwFlags & FORMAT_MESSAGE_FROM_STRING) && (dwFlags & (FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM)))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!lpBuffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string text;
  if (DWORD error = findMessage(dwFlags, lpSource, dwMessageId, dwLanguageId, text); error != ERROR_SUCCESS) {
    SetLastError(error);
    return 0;
  }
  int highest = highestArgument(text);
  if (highest < 0 && !(dwFlags & FORMAT_MESSAGE_IGNORE_INSERTS)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const bool ignoreInserts = (dwFlags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0;
  ::Arguments args(ignoreInserts ? nullptr : Arguments, (dwFlags & FORMAT_MESSAGE_ARGUMENT_ARRAY) != 0,
                   highest > 0 ? highest : 0);
  const unsigned width = dwFlags & FORMAT_MESSAGE_MAX_WIDTH_MASK;
  std::vector<Piece> pieces;
  if (!expand(text, dwFlags, args, width == 0, pieces)) return 0;
  std::u16string result = wrap(pieces, width == FORMAT_MESSAGE_MAX_WIDTH_MASK ? 0 : width);

  const DWORD length = static_cast<DWORD>(result.size());
  if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    if ((length + 1) * sizeof(WCHAR) > 128000) {
      SetLastError(ERROR_MORE_DATA);
      return 0;
    }
    DWORD units = std::max<DWORD>(nSize, length + 1);
    auto* block = static_cast<LPWSTR>(LocalAlloc(LMEM_FIXED, units * sizeof(WCHAR)));
    if (!block) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    std::memcpy(block, result.c_str(), (length + 1) * sizeof(WCHAR));
    *reinterpret_cast<LPWSTR*>(lpBuffer) = block;
    return length;
  }
  if (nSize < length + 1) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(lpBuffer, result.c_str(), (length + 1) * sizeof(WCHAR));
  return length;
}
