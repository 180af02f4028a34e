// FormatMessageW: the system texts as Windows has them, inserts with printf
// formats from argument arrays and va_lists, escapes, line widths, buffer
// rules, and module message tables through the loader's resolver hook.
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "tw/module.h"
#include "tw/nls_internal.h"
#include "tw_test.h"
#include "windows.h"

namespace {

std::u16string System(DWORD id, DWORD flags = 0) {
  WCHAR buf[512];
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | flags, nullptr, id, 0, buf,
                           512, nullptr);
  return n ? std::u16string(buf, n) : u"<error>";
}

std::u16string FromArray(const WCHAR* message, const DWORD_PTR* args, DWORD flags = 0) {
  WCHAR buf[512];
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ARGUMENT_ARRAY | flags, message, 0, 0, buf, 512,
                           reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(args)));
  return n ? std::u16string(buf, n) : u"<error>";
}

std::u16string FromVa(const WCHAR* message, ...) {
  va_list args;
  va_start(args, message);
  WCHAR buf[512];
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_STRING, message, 0, 0, buf, 512, &args);
  va_end(args);
  return n ? std::u16string(buf, n) : u"<error>";
}

TEST(SystemMessages, TextsAsWindowsHasThem) {
  EXPECT_EQ(System(0), u"The operation completed successfully.\r\n");
  EXPECT_EQ(System(2), u"The system cannot find the file specified.\r\n");
  EXPECT_EQ(System(3), u"The system cannot find the path specified.\r\n");
  EXPECT_EQ(System(5), u"Access is denied.\r\n");
  EXPECT_EQ(System(32), u"The process cannot access the file because it is being used by another process.\r\n");
  EXPECT_EQ(System(87), u"The parameter is incorrect.\r\n");
  EXPECT_EQ(System(122), u"The data area passed to a system call is too small.\r\n");
  EXPECT_EQ(System(183), u"Cannot create a file when that file already exists.\r\n");
  EXPECT_EQ(System(1801), u"The printer name is invalid.\r\n");
  EXPECT_EQ(System(0x80070005), u"Access is denied.\r\n") << "a Win32 HRESULT has its code's text";
  EXPECT_EQ(System(5, FORMAT_MESSAGE_MAX_WIDTH_MASK), u"Access is denied. ")
      << "the maximum width turns the line end into a space";
  EXPECT_EQ(System(193), u"%1 is not a valid Win32 application.\r\n");
  // Every code the layer defines has a text.
  for (long id : {ERROR_INVALID_HANDLE, ERROR_NOT_ENOUGH_MEMORY, ERROR_SHARING_VIOLATION, ERROR_BAD_NETPATH,
                   ERROR_FILE_EXISTS, ERROR_INSUFFICIENT_BUFFER, ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND,
                   ERROR_ALREADY_EXISTS, ERROR_PIPE_BUSY, ERROR_NO_DATA, ERROR_MORE_DATA, ERROR_NO_MORE_ITEMS,
                   ERROR_NOT_OWNER, ERROR_INVALID_FLAGS, ERROR_NO_TOKEN, ERROR_KEY_DELETED, ERROR_CHILD_MUST_BE_VOLATILE,
                   ERROR_OLD_WIN_VERSION, ERROR_NO_UNICODE_TRANSLATION, ERROR_INVALID_PRINTER_NAME, ERROR_TIMEOUT,
                   ERROR_MR_MID_NOT_FOUND, ERROR_RESOURCE_LANG_NOT_FOUND, WAIT_TIMEOUT, APPMODEL_ERROR_NO_PACKAGE})
    EXPECT_NE(System(static_cast<DWORD>(id)), u"<error>") << "code " << id;
}

TEST(SystemMessages, ErrorsAndBuffers) {
  WCHAR buf[64];
  SetLastError(0);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x12345, 0, buf, 64, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  SetLastError(0);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), buf, 64,
                           nullptr),
            0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), buf,
                           64, nullptr),
            19u);
  SetLastError(0);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 5, 0, buf, 19, nullptr), 0u)
      << "19 units and the terminator need 20";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  SetLastError(0);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 193, 0, buf, 64, nullptr), 0u)
      << "an insert without arguments";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(SystemMessages, AllocatedBufferIsALocalBlock) {
  twtest::LeakGuard guard;
  LPWSTR text = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, 2, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  ASSERT_EQ(n, 44u);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::u16string(text), u"The system cannot find the file specified.\r\n");
  EXPECT_GE(LocalSize(text), 45 * sizeof(WCHAR));
  EXPECT_EQ(LocalFree(text), nullptr);
}

