// Resources of modules: FindResourceW, LoadResource, LoadStringW and the
// message-table look-up behind FormatMessageW. The resources are the
// module's tw_resources table (docs/modules.md); every read is bounds-checked,
// since a module's table is input like any other.
#include <unicode/uloc.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "module_table.h"
#include "tw/casefold.h"
#include "tw/lasterror.h"
#include "tw/root.h"
#include "tw/utf.h"
#include "winerror.h"

namespace tw::module {
namespace {

using detail::Module;

// A resource type or name as given: an integer, or a name ("#12" is 12).
struct Key {
  bool isInt = true;
  WORD id = 0;
  std::u16string_view name;
};

Key keyOf(LPCWSTR value) {
  if (IS_INTRESOURCE(value)) return {true, LOWORD(value), {}};
  std::u16string_view text(value);
  if (text.size() > 1 && text[0] == u'#') {
    DWORD n = 0;
    bool digits = true;
    for (char16_t c : text.substr(1)) {
      if (c < u'0' || c > u'9' || n > 0xFFFF) {
        digits = false;
        break;
      }
      n = n * 10 + (c - u'0');
    }
    if (digits && n <= 0xFFFF) return {true, static_cast<WORD>(n), {}};
  }
  return {false, 0, text};
}

bool sameKey(const Key& a, const Key& b) {
  if (a.isInt != b.isInt) return false;
  return a.isInt ? a.id == b.id : EqualsNoCase(a.name, b.name);
}

// The language of the configured locale ("en-US" -> 0x0409).
WORD userLanguage() {
  std::string tag = ToUtf8(tw::config::Get()->locale);
  char locale[ULOC_FULLNAME_CAPACITY] = {};
  UErrorCode status = U_ZERO_ERROR;
  uloc_forLanguageTag(tag.c_str(), locale, sizeof locale, nullptr, &status);
  if (U_FAILURE(status)) return 0x0409;
  std::uint32_t lcid = uloc_getLCID(locale);
  return lcid ? static_cast<WORD>(lcid & 0xFFFF) : 0x0409;
}

// Finds the resource. language < 0: the default order (neutral, the user's
// language, its primary language, US English, English, then any).
const TW_RESOURCE_ENTRY* findEntry(const TW_RESOURCE_TABLE* table, const Key& type, const Key& name, int language,
                                   DWORD& error) {
  if (!table) {
    error = ERROR_RESOURCE_DATA_NOT_FOUND;
    return nullptr;
  }
  std::vector<const TW_RESOURCE_ENTRY*> found;
  bool typeSeen = false;
  for (DWORD i = 0; i < table->count; ++i) {
    const auto& e = table->entries[i];
    if (!e.type || !e.name || !sameKey(keyOf(e.type), type)) continue;
    typeSeen = true;
    if (sameKey(keyOf(e.name), name)) found.push_back(&e);
  }
  if (found.empty()) {
    error = typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND;
    return nullptr;
  }
  auto withLanguage = [&](WORD lang) -> const TW_RESOURCE_ENTRY* {
    for (auto* e : found)
      if (e->language == lang) return e;
    return nullptr;
  };
  if (language >= 0) {
    if (auto* e = withLanguage(static_cast<WORD>(language))) return e;
    error = ERROR_RESOURCE_LANG_NOT_FOUND;
    return nullptr;
  }
  WORD user = userLanguage();
  for (WORD lang : {WORD(0), user, WORD(user & 0x3FF), WORD(0x0409), WORD(0x0009)})
    if (auto* e = withLanguage(lang)) return e;
  return found.front();
}

const TW_RESOURCE_ENTRY* find(HMODULE module, LPCWSTR type, LPCWSTR name, int language) {
  if (!type || !name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::lock_guard lock(detail::LoaderLock());
  Module* m = detail::FindByHandle(module);
  if (!m) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  DWORD error = 0;
  auto* entry = findEntry(detail::ResourceTable(*m), keyOf(type), keyOf(name), language, error);
  if (!entry) SetLastError(error);
  return entry;
}

// True when `entry` is an entry of a loaded module's table (a resource
// handle is never trusted blindly).
bool validEntry(const TW_RESOURCE_ENTRY* entry) {
  if (!entry) return false;
  std::lock_guard lock(detail::LoaderLock());
  for (Module* m : detail::AllModules()) {
    const TW_RESOURCE_TABLE* t = detail::ResourceTable(*m);
    if (t && entry >= t->entries && entry < t->entries + t->count) return true;
  }
  return false;
}

const BYTE* bytesOf(const TW_RESOURCE_ENTRY& e) {
  static const BYTE empty[2] = {0, 0};
  return e.data && e.size ? static_cast<const BYTE*>(e.data) : empty;
}

WORD readWord(const BYTE* p) {
  WORD w;
  std::memcpy(&w, p, sizeof w);
  return w;
}

DWORD readDword(const BYTE* p) {
  DWORD d;
  std::memcpy(&d, p, sizeof d);
  return d;
}

// Windows-1252 for the 0x80-0x9F row; the rest is Latin-1.
char16_t fromCp1252(BYTE b) {
  static constexpr std::array<char16_t, 32> row = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  return (b >= 0x80 && b <= 0x9F) ? row[b - 0x80] : char16_t(b);
}

// The text of one MESSAGE_RESOURCE_ENTRY (ends at its terminator).
std::u16string entryText(const BYTE* text, size_t bytes, WORD flags) {
  std::u16string out;
  if (flags & MESSAGE_RESOURCE_UNICODE) {
    for (size_t i = 0; i + 1 < bytes; i += 2) {
      char16_t c = static_cast<char16_t>(text[i] | (text[i + 1] << 8));
      if (!c) break;
      out += c;
    }
  } else if (flags & MESSAGE_RESOURCE_UTF8) {
    size_t n = 0;
    while (n < bytes && text[n]) ++n;
    out = FromUtf8(std::string_view(reinterpret_cast<const char*>(text), n));
  } else {
    for (size_t i = 0; i < bytes && text[i]; ++i) out += fromCp1252(text[i]);
  }
  return out;
}

}  // namespace

DWORD FindMessage(HMODULE module, DWORD id, DWORD languageId, std::u16string& text) {
  std::lock_guard lock(detail::LoaderLock());
  Module* m = detail::FindByHandle(module);
  if (!m) return ERROR_MOD_NOT_FOUND;
  DWORD error = 0;
  auto* entry = findEntry(detail::ResourceTable(*m), keyOf(RT_MESSAGETABLE), keyOf(MAKEINTRESOURCEW(1)),
                          languageId ? static_cast<int>(languageId & 0xFFFF) : -1, error);
  if (!entry) return error;
  const BYTE* data = bytesOf(*entry);
  size_t size = entry->size;
  if (size < 4) return ERROR_MR_MID_NOT_FOUND;
  DWORD blocks = readDword(data);
  if (blocks > (size - 4) / sizeof(MESSAGE_RESOURCE_BLOCK)) return ERROR_MR_MID_NOT_FOUND;
  for (DWORD b = 0; b < blocks; ++b) {
    const BYTE* block = data + 4 + b * sizeof(MESSAGE_RESOURCE_BLOCK);
    DWORD low = readDword(block), high = readDword(block + 4), offset = readDword(block + 8);
    if (id < low || id > high) continue;
    for (DWORD current = low;; ++current) {
      if (offset > size || size - offset < 4) return ERROR_MR_MID_NOT_FOUND;
      WORD length = readWord(data + offset);
      WORD flags = readWord(data + offset + 2);
      if (length < 4 || length > size - offset) return ERROR_MR_MID_NOT_FOUND;
      if (current == id) {
        text = entryText(data + offset + 4, length - 4, flags);
        return ERROR_SUCCESS;
      }
      offset += length;
    }
  }
  return ERROR_MR_MID_NOT_FOUND;
}

}  // namespace tw::module

using tw::module::find;

TWAPI HRSRC FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
  return reinterpret_cast<HRSRC>(const_cast<TW_RESOURCE_ENTRY*>(find(hModule, lpType, lpName, -1)));
}

