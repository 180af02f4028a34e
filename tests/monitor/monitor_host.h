// Loads TarnwickMon.dll as the spooler does: registers the monitor, hands it
// a MONITORINIT whose registry root and callbacks are real registry handles,
// and keeps the returned table.
#pragma once

#include <string>
#include <vector>

#include <windows.h>

#include "job/job/job_observer.h"
#include "tw_test.h"

namespace twtest {

inline constexpr WCHAR kMonitorName[] = u"Tarnwick Monitor";
inline constexpr WCHAR kMonitorKey[] = u"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Tarnwick Monitor";

namespace reg {
inline LONG WINAPI CreateKey(HANDLE k, LPCWSTR sub, DWORD options, REGSAM sam, PSECURITY_ATTRIBUTES sa, PHANDLE out,
                             PDWORD disposition, HANDLE) {
  return RegCreateKeyExW(static_cast<HKEY>(k), sub, 0, nullptr, options, sam, sa, reinterpret_cast<PHKEY>(out),
                         disposition);
}
inline LONG WINAPI OpenKey(HANDLE k, LPCWSTR sub, REGSAM sam, PHANDLE out, HANDLE) {
  return RegOpenKeyExW(static_cast<HKEY>(k), sub, 0, sam, reinterpret_cast<PHKEY>(out));
}
inline LONG WINAPI CloseKey(HANDLE k, HANDLE) { return RegCloseKey(static_cast<HKEY>(k)); }
inline LONG WINAPI DeleteKey(HANDLE k, LPCWSTR sub, HANDLE) { return RegDeleteKeyW(static_cast<HKEY>(k), sub); }
inline LONG WINAPI EnumKey(HANDLE k, DWORD i, LPWSTR name, PDWORD units, PFILETIME time, HANDLE) {
  return RegEnumKeyExW(static_cast<HKEY>(k), i, name, units, nullptr, nullptr, nullptr, time);
}
inline LONG WINAPI QueryInfoKey(HANDLE k, PDWORD subKeys, PDWORD maxKey, PDWORD values, PDWORD maxValue,
                                PDWORD maxData, PDWORD sd, PFILETIME time, HANDLE) {
  return RegQueryInfoKeyW(static_cast<HKEY>(k), nullptr, nullptr, nullptr, subKeys, maxKey, nullptr, values, maxValue,
                          maxData, sd, time);
}
inline LONG WINAPI SetValue(HANDLE k, LPCWSTR name, DWORD type, const BYTE* data, DWORD size, HANDLE) {
  return RegSetValueExW(static_cast<HKEY>(k), name, 0, type, data, size);
}
inline LONG WINAPI DeleteValue(HANDLE k, LPCWSTR name, HANDLE) { return RegDeleteValueW(static_cast<HKEY>(k), name); }
inline LONG WINAPI EnumValue(HANDLE k, DWORD i, LPWSTR name, PDWORD units, PDWORD type, PBYTE data, PDWORD size,
                             HANDLE) {
  return RegEnumValueW(static_cast<HKEY>(k), i, name, units, nullptr, type, data, size);
}
inline LONG WINAPI QueryValue(HANDLE k, LPCWSTR name, PDWORD type, PBYTE data, PDWORD size, HANDLE) {
  return RegQueryValueExW(static_cast<HKEY>(k), name, nullptr, type, data, size);
}
}  // namespace reg

class MonitorHost {
 public:
  MonitorHost() {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kMonitorKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const WCHAR driver[] = u"TarnwickMon.dll";
    RegSetValueExW(key, u"Driver", 0, REG_SZ, reinterpret_cast<const BYTE*>(driver), sizeof driver);
    root_ = key;
    reg_ = {sizeof(MONITORREG), reg::CreateKey, reg::OpenKey,   reg::CloseKey,    reg::DeleteKey, reg::EnumKey,
            reg::QueryInfoKey,  reg::SetValue,  reg::DeleteValue, reg::EnumValue, reg::QueryValue};
    init_ = {sizeof(MONITORINIT), reinterpret_cast<HANDLE>(0x5151), root_, &reg_, TRUE, nullptr};
    module_ = LoadLibraryW(u"TarnwickMon.dll");
    EXPECT_NE(module_, nullptr) << "TarnwickMon.dll: " << GetLastError();
    if (!module_) return;
    auto initialize =
        reinterpret_cast<PFN_InitializePrintMonitor2>(GetProcAddress(module_, "InitializePrintMonitor2"));
    setHook_ = reinterpret_cast<void(WINAPI*)(TW_JOB_OPERATION_HOOK, void*)>(
        GetProcAddress(module_, "TwSetJobOperationHook"));
    EXPECT_NE(initialize, nullptr);
    if (initialize) table = initialize(&init_, &monitor);
  }
  ~MonitorHost() {
    if (setHook_) setHook_(nullptr, nullptr);
    if (module_) FreeLibrary(module_);
    if (root_) RegCloseKey(static_cast<HKEY>(root_));
  }
  MonitorHost(const MonitorHost&) = delete;
  MonitorHost& operator=(const MonitorHost&) = delete;

  // Records every job operation into `ops`.
  void RecordOperations() {
    if (setHook_) setHook_(&MonitorHost::OnOperation, this);
  }

  // Xcv request on a handle opened for `object`.
  DWORD Xcv(LPCWSTR request, const std::u16string& input, LPCWSTR object = u",XcvMonitor Tarnwick Monitor") {
    HANDLE xcv = nullptr;
    if (!table->pfnXcvOpenPort(monitor, object, 0, &xcv)) return 0xFFFFFFFF;
    DWORD needed = 0;
    DWORD result = table->pfnXcvDataPort(xcv, request, reinterpret_cast<PBYTE>(const_cast<char16_t*>(input.c_str())),
                                         static_cast<DWORD>((input.size() + 1) * 2), nullptr, 0, &needed);
    table->pfnXcvClosePort(xcv);
    return result;
  }
  // Port names as devEnumPorts lists them (level 1).
  std::vector<std::u16string> Ports() {
    DWORD needed = 0, returned = 0;
    table->pfnEnumPorts(monitor, nullptr, 1, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed);
    returned = 0;
    std::vector<std::u16string> names;
    if (!table->pfnEnumPorts(monitor, nullptr, 1, buffer.data(), needed, &needed, &returned)) return names;
    for (DWORD i = 0; i < returned; ++i) names.emplace_back(reinterpret_cast<PORT_INFO_1W*>(buffer.data())[i].pName);
    return names;
  }

  LPMONITOR2 table = nullptr;
  HANDLE monitor = nullptr;
  std::vector<std::u16string> ops;

 private:
  static void WINAPI OnOperation(void* self, const WCHAR* op, DWORD) {
    static_cast<MonitorHost*>(self)->ops.emplace_back(op);
  }
  HANDLE root_ = nullptr;
  MONITORREG reg_{};
  MONITORINIT init_{};
  HMODULE module_ = nullptr;
  void(WINAPI* setHook_)(TW_JOB_OPERATION_HOOK, void*) = nullptr;
};

}  // namespace twtest