TEST(MessageInserts, ArgumentArraysWithFormats) {
  const DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(u"Doc.pdf"), 12, 0xBEEF,
                            reinterpret_cast<DWORD_PTR>("narrow"), DWORD_PTR(-7)};
  EXPECT_EQ(FromArray(u"%1 has %2!d! pages%n", args), u"Doc.pdf has 12 pages\r\n");
  EXPECT_EQ(FromArray(u"%3!08X! %3!x! %2!03u! %4!S! %5!d!", args), u"0000BEEF beef 012 narrow -7");
  EXPECT_EQ(FromArray(u"%1!s! / %1", args), u"Doc.pdf / Doc.pdf")
      << "an insert may be used twice";
  const DWORD_PTR stars[] = {6, 42, 3, 2, reinterpret_cast<DWORD_PTR>(u"abcdef")};
  EXPECT_EQ(FromArray(u"[%1!*d!]", stars), u"[    42]") << "* takes the width from the insert itself, the value from the next";
  EXPECT_EQ(FromArray(u"[%3!*.*s!]", stars), u"[ ab]");
}

TEST(MessageInserts, TwoDigitInsertsAsTheEventLogUses) {
  const char16_t* strings[] = {u"P1", u"doc", u"alice", u"12/8/2026", u"2:05:09 PM", u"", u"",
                               u"TARNWICK-PC", u"192.168.10.20", u"host", u"disk full"};
  DWORD_PTR args[11];
  for (int i = 0; i < 11; ++i) args[i] = reinterpret_cast<DWORD_PTR>(strings[i]);
  EXPECT_EQ(FromArray(u"Error during printing%nPrinter name:\t%1%nHost name:\t%10%nError:\t%11\r\n", args),
            u"Error during printing\r\nPrinter name:\tP1\r\nHost name:\thost\r\nError:\tdisk full\r\n");
}

TEST(MessageInserts, VaListArguments) {
  EXPECT_EQ(FromVa(u"%2!d!-%1!s!-%3!I64u!", u"name", 42, ULONGLONG(1) << 40), u"42-name-1099511627776");
  EXPECT_EQ(FromVa(u"%1!c!%2!c!", u'O', u'K'), u"OK");
}

TEST(MessageEscapes, EscapesAndEnd) {
  const DWORD_PTR none[] = {0};
  EXPECT_EQ(FromArray(u"100%% %. %! a%tb%rc%bd% e%0ignored %1", none), u"100% . ! a\tb\rc d e");
  EXPECT_EQ(FromArray(u"line1\r\nline2%n", none), u"line1\r\nline2\r\n") << "width 0 keeps line breaks";
  EXPECT_EQ(FromArray(u"line1\r\nline2%nline3", none, FORMAT_MESSAGE_MAX_WIDTH_MASK), u"line1 line2\r\nline3")
      << "the maximum width keeps only the hard breaks";
  EXPECT_EQ(FromArray(u"one two three four five", none, 9), u"one two\r\nthree\r\nfour five");
  WCHAR buf[64];
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_IGNORE_INSERTS, u"Error %1!d!: %2%n", 0, 0, buf,
                           64, nullptr);
  EXPECT_EQ(std::u16string(buf, n), u"Error %1!d!: %2\r\n") << "inserts kept for later formatting";
  SetLastError(0);
  EXPECT_EQ(FromArray(u"broken %1!d", none), u"<error>");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SetLastError(0);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_STRING, nullptr, 0, 0, buf, 64, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

DWORD TestResolver(HMODULE module, DWORD id, DWORD language, std::u16string& text) {
  if (module != reinterpret_cast<HMODULE>(0x1000)) return ERROR_RESOURCE_TYPE_NOT_FOUND;
  if (language != 0 && language != 0x0409) return ERROR_RESOURCE_LANG_NOT_FOUND;
  if (id != 0x66) return ERROR_MR_MID_NOT_FOUND;
  text = u"Error during printing%nPrinter name:\t%1\r\n";
  return ERROR_SUCCESS;
}

TEST(ModuleMessages, ResolverHookFindsModuleTexts) {
  WCHAR buf[128];
  const HMODULE module = reinterpret_cast<HMODULE>(0x1000);
  SetLastError(0);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module, 0x66, 0, buf, 128,
                           nullptr),
            0u)
      << "the loader knows no module at that address";
  EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));

  tw::nls::SetMessageTableResolver(TestResolver);
  const DWORD_PTR args[] = {reinterpret_cast<DWORD_PTR>(u"P1")};
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, 0x66, 0, buf, 128,
                           reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(args)));
  EXPECT_EQ(std::u16string(buf, n), u"Error during printing\r\nPrinter name:\tP1\r\n");
  SetLastError(0);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE, module, 0x67, 0, buf, 128, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  SetLastError(0);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE, module, 0x66, 0x0407, buf, 128, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_LANG_NOT_FOUND));
  // Module first, then the system table.
  n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, module,
                     5, 0, buf, 128, nullptr);
  EXPECT_EQ(std::u16string(buf, n), u"Access is denied.\r\n");
  tw::nls::SetMessageTableResolver(&tw::module::FindMessage);  // the loader's, as the library sets it
}

}  // namespace
