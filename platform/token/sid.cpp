// SIDs between their string form ("S-1-5-18", kept by tokens) and the
// binary form Windows hands out (revision, count, 48-bit big-endian
// authority, 32-bit little-endian sub-authorities).
#include <cstdio>

#include "tw/token.h"
#include "tw/utf.h"

namespace tw::token {
namespace {

constexpr size_t kMaxSubAuthorities = 15;

// Parses a decimal number, or a hexadecimal one written "0x...".
bool parseNumber(std::u16string_view text, std::uint64_t limit, std::uint64_t& value) {
  value = 0;
  int base = 10;
  if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  for (char16_t c : text) {
    int digit;
    if (c >= u'0' && c <= u'9') digit = c - u'0';
    else if (base == 16 && c >= u'a' && c <= u'f') digit = c - u'a' + 10;
    else if (base == 16 && c >= u'A' && c <= u'F') digit = c - u'A' + 10;
    else return false;
    if (digit >= base || value > (limit - digit) / base) return false;
    value = value * base + digit;
  }
  return true;
}

}  // namespace

std::vector<BYTE> SidToBytes(std::u16string_view sid) {
  if (sid.size() < 2 || (sid[0] != u'S' && sid[0] != u's') || sid[1] != u'-') return {};
  std::vector<std::u16string_view> parts;
  for (size_t start = 2;;) {
    size_t dash = sid.find(u'-', start);
    parts.push_back(sid.substr(start, dash == std::u16string_view::npos ? std::u16string_view::npos : dash - start));
    if (dash == std::u16string_view::npos) break;
    start = dash + 1;
  }
  // Revision, authority, then the sub-authorities.
  if (parts.size() < 2 || parts.size() - 2 > kMaxSubAuthorities) return {};
  std::uint64_t revision, authority;
  if (!parseNumber(parts[0], 255, revision) || revision != 1 || !parseNumber(parts[1], 0xFFFFFFFFFFFFull, authority))
    return {};
  std::vector<BYTE> out{1, static_cast<BYTE>(parts.size() - 2)};
  for (int shift = 40; shift >= 0; shift -= 8) out.push_back(static_cast<BYTE>(authority >> shift));
  for (size_t i = 2; i < parts.size(); ++i) {
    std::uint64_t sub;
    if (!parseNumber(parts[i], 0xFFFFFFFFull, sub)) return {};
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<BYTE>(sub >> shift));
  }
  return out;
}

std::u16string SidFromBytes(std::span<const BYTE> bytes) {
  if (bytes.size() < 8 || bytes[0] != 1 || bytes[1] > kMaxSubAuthorities || bytes.size() < 8u + 4u * bytes[1])
    return {};
  std::uint64_t authority = 0;
  for (int i = 2; i < 8; ++i) authority = (authority << 8) | bytes[i];
  char text[32];
  // Windows writes authorities of 2^32 and above in hexadecimal.
  if (authority >> 32) std::snprintf(text, sizeof text, "0x%012llX", static_cast<unsigned long long>(authority));
  else std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(authority));
  std::string out = std::string("S-1-") + text;
  for (size_t i = 0; i < bytes[1]; ++i) {
    const BYTE* p = bytes.data() + 8 + 4 * i;
    std::uint32_t sub = p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
    out += "-" + std::to_string(sub);
  }
  return FromUtf8(out);
}

}  // namespace tw::token
