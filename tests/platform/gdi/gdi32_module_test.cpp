// "gdi32.dll" as callers reach it: loaded by name, EnableEUDC looked up at
// run time (the page renderer calls it before playing each page).
#include <windows.h>

#include "tw_test.h"

namespace {

using EnableEudcFn = BOOL(WINAPI*)(BOOL);

TEST(Gdi32Module, EnableEUDCIsFoundByNameAndSucceeds) {
  HMODULE gdi = LoadLibraryW(u"gdi32.dll");
  ASSERT_NE(gdi, nullptr);
  auto enable = reinterpret_cast<EnableEudcFn>(GetProcAddress(gdi, "EnableEUDC"));
  ASSERT_NE(enable, nullptr);
  EXPECT_TRUE(enable(TRUE));
  EXPECT_TRUE(enable(FALSE));
  // Any spelling of the name, with or without a path, is the same module.
  HMODULE again = LoadLibraryW(u"C:\\Windows\\System32\\GDI32.DLL");
  EXPECT_EQ(again, gdi);
  // Only its exports are found: names are case-sensitive, as on Windows.
  SetLastError(0);
  EXPECT_EQ(GetProcAddress(gdi, "enableeudc"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  if (again) {
    EXPECT_TRUE(FreeLibrary(again));
  }
  EXPECT_TRUE(FreeLibrary(gdi));
}

}  // namespace
