// The typing rules of settings values: how stored bytes and texts become
// numbers, switches and strings, and the two password scramblings.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "tw/wintypes.h"

namespace tw::settings {

// Characters a "number" or "yes" value is read into: 16 bytes, so at most 7
// characters and the terminator.
inline constexpr DWORD kShortValueChars = 8;

// The text of REG_SZ / REG_EXPAND_SZ data read into a buffer of `maxChars`
// UTF-16 units (terminator included): the units before the first zero.
// Empty optional for another type, data larger than the buffer, or text that
// leaves no room for its terminator.
std::optional<std::u16string> TextFromRegistryData(DWORD type, std::span<const BYTE> data, DWORD maxChars);

// A decimal number as C's wcstol reads it: leading white space, an optional
// sign, then digits up to the first other character; 0 when no digit comes
// first. Values beyond 32 bits are limited to the LONG range.
LONG ParseLeadingNumber(std::u16string_view text);

// "yes" in any case.
bool IsYes(std::u16string_view text);
// "no" in any case.
bool IsNo(std::u16string_view text);

// Per-job PDF passwords: every UTF-16 unit XORed with 0x47 (its own inverse).
std::u16string ScrambleXor47(std::u16string_view text);

// FTP passwords: each character XORed with 0x6C and written as two upper-case
// hex digits. Characters above 0xFF have no such form: empty optional.
std::optional<std::u16string> ScrambleFtpPassword(std::u16string_view password);
// The reverse; empty optional for an odd length or a non-hex digit.
std::optional<std::u16string> UnscrambleFtpPassword(std::u16string_view stored);

// The twelve watermark position codes.
bool IsWatermarkPositionCode(DWORD code);

}  // namespace tw::settings
