#include "job/settings/value_text.h"

#include <cstring>
#include <limits>

#include "tw/casefold.h"
#include "winreg.h"

namespace tw::settings {

std::optional<std::u16string> TextFromRegistryData(DWORD type, std::span<const BYTE> data, DWORD maxChars) {
  if (type != REG_SZ && type != REG_EXPAND_SZ) return std::nullopt;
  if (data.size() > static_cast<std::size_t>(maxChars) * 2) return std::nullopt;
  std::size_t units = data.size() / 2;
  std::u16string text;
  for (std::size_t i = 0; i < units; ++i) {
    char16_t unit;
    std::memcpy(&unit, data.data() + 2 * i, 2);
    if (unit == 0) return text;
    text.push_back(unit);
  }
  // No terminator in the data: it must still fit with one.
  if (text.size() >= maxChars) return std::nullopt;
  return text;
}

LONG ParseLeadingNumber(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == u' ' || (text[i] >= u'\t' && text[i] <= u'\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  LONGLONG value = 0;
  constexpr LONGLONG kLimit = LONGLONG{std::numeric_limits<LONG>::max()} + 1;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    value = value * 10 + (text[i] - u'0');
    if (value > kLimit) value = kLimit;  // saturate; keeps reading the digits
  }
  if (negative) return static_cast<LONG>(-value);
  return value >= kLimit ? std::numeric_limits<LONG>::max() : static_cast<LONG>(value);
}

bool IsYes(std::u16string_view text) { return EqualsNoCase(text, u"yes"); }
bool IsNo(std::u16string_view text) { return EqualsNoCase(text, u"no"); }

std::u16string ScrambleXor47(std::u16string_view text) {
  std::u16string out(text);
  for (char16_t& c : out) c = static_cast<char16_t>(c ^ 0x47);
  return out;
}

namespace {
constexpr char16_t kHexDigits[] = u"0123456789ABCDEF";
constexpr unsigned kFtpKey = 0x6C;

int HexValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  return -1;
}
}  // namespace

std::optional<std::u16string> ScrambleFtpPassword(std::u16string_view password) {
  std::u16string out;
  out.reserve(password.size() * 2);
  for (char16_t c : password) {
    if (c > 0xFF) return std::nullopt;
    unsigned v = (c ^ kFtpKey) & 0xFF;
    out.push_back(kHexDigits[v >> 4]);
    out.push_back(kHexDigits[v & 0xF]);
  }
  return out;
}

std::optional<std::u16string> UnscrambleFtpPassword(std::u16string_view stored) {
  if (stored.size() % 2) return std::nullopt;
  std::u16string out;
  out.reserve(stored.size() / 2);
  for (std::size_t i = 0; i < stored.size(); i += 2) {
    int hi = HexValue(stored[i]);
    int lo = HexValue(stored[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out.push_back(static_cast<char16_t>(((hi << 4) | lo) ^ kFtpKey));
  }
  return out;
}

bool IsWatermarkPositionCode(DWORD code) {
  switch (code) {
    case 1: case 2: case 4: case 8: case 16: case 32: case 64: case 128:
    case 272: case 320: case 528: case 576: return true;
    default: return false;
  }
}

}  // namespace tw::settings
