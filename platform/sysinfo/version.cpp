// The Windows version the machine reports (configuration "os_version",
// default 10.0), and the package identity.
#include <cstring>
#include <type_traits>

#include "tw/lasterror.h"
#include "tw/sysinfo.h"
#include "winerror.h"

namespace {

struct Version {
  DWORD major, minor, build, platform;
  WORD spMajor, spMinor, suite;
  BYTE productType;
};

Version current() {
  auto m = tw::config::Get();
  return {m->osMajor, m->osMinor, m->osBuild, VER_PLATFORM_WIN32_NT, 0, 0, VER_SUITE_SINGLEUSERTS,
          VER_NT_WORKSTATION};
}

// The 3-bit condition VerSetConditionMask stored for a VER_* type bit.
BYTE conditionFor(ULONGLONG mask, DWORD typeBit) {
  int index = __builtin_ctz(typeBit);
  return static_cast<BYTE>((mask >> (3 * index)) & 7);
}

bool compare(DWORD actual, DWORD wanted, BYTE condition) {
  switch (condition) {
    case VER_EQUAL: return actual == wanted;
    case VER_GREATER: return actual > wanted;
    case VER_GREATER_EQUAL: return actual >= wanted;
    case VER_LESS: return actual < wanted;
    case VER_LESS_EQUAL: return actual <= wanted;
    default: return false;
  }
}

// Major, minor, service-pack major and minor form one version number: each
// part decides unless it is equal, in which case the next part present
// decides. A part without a condition of its own uses the one before it.
bool versionMatches(const Version& v, const OSVERSIONINFOEXW& want, DWORD typeMask, ULONGLONG mask) {
  const struct {
    DWORD bit, actual, wanted;
  } parts[] = {{VER_MAJORVERSION, v.major, want.dwMajorVersion},
               {VER_MINORVERSION, v.minor, want.dwMinorVersion},
               {VER_SERVICEPACKMAJOR, v.spMajor, want.wServicePackMajor},
               {VER_SERVICEPACKMINOR, v.spMinor, want.wServicePackMinor}};
  BYTE condition = 0;
  for (const auto& part : parts) {
    if (!(typeMask & part.bit)) continue;
    if (BYTE own = conditionFor(mask, part.bit)) condition = own;
    if (part.actual != part.wanted) return compare(part.actual, part.wanted, condition);
  }
  // All parts present are equal.
  return condition == VER_EQUAL || condition == VER_GREATER_EQUAL || condition == VER_LESS_EQUAL;
}

template <class Info>
void fill(Info* info, bool extended) {
  Version v = current();
  info->dwMajorVersion = v.major;
  info->dwMinorVersion = v.minor;
  info->dwBuildNumber = v.build;
  info->dwPlatformId = v.platform;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  if (extended) {
    auto* ex = reinterpret_cast<std::conditional_t<std::is_same_v<Info, OSVERSIONINFOW>, OSVERSIONINFOEXW,
                                                   OSVERSIONINFOEXA>*>(info);
    ex->wServicePackMajor = v.spMajor;
    ex->wServicePackMinor = v.spMinor;
    ex->wSuiteMask = v.suite;
    ex->wProductType = v.productType;
    ex->wReserved = 0;
  }
}

}  // namespace

TWAPI DWORD GetVersion(void) {
  Version v = current();
  return (v.major & 0xFF) | ((v.minor & 0xFF) << 8) | ((v.build & 0x7FFF) << 16);
}

TWAPI BOOL GetVersionExW(LPOSVERSIONINFOW lpVersionInformation) {
  if (!lpVersionInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD size = lpVersionInformation->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  fill(lpVersionInformation, size == sizeof(OSVERSIONINFOEXW));
  return TRUE;
}

TWAPI BOOL GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
  if (!lpVersionInformation) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  DWORD size = lpVersionInformation->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  fill(lpVersionInformation, size == sizeof(OSVERSIONINFOEXA));
  return TRUE;
}

TWAPI ULONGLONG VerSetConditionMask(ULONGLONG ConditionMask, DWORD TypeMask, BYTE Condition) {
  if (!Condition) return ConditionMask;
  // The conditions are or-ed in, as on Windows: set each type once.
  for (DWORD bit = 1; bit <= VER_PRODUCT_TYPE; bit <<= 1)
    if (TypeMask & bit) ConditionMask |= ULONGLONG(Condition & 7) << (3 * __builtin_ctz(bit));
  return ConditionMask;
}

TWAPI BOOL VerifyVersionInfoW(LPOSVERSIONINFOEXW lpVersionInformation, DWORD dwTypeMask,
                              ULONGLONG dwlConditionMask) {
  if (!lpVersionInformation || !dwTypeMask || !dwlConditionMask) {
    SetLastError(lpVersionInformation ? ERROR_BAD_ARGUMENTS : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto& want = *lpVersionInformation;
  Version v = current();
  bool ok = true;
  if (dwTypeMask & (VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR | VER_SERVICEPACKMINOR))
    ok = versionMatches(v, want, dwTypeMask, dwlConditionMask);
  if (ok && (dwTypeMask & VER_BUILDNUMBER))
    ok = compare(v.build, want.dwBuildNumber, conditionFor(dwlConditionMask, VER_BUILDNUMBER));
  if (ok && (dwTypeMask & VER_PLATFORMID))
    ok = compare(v.platform, want.dwPlatformId, conditionFor(dwlConditionMask, VER_PLATFORMID));
  if (ok && (dwTypeMask & VER_PRODUCT_TYPE))
    ok = compare(v.productType, want.wProductType, conditionFor(dwlConditionMask, VER_PRODUCT_TYPE));
  if (ok && (dwTypeMask & VER_SUITENAME)) {
    BYTE condition = conditionFor(dwlConditionMask, VER_SUITENAME);
    WORD wanted = want.wSuiteMask;
    ok = condition == VER_OR ? (v.suite & wanted) != 0 : (v.suite & wanted) == wanted;
  }
  if (!ok) {
    SetLastError(ERROR_OLD_WIN_VERSION);
    return FALSE;
  }
  return TRUE;
}

TWAPI LONG GetCurrentPackageFullName(UINT32* packageFullNameLength, PWSTR packageFullName) {
  if (!packageFullNameLength) return ERROR_INVALID_PARAMETER;
  auto machine = tw::config::Get();
  const std::u16string& name = machine->packageFullName;
  if (name.empty()) return APPMODEL_ERROR_NO_PACKAGE;
  UINT32 needed = static_cast<UINT32>(name.size() + 1);
  if (!packageFullName || *packageFullNameLength < needed) {
    *packageFullNameLength = needed;
    return ERROR_INSUFFICIENT_BUFFER;
  }
  std::memcpy(packageFullName, name.c_str(), needed * sizeof(WCHAR));
  *packageFullNameLength = needed;
  return ERROR_SUCCESS;
}
