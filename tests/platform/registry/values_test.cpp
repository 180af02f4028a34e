// Registry values: size queries, short buffers, raw bytes, enumeration order
// and RegGetValueW's type and terminator rules.
#include <cstdlib>

#include "reg_test_util.h"
#include "tw/casefold.h"

using namespace regtest;

namespace {

class RegistryValues : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(Create(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC\\P1", &key_), 0); }
  twtest::TempRoot root_;
  twtest::LeakGuard leaks_;
  Key key_;
};

TEST_F(RegistryValues, SizeQueryShortBufferAndMissingValue) {
  ASSERT_EQ(SetString(key_, u"Printer name", u"Tarnwick PDF"), ERROR_SUCCESS);
  DWORD type = 0, size = 0;
  // Null data: the size, with success.
  EXPECT_EQ(RegQueryValueExW(key_, u"Printer name", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, 26u);
  // One byte short: ERROR_MORE_DATA and the needed size.
  BYTE buffer[64] = {};
  size = 25;
  EXPECT_EQ(RegQueryValueExW(key_, u"printer NAME", nullptr, &type, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 26u);
  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExW(key_, u"printer NAME", nullptr, &type, buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(reinterpret_cast<char16_t*>(buffer)), u"Tarnwick PDF");
  // Missing value, data without size, reserved pointer.
  EXPECT_EQ(RegQueryValueExW(key_, u"Nothing", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExW(key_, u"Printer name", nullptr, &type, buffer, nullptr), ERROR_INVALID_PARAMETER);
  DWORD reserved = 0;
  EXPECT_EQ(RegQueryValueExW(key_, u"Printer name", &reserved, &type, nullptr, &size), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryValues, SixteenByteNumberReadsFollowTheStoredBytes) {
  // A "number" setting is read into 16 bytes: 7 characters and terminator fit,
  // 8 characters with terminator do not, 8 without terminator do.
  ASSERT_EQ(SetString(key_, u"Seven", u"1234567"), 0);
  ASSERT_EQ(SetString(key_, u"Eight", u"12345678"), 0);
  ASSERT_EQ(SetString(key_, u"EightRaw", u"12345678", false), 0);
  BYTE buffer[16];
  DWORD size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExW(key_, u"Seven", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExW(key_, u"Eight", nullptr, nullptr, buffer, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 18u);
  size = sizeof buffer;
  EXPECT_EQ(RegQueryValueExW(key_, u"EightRaw", nullptr, nullptr, buffer, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 16u);
}

TEST_F(RegistryValues, StoresExactlyTheBytesGiven) {
  // "Ready" = "YES" is written as 6 bytes: it must come back as 6 bytes.
  ASSERT_EQ(SetString(key_, u"Ready", u"YES", false), 0);
  DWORD type = 0;
  EXPECT_EQ(Query(key_, u"Ready", &type), Bytes(u"YES", false));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  // Odd byte counts, embedded nulls, empty data and unusual types are kept too.
  const BYTE odd[] = {'a', 0, 'b'};
  ASSERT_EQ(RegSetValueExW(key_, u"Odd", 0, REG_SZ, odd, 3), 0);
  EXPECT_EQ(Query(key_, u"Odd"), std::vector<BYTE>(odd, odd + 3));
  ASSERT_EQ(RegSetValueExW(key_, u"Empty", 0, REG_BINARY, nullptr, 0), 0);
  LONG rc = -1;
  EXPECT_TRUE(Query(key_, u"Empty", &type, &rc).empty());
  EXPECT_EQ(rc, ERROR_SUCCESS);
  const BYTE custom[] = {1, 2, 3, 4, 5};
  ASSERT_EQ(RegSetValueExW(key_, u"Custom", 0, 0x12345, custom, 5), 0);
  EXPECT_EQ(Query(key_, u"Custom", &type).size(), 5u);
  EXPECT_EQ(type, 0x12345u);
  // Null data with a size is refused.
  EXPECT_EQ(RegSetValueExW(key_, u"Bad", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
}

TEST_F(RegistryValues, NamesAreCaseInsensitiveAndKeepTheirCase) {
  ASSERT_EQ(SetDword(key_, u"Force DPI Enabled", 1), 0);
  ASSERT_EQ(SetDword(key_, u"FORCE dpi ENABLED", 2), 0);  // overwrites
  auto names = ValueNames(key_);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0], u"Force DPI Enabled");
  DWORD value = 0, size = 4;
  EXPECT_EQ(RegQueryValueExW(key_, u"force dpi enabled", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
            0);
  EXPECT_EQ(value, 2u);
  // Non-ASCII letters fold too.
  ASSERT_EQ(SetDword(key_, u"Größe Ä", 5), 0);
  EXPECT_EQ(Query(key_, u"GRößE ä").size(), 4u);
  // The unnamed value: null and empty name are the same.
  ASSERT_EQ(SetString(key_, nullptr, u"default"), 0);
  EXPECT_EQ(Query(key_, u""), Bytes(u"default", true));
}

TEST_F(RegistryValues, EnumerationKeepsInsertionOrderAndReportsShortBuffers) {
  for (const char16_t* name : {u"Zeta", u"alpha", u"Mid"}) ASSERT_EQ(SetString(key_, name, u" ", false), 0);
  ASSERT_EQ(SetString(key_, u"ALPHA", u"overwritten"), 0);  // keeps its place
  ASSERT_EQ(RegDeleteValueW(key_, u"Zeta"), 0);
  ASSERT_EQ(SetString(key_, u"Zeta", u"back"), 0);  // a new value goes last
  EXPECT_EQ(ValueNames(key_), (std::vector<std::u16string>{u"alpha", u"Mid", u"Zeta"}));

  WCHAR name[8];
  DWORD count = 5;  // "alpha" needs 6 with terminator
  BYTE data[64];
  DWORD size = sizeof data, type = 0;
  EXPECT_EQ(RegEnumValueW(key_, 0, name, &count, nullptr, &type, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(count, 5u) << "count unchanged when the name does not fit";
  count = 6;
  size = 4;
  EXPECT_EQ(RegEnumValueW(key_, 0, name, &count, nullptr, &type, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 24u) << "needed data size";
  count = 6;
  size = sizeof data;
  EXPECT_EQ(RegEnumValueW(key_, 0, name, &count, nullptr, &type, data, &size), ERROR_SUCCESS);
  EXPECT_EQ(count, 5u);
  EXPECT_EQ(std::u16string(name), u"alpha");
  EXPECT_EQ(size, 24u);
  count = 8;
  EXPECT_EQ(RegEnumValueW(key_, 3, name, &count, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(RegEnumValueW(key_, 0, nullptr, &count, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(RegistryValues, PortListStopsAtTheFirstFailingIndex) {
  // The monitor reads names of up to 128 units and stops at the first
  // failure: a port with a longer name ends the list.
  ASSERT_EQ(SetString(key_, u"TW1:", u" ", false), 0);
  std::u16string longName(200, u'P');
  ASSERT_EQ(SetString(key_, longName.c_str(), u" ", false), 0);
  ASSERT_EQ(SetString(key_, u"TW2:", u" ", false), 0);
  std::vector<std::u16string> ports;
  for (DWORD i = 0;; ++i) {
    WCHAR name[128];
    DWORD count = 128;
    BYTE data[520];
    DWORD size = sizeof data;
    if (RegEnumValueW(key_, i, name, &count, nullptr, nullptr, data, &size) != ERROR_SUCCESS) break;
    ports.emplace_back(name);
  }
  EXPECT_EQ(ports, std::vector<std::u16string>{u"TW1:"});
}

TEST_F(RegistryValues, DeleteValue) {
  ASSERT_EQ(SetDword(key_, u"LastDocNumber", 7), 0);
  EXPECT_EQ(RegDeleteValueW(key_, u"lastdocnumber"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key_, u"LastDocNumber"), ERROR_FILE_NOT_FOUND);
  LONG rc = 0;
  Query(key_, u"LastDocNumber", nullptr, &rc);
  EXPECT_EQ(rc, ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValues, ValueNameLimit) {
  std::u16string longest(16383, u'v');
  EXPECT_EQ(SetDword(key_, longest.c_str(), 1), ERROR_SUCCESS);
  std::u16string tooLong(16384, u'v');
  EXPECT_EQ(SetDword(key_, tooLong.c_str(), 1), ERROR_INVALID_PARAMETER);
  DWORD maxName = 0;
  ASSERT_EQ(RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &maxName, nullptr,
                             nullptr, nullptr),
            0);
  EXPECT_EQ(maxName, 16383u);
}

TEST_F(RegistryValues, GetValueTerminatesStringsAndChecksTypes) {
  ASSERT_EQ(SetString(key_, u"Ready", u"YES", false), 0);
  ASSERT_EQ(SetDword(key_, u"Flags", 0x11), 0);
  const BYTE four[] = {1, 0, 0, 0}, five[] = {1, 2, 3, 4, 5};
  ASSERT_EQ(RegSetValueExW(key_, u"Bin4", 0, REG_BINARY, four, 4), 0);
  ASSERT_EQ(RegSetValueExW(key_, u"Bin5", 0, REG_BINARY, five, 5), 0);
  const char16_t multi[] = u"a\0b";  // 4 units without the final double terminator
  ASSERT_EQ(RegSetValueExW(key_, u"Multi", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(multi), 6), 0);

  // A string stored without terminator is returned with one, and the size
  // query counts it.
  DWORD size = 0, type = 0;
  EXPECT_EQ(RegGetValueW(key_, nullptr, u"Ready", RRF_RT_REG_SZ, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 8u);
  WCHAR text[8];
  size = 6;
  EXPECT_EQ(RegGetValueW(key_, nullptr, u"Ready", RRF_RT_REG_SZ, &type, text, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 8u);
  size = sizeof text;
  EXPECT_EQ(RegGetValueW(key_, nullptr, u"Ready", RRF_RT_REG_SZ, &type, text, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(text), u"YES");
  WCHAR list[8];
  size = sizeof list;
  EXPECT_EQ(RegGetValueW(key_, nullptr, u"Multi", RRF_RT_REG_MULTI_SZ, &type, list, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 10u) << "double terminator added";

  DWORD number = 0;
  size = sizeof number;
  EXPECT_EQ(RegGetValueW(key_, nullptr, u"Flags", RRF_RT_REG_SZ, &type, &number, &size), ERROR_UNSUPPORTED_TYPE);
  size = sizeof number;
  EXPECT_EQ(RegGetValueW(key_, nullptr, u"Flags", RRF_RT_DWORD, &type, &number, &size), ERROR_SUCCESS);
  EXPECT_EQ(number, 0x11u);
  size = sizeof number;
  EXPECT_EQ(RegGetValueW(key_, nullptr, u"Bin4", RRF_RT_DWORD, &type, &number, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  BYTE big[8];
  size = sizeof big;
  EXPECT_EQ(RegGetValueW(key_, nullptr, u"Bin5", RRF_RT_DWORD, &type, big, &size), ERROR_DATATYPE_MISMATCH);
  size = sizeof big;
  EXPECT_EQ(RegGetValueW(key_, nullptr, u"Bin5", RRF_RT_ANY, &type, big, &size), ERROR_SUCCESS);

  // Failure with RRF_ZEROONFAILURE clears the buffer.
  number = 0xFFFFFFFF;
  size = sizeof number;
  EXPECT_EQ(RegGetValueW(key_, nullptr, u"Missing", RRF_RT_ANY | RRF_ZEROONFAILURE, &type, &number, &size),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(number, 0u);
  EXPECT_EQ(RegGetValueW(key_, nullptr, u"Flags", 0, &type, nullptr, &size), ERROR_INVALID_PARAMETER);
  // A subkey path is opened for the read.
  size = sizeof number;
  EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC\\P1", u"Flags", RRF_RT_REG_DWORD,
                         nullptr, &number, &size),
            ERROR_SUCCESS);
}

TEST_F(RegistryValues, GetValueExpandsUnlessAskedNotTo) {
  setenv("TW_REG_TEST_DIR", "C:\\Out", 1);
  std::u16string text = u"%tw_reg_test_dir%\\x %UNKNOWN_TW_VAR%";
  ASSERT_EQ(RegSetValueExW(key_, u"Path", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>((text.size() + 1) * 2)),
            0);
  WCHAR out[128];
  DWORD size = sizeof out, type = 0;
  EXPECT_EQ(RegGetValueW(key_, nullptr, u"Path", RRF_RT_REG_SZ, &type, out, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(std::u16string(out), u"C:\\Out\\x %UNKNOWN_TW_VAR%");
  size = sizeof out;
  EXPECT_EQ(RegGetValueW(key_, nullptr, u"Path", RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, &type, out, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(out), text);
  size = sizeof out;
  EXPECT_EQ(RegGetValueW(key_, nullptr, u"Path", RRF_RT_REG_EXPAND_SZ, &type, out, &size), ERROR_INVALID_PARAMETER);
  unsetenv("TW_REG_TEST_DIR");
}

TEST_F(RegistryValues, AccessRightsOfTheHandleAreEnforced) {
  Key readOnly;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC\\P1", 0, KEY_READ, readOnly.Out()), 0);
  EXPECT_EQ(SetDword(readOnly, u"X", 1), ERROR_ACCESS_DENIED);
  Key writeOnly;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC\\P1", 0, KEY_SET_VALUE,
                          writeOnly.Out()),
            0);
  EXPECT_EQ(SetDword(writeOnly, u"X", 1), ERROR_SUCCESS);
  LONG rc = 0;
  Query(writeOnly, u"X", nullptr, &rc);
  EXPECT_EQ(rc, ERROR_ACCESS_DENIED);
  Key generic;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Tarnwick Software LLC\\P1", 0, GENERIC_READ, generic.Out()),
            0);
  EXPECT_EQ(Query(generic, u"X").size(), 4u);
}

}  // namespace

namespace {

TEST(NameUpcase, FoldsEachUnitLikeWindows) {
  EXPECT_EQ(tw::Upcase(u"Tarnwick Software llc"), u"TARNWICK SOFTWARE LLC");
  EXPECT_EQ(tw::Upcase(u"größe_äöü"), u"GRÖßE_ÄÖÜ") << "ß has no one-unit upper case";
  EXPECT_EQ(tw::Upcase(u"σς ǆ"), u"ΣΣ Ǆ");
  // Surrogate pairs stay as they are, even when the character has an upper case.
  EXPECT_EQ(tw::Upcase(u"\U00010428"), u"\U00010428");
  EXPECT_EQ(tw::Upcase(u"\xD801"), u"\xD801");
}

}  // namespace