TWAPI HRSRC FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage) {
  // Language 0 (neutral) takes the default order, as FindResourceW does.
  int language = wLanguage ? wLanguage : -1;
  return reinterpret_cast<HRSRC>(const_cast<TW_RESOURCE_ENTRY*>(find(hModule, lpType, lpName, language)));
}

TWAPI HGLOBAL LoadResource(HMODULE, HRSRC hResInfo) {
  auto* entry = reinterpret_cast<const TW_RESOURCE_ENTRY*>(hResInfo);
  if (!tw::module::validEntry(entry)) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  // Resource data is not a movable block: the handle is its address.
  return const_cast<BYTE*>(tw::module::bytesOf(*entry));
}

TWAPI LPVOID LockResource(HGLOBAL hResData) { return hResData; }

TWAPI DWORD SizeofResource(HMODULE, HRSRC hResInfo) {
  auto* entry = reinterpret_cast<const TW_RESOURCE_ENTRY*>(hResInfo);
  if (!tw::module::validEntry(entry)) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return 0;
  }
  return entry->size;
}

TWAPI BOOL FreeResource(HGLOBAL) { return FALSE; }  // nothing to free; FALSE means success

TWAPI int LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
  if (!lpBuffer || cchBufferMax < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (cchBufferMax > 0) lpBuffer[0] = 0;
  std::lock_guard lock(tw::module::detail::LoaderLock());
  // Strings live in blocks of 16: block (id / 16) + 1, slot id % 16, each a
  // length word followed by that many characters (no terminator).
  const TW_RESOURCE_ENTRY* entry = find(hInstance, RT_STRING, MAKEINTRESOURCEW((uID >> 4) + 1), -1);
  if (!entry) return 0;
  const BYTE* data = tw::module::bytesOf(*entry);
  size_t size = entry->size, offset = 0;
  for (UINT slot = 0;; ++slot) {
    if (offset + 2 > size) {
      SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
      return 0;
    }
    size_t length = tw::module::readWord(data + offset);
    offset += 2;
    if (length * 2 > size - offset) {
      SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
      return 0;
    }
    if (slot == (uID & 15)) {
      auto* text = reinterpret_cast<const WCHAR*>(data + offset);
      if (cchBufferMax == 0) {
        // The caller asked for a read-only pointer to the text itself.
        std::memcpy(lpBuffer, &text, sizeof text);
        return static_cast<int>(length);
      }
      size_t n = std::min(length, static_cast<size_t>(cchBufferMax - 1));
      std::memcpy(lpBuffer, text, n * sizeof(WCHAR));
      lpBuffer[n] = 0;
      return static_cast<int>(n);
    }
    offset += length * 2;
  }
}
