// The layer's WCHAR overloads of CRT names must leave the standard library's
// wchar_t functions usable, whichever header comes first. This file includes
// windows.h before anything else on purpose.
#include "windows.h"

#include <gtest/gtest.h>

#include <cwctype>
#include <string>

namespace {

TEST(StdCompat, WideStandardFunctionsStillResolve) {
  EXPECT_EQ(std::stol(std::wstring(L"42")), 42);
  EXPECT_EQ(std::stoull(std::wstring(L"18446744073709551615")), 18446744073709551615ull);
  EXPECT_DOUBLE_EQ(std::stod(std::wstring(L"2.5")), 2.5);
  EXPECT_EQ(std::to_wstring(1.5), L"1.500000");
  EXPECT_TRUE(std::iswspace(L' '));
  EXPECT_EQ(std::towupper(L'a'), static_cast<wint_t>(L'A'));
  EXPECT_EQ(wcslen(L"glibc"), 5u);
  EXPECT_EQ(wcslen(u"layer"), 5u);
  wchar_t wide[8];
  EXPECT_EQ(swprintf(wide, 8, L"%d", 7), 1) << "glibc's swprintf with wchar_t";
  WCHAR utf16[8];
  EXPECT_EQ(swprintf(utf16, 8, u"%s", u"ok"), 2) << "the layer's with WCHAR";
}

}  // namespace
