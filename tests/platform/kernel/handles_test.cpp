#include <windows.h>

#include "tw/kobject.h"
#include "tw/utf.h"
#include "tw_test.h"

namespace {

struct Dummy : tw::kernel::KernelObject {
  explicit Dummy(bool* alive) : alive(alive) { *alive = true; }
  ~Dummy() override { *alive = false; }
  tw::kernel::ObjectType Type() const override { return tw::kernel::ObjectType::Other; }
  bool* alive;
};

TEST(KernelHandles, ObjectLivesUntilItsLastHandleCloses) {
  twtest::LeakGuard guard;
  bool alive = false;
  HANDLE h = tw::kernel::InsertHandle(std::make_shared<Dummy>(&alive));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(reinterpret_cast<ULONG_PTR>(h) % 4, 0u);
  HANDLE copy = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), h, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS));
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_TRUE(alive);
  EXPECT_NE(tw::kernel::LookupHandleAs<Dummy>(copy), nullptr);
  EXPECT_TRUE(CloseHandle(copy));
  EXPECT_FALSE(alive);
}

TEST(KernelHandles, StaleAndBogusHandlesFail) {
  bool alive = false;
  HANDLE h = tw::kernel::InsertHandle(std::make_shared<Dummy>(&alive));
  ASSERT_TRUE(CloseHandle(h));
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(CloseHandle(reinterpret_cast<HANDLE>(0x12345678)));
  EXPECT_EQ(tw::kernel::LookupHandle(nullptr), nullptr);
}

TEST(Utf, RoundTripsAndReplacesBrokenInput) {
  std::u16string text = u"Grüße \U0001F600 €";
  EXPECT_EQ(tw::FromUtf8(tw::ToUtf8(text)), text);
  EXPECT_EQ(tw::ToUtf8(u"\xD800x"), "\xEF\xBF\xBDx") << "lone surrogate";
  EXPECT_EQ(tw::FromUtf8("a\xC3"), u"a\xFFFD") << "truncated sequence";
  EXPECT_EQ(tw::FromUtf8("\xC0\xAF"), u"\xFFFD\xFFFD") << "overlong form";
  EXPECT_EQ(tw::FromUtf8("\xE2\x82\xAC"), u"€");
}

}  // namespace
