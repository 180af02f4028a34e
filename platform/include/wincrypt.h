// Cryptographic random numbers: the subset of the CryptoAPI the monitor
// uses (a verify-context provider and CryptGenRandom over the kernel's
// random source).
#pragma once

#include "tw/wintypes.h"

#define PROV_RSA_FULL 1
#define PROV_RSA_AES 24
#define CRYPT_VERIFYCONTEXT 0xF0000000u

#ifndef NTE_BAD_FLAGS
#define NTE_BAD_FLAGS ((HRESULT)0x80090009L)
#define NTE_BAD_UID ((HRESULT)0x80090001L)
#define NTE_BAD_PROV_TYPE ((HRESULT)0x80090014L)
#endif

// Only CRYPT_VERIFYCONTEXT contexts of PROV_RSA_FULL and PROV_RSA_AES
// (keyless, what random numbers need); anything else fails with
// NTE_BAD_FLAGS or NTE_BAD_PROV_TYPE.
TWAPI BOOL CryptAcquireContextW(HCRYPTPROV* phProv, LPCWSTR szContainer, LPCWSTR szProvider, DWORD dwProvType,
                                DWORD dwFlags);
TWAPI BOOL CryptReleaseContext(HCRYPTPROV hProv, DWORD dwFlags);
// dwLen random bytes into pbBuffer; an unknown context fails with NTE_BAD_UID.
TWAPI BOOL CryptGenRandom(HCRYPTPROV hProv, DWORD dwLen, BYTE* pbBuffer);
