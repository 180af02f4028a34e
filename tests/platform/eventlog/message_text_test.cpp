// Message texts from a module's message table through FormatMessageW, and
// the debug output channel.
#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tw/eventlog_internal.h"
#include "tw_test.h"

namespace {

class ModuleMessageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExW(u"TwTestMod.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr) << "TwTestMod.dll is built beside the test";
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }
  HMODULE module_ = nullptr;
};

TEST_F(ModuleMessageTest, FromModuleFillsInsertsAndEscapes) {
  WCHAR buffer[256];
  DWORD_PTR args[11] = {};
  args[0] = reinterpret_cast<DWORD_PTR>(u"Office Printer");
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module_, 0x64, 0, buffer, 256,
                           reinterpret_cast<va_list*>(args));
  ASSERT_GT(n, 0u) << GetLastError();
  EXPECT_EQ(std::u16string(buffer, n), u"Printing finished successfully\r\nPrinter name:\tOffice Printer\r\n");

  // Two-digit inserts take the eleventh argument.
  for (int i = 0; i < 11; ++i) args[i] = reinterpret_cast<DWORD_PTR>(u"-");
  args[10] = reinterpret_cast<DWORD_PTR>(u"Internal error: 57.");
  n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module_, 0x66, 0, buffer, 256,
                     reinterpret_cast<va_list*>(args));
  ASSERT_GT(n, 0u);
  EXPECT_EQ(std::u16string(buffer, n), u"Error during printing\r\nError:\tInternal error: 57.\r\n");

  // Inserts left as they are, in an allocated buffer.
  LPWSTR allocated = nullptr;
  n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                     module_, 0x64, 0, reinterpret_cast<LPWSTR>(&allocated), 0, nullptr);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(std::u16string(allocated, n), u"Printing finished successfully\r\nPrinter name:\t%1\r\n");
  LocalFree(allocated);
}

TEST_F(ModuleMessageTest, FromModuleErrors) {
  WCHAR buffer[256];
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module_, 0x67, 0, buffer, 256,
                           nullptr),
            0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
  // Inserts without arguments.
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE, module_, 0x64, 0, buffer, 256, nullptr), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module_, 0x64, 0, buffer, 10,
                           nullptr),
            0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  // A module without a message table, then the system table as fallback.
  HMODULE plain = LoadLibraryExW(u"TwPlain.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, plain, 0x64, 0, buffer, 256,
                           nullptr),
            0u);
  EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
  FreeLibrary(plain);
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           module_, ERROR_ACCESS_DENIED, 0, buffer, 256, nullptr);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(std::u16string(buffer, n), u"Access is denied.\r\n");
}

TEST(DebugOutput, SilentUnlessSwitchedOnThenUtf8ToTheChannel) {
  twtest::TempRoot root;
  auto file = root.Dir() / "debug.txt";
  unsetenv("TW_DEBUG_OUTPUT");
  OutputDebugStringW(u"not shown\n");
  EXPECT_FALSE(std::filesystem::exists(file));
  setenv("TW_DEBUG_OUTPUT", file.c_str(), 1);
  OutputDebugStringW(u"Gr\u00fc\u00dfe\n");
  OutputDebugStringA("plain\n");
  OutputDebugStringW(nullptr);
  unsetenv("TW_DEBUG_OUTPUT");
  OutputDebugStringW(u"off again\n");
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(), "Gr\xc3\xbc\xc3\x9f" "e\nplain\n");

  std::u16string captured;
  tw::debugout::SetSink([&](std::u16string_view t) { captured += t; });
  OutputDebugStringW(u"to the sink");
  tw::debugout::SetSink(nullptr);
  EXPECT_EQ(captured, u"to the sink");
}

}  // namespace
