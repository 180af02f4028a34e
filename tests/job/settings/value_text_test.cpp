// Typing rules of settings values and the two password scramblings.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "job/settings/value_text.h"
#include "winreg.h"

using namespace tw::settings;

namespace {

std::vector<BYTE> Bytes(std::u16string_view text, bool terminator = true) {
  std::vector<BYTE> out((text.size() + (terminator ? 1 : 0)) * 2, 0);
  std::memcpy(out.data(), text.data(), text.size() * 2);
  return out;
}

TEST(NumberText, ReadsLikeWcstol) {
  EXPECT_EQ(ParseLeadingNumber(u" -12abc"), -12);
  EXPECT_EQ(ParseLeadingNumber(u"42"), 42);
  EXPECT_EQ(ParseLeadingNumber(u"+7x"), 7);
  EXPECT_EQ(ParseLeadingNumber(u"\t\n 3"), 3);
  EXPECT_EQ(ParseLeadingNumber(u"abc"), 0);
  EXPECT_EQ(ParseLeadingNumber(u""), 0);
  EXPECT_EQ(ParseLeadingNumber(u"-"), 0);
  EXPECT_EQ(ParseLeadingNumber(u"- 5"), 0) << "the sign must touch the digits";
  EXPECT_EQ(ParseLeadingNumber(u"12 34"), 12);
  EXPECT_EQ(ParseLeadingNumber(u"99999999999999999999"), 2147483647);
  EXPECT_EQ(ParseLeadingNumber(u"-99999999999999999999"), -2147483647 - 1);
}

TEST(RegistryText, SixteenByteReadsHoldSevenCharacters) {
  // " -12abc" is 7 characters and fits with its terminator.
  auto seven = TextFromRegistryData(REG_SZ, Bytes(u" -12abc"), kShortValueChars);
  ASSERT_TRUE(seven);
  EXPECT_EQ(*seven, u" -12abc");
  // "12345678" needs 18 bytes: too large, the reader takes the default.
  EXPECT_FALSE(TextFromRegistryData(REG_SZ, Bytes(u"12345678"), kShortValueChars));
  // Stored without terminator: 8 characters fill the buffer and leave no room for one.
  EXPECT_FALSE(TextFromRegistryData(REG_SZ, Bytes(u"12345678", false), kShortValueChars));
  auto unterminated = TextFromRegistryData(REG_SZ, Bytes(u"1234567", false), kShortValueChars);
  ASSERT_TRUE(unterminated);
  EXPECT_EQ(*unterminated, u"1234567");
  // Text stops at the first zero even when the data go on.
  std::vector<BYTE> padded = Bytes(u"12");
  padded.resize(16, 0);
  EXPECT_EQ(TextFromRegistryData(REG_SZ, padded, kShortValueChars).value_or(u"?"), u"12");
  EXPECT_EQ(TextFromRegistryData(REG_EXPAND_SZ, Bytes(u"x"), 4).value_or(u"?"), u"x");
  EXPECT_FALSE(TextFromRegistryData(REG_DWORD, Bytes(u"x"), 4)) << "other types are not text";
  EXPECT_EQ(TextFromRegistryData(REG_SZ, {}, 4).value_or(u"?"), u"") << "empty data is an empty text";
  std::vector<BYTE> odd = Bytes(u"ab", false);
  odd.push_back('c');
  EXPECT_EQ(TextFromRegistryData(REG_SZ, odd, 4).value_or(u"?"), u"ab") << "a stray last byte is no unit";
}

TEST(YesText, AnyCase) {
  EXPECT_TRUE(IsYes(u"yes"));
  EXPECT_TRUE(IsYes(u"YES"));
  EXPECT_TRUE(IsYes(u"Yes"));
  EXPECT_FALSE(IsYes(u"1"));
  EXPECT_FALSE(IsYes(u"yes "));
  EXPECT_FALSE(IsYes(u""));
  EXPECT_TRUE(IsNo(u"No"));
  EXPECT_FALSE(IsNo(u"yes"));
}

TEST(Scrambling, PerJobPasswordsXor47) {
  std::u16string stored = ScrambleXor47(u"Secret\u00e9\u4e2d");
  EXPECT_EQ(stored[0], static_cast<char16_t>(u'S' ^ 0x47));
  EXPECT_EQ(stored[7], static_cast<char16_t>(0x4e2d ^ 0x47));
  EXPECT_EQ(ScrambleXor47(stored), u"Secret\u00e9\u4e2d");
}

TEST(Scrambling, FtpPasswordsAsHexDigits) {
  // 'A' (0x41) ^ 0x6C = 0x2D; 'z' (0x7A) ^ 0x6C = 0x16; 0xFF ^ 0x6C = 0x93.
  auto stored = ScrambleFtpPassword(u"Az\u00ff");
  ASSERT_TRUE(stored);
  EXPECT_EQ(*stored, u"2D1693");
  EXPECT_EQ(UnscrambleFtpPassword(*stored).value_or(u"?"), u"Az\u00ff");
  EXPECT_EQ(UnscrambleFtpPassword(u"2d1693").value_or(u"?"), u"Az\u00ff") << "lower-case digits read too";
  EXPECT_EQ(ScrambleFtpPassword(u"").value_or(u"?"), u"");
  EXPECT_FALSE(ScrambleFtpPassword(u"\u0100")) << "no two-digit form above U+00FF";
  EXPECT_FALSE(UnscrambleFtpPassword(u"2D1"));
  EXPECT_FALSE(UnscrambleFtpPassword(u"2G"));
}

TEST(WatermarkPosition, TheTwelveCodes) {
  for (DWORD code : {1u, 2u, 4u, 8u, 16u, 32u, 64u, 128u, 272u, 320u, 528u, 576u}) EXPECT_TRUE(IsWatermarkPositionCode(code));
  for (DWORD code : {0u, 3u, 256u, 273u, 512u, 1024u}) EXPECT_FALSE(IsWatermarkPositionCode(code));
}

}  // namespace
