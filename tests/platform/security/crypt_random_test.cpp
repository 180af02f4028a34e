// Random numbers of a verify-context provider.
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>
#include <array>

#include "tw_test.h"

namespace {

TEST(CryptRandom, VerifyContextGivesDifferentBytesAndIsReleasedOnce) {
  HCRYPTPROV prov = 0;
  ASSERT_TRUE(CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT));
  ASSERT_NE(prov, 0u);
  std::array<BYTE, 64> a{}, b{};
  ASSERT_TRUE(CryptGenRandom(prov, a.size(), a.data()));
  ASSERT_TRUE(CryptGenRandom(prov, b.size(), b.data()));
  EXPECT_NE(a, b);
  EXPECT_TRUE(std::any_of(a.begin(), a.end(), [](BYTE v) { return v != 0; }));
  EXPECT_TRUE(CryptReleaseContext(prov, 0));
  EXPECT_FALSE(CryptReleaseContext(prov, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_UID));
  EXPECT_FALSE(CryptGenRandom(prov, a.size(), a.data()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_UID));
}

TEST(CryptRandom, OnlyKeylessContextsOfKnownProviders) {
  HCRYPTPROV prov = 1;
  EXPECT_FALSE(CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_AES, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_FLAGS));
  EXPECT_EQ(prov, 0u);
  EXPECT_FALSE(CryptAcquireContextW(&prov, nullptr, nullptr, 99, CRYPT_VERIFYCONTEXT));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(NTE_BAD_PROV_TYPE));
  EXPECT_FALSE(CryptAcquireContextW(nullptr, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT));
}

}  // namespace
