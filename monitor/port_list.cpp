#include "monitor/port_list.h"

#include <cstring>
#include <memory>
#include <new>

#include <winspool.h>
#include <winuser.h>

#include "core/log/tw_log.h"

namespace {

using tw::monitor::Globals;

constexpr WCHAR kPortListKey[] = u"PortList";
constexpr DWORD kValueNameUnits = 128;
constexpr DWORD kValueDataBytes = 520;
// The data of a port's value: one space, no terminator.
constexpr BYTE kPortValueData[] = {0x20, 0x00};

bool SameNameIgnoringAsciiCase(LPCWSTR a, LPCWSTR b) {
  for (;; ++a, ++b) {
    WCHAR x = *a, y = *b;
    if (x >= u'a' && x <= u'z') x = static_cast<WCHAR>(x - 32);
    if (y >= u'a' && y <= u'z') y = static_cast<WCHAR>(y - 32);
    if (x != y) return false;
    if (!x) return true;
  }
}

// A key opened through the spooler's registry callbacks, closed with them.
class MonitorKey {
 public:
  ~MonitorKey() {
    PMONITORINIT init = Globals().pMonitorInit;
    if (key_ && init) init->pMonitorReg->fpCloseKey(key_, init->hSpooler);
  }
  PHANDLE Receive() { return &key_; }
  HANDLE Get() const { return key_; }

 private:
  HANDLE key_ = nullptr;
};

LONG CreatePortListKey(MonitorKey& key) {
  PMONITORINIT init = Globals().pMonitorInit;
  if (!init || !init->pMonitorReg) return ERROR_INVALID_HANDLE;
  DWORD disposition = 0;
  return init->pMonitorReg->fpCreateKey(init->hckRegistryRoot, kPortListKey, 0, KEY_ALL_ACCESS, nullptr,
                                        key.Receive(), &disposition, init->hSpooler);
}

LONG SetPortValue(HKEY key, LPCWSTR name) {
  return RegSetValueExW(key, name, 0, REG_SZ, kPortValueData, sizeof kPortValueData);
}

// Owners of the security objects of the forced-rights path.
struct SidDeleter {
  void operator()(void* sid) const { FreeSid(sid); }
};
struct LocalDeleter {
  void operator()(void* block) const { LocalFree(block); }
};
using SidPtr = std::unique_ptr<void, SidDeleter>;
using LocalPtr = std::unique_ptr<void, LocalDeleter>;

}  // namespace

CPortList::CPortList() { InitializeCriticalSection(&m_csPortList); }

CPortList::~CPortList() {
  Clear();
  DeleteCriticalSection(&m_csPortList);
}

void CPortList::Clear() {
  while (m_pFirstPort) {
    std::unique_ptr<CTWPortInfo> port(m_pFirstPort);
    m_pFirstPort = port->m_pNext;
  }
  m_wPortCount = 0;
}

CPortList& PortList() {
  static CPortList list;
  return list;
}

CTWPortInfo* CPortList::TW_GetPortInfo(LPCWSTR name) {
  if (!name) return nullptr;
  for (CTWPortInfo* port = m_pFirstPort; port; port = port->m_pNext)
    if (port->m_pszPortName && SameNameIgnoringAsciiCase(port->m_pszPortName.get(), name)) return port;
  return nullptr;
}

BOOL CPortList::AddTWPortInfo(CTWPortInfo* port) {
  port->m_pNext = m_pFirstPort;
  m_pFirstPort = port;
  ++m_wPortCount;
  return TRUE;
}

BOOL CPortList::CreatePortListFromRegistry() {
  MonitorKey key;
  LONG status = CreatePortListKey(key);
  if (status != ERROR_SUCCESS) {
    LogInstall(u"! Error: Failed to create key. Error code: %d", status);
    return FALSE;
  }
  HKEY hkey = static_cast<HKEY>(key.Get());
  for (DWORD index = 0;; ++index) {
    WCHAR name[kValueNameUnits];
    BYTE data[kValueDataBytes + sizeof(WCHAR)] = {};
    DWORD nameUnits = kValueNameUnits, dataBytes = kValueDataBytes, type = 0;
    if (RegEnumValueW(hkey, index, name, &nameUnits, nullptr, &type, data, &dataBytes) != ERROR_SUCCESS) break;
    if (TW_GetPortInfo(name)) continue;
    std::unique_ptr<CTWPortInfo> port(new (std::nothrow) CTWPortInfo);
    if (!port) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      LogInstall(u"! Error: Could not create CTWPortInfo object");
      return FALSE;
    }
    const WCHAR* monitorName = Globals().szMonitorName;
    if (monitorName[0]) {
      wcsncpy_s(port->m_szMonitorName, monitorName, _TRUNCATE);
    } else {
      LoadStringW(Globals().hModule, tw::monitor::IDS_MONITOR_NAME_PDF, port->m_szMonitorName,
                  tw::monitor::kMonitorNameUnits);
    }
    // The data may lack a terminator: the buffer has two zero bytes to spare.
    WCHAR path[kValueDataBytes / 2 + 1] = {};
    std::memcpy(path, data, dataBytes);
    if (!port->InitializePort(name, path)) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      LogInstall(u"! Error: InitializePort failed. Port name: %s, Path: %s", name, path);
      return FALSE;
    }
    AddTWPortInfo(port.release());
  }
  return TRUE;
}

BOOL CPortList::AddPortToRegistry(LPCWSTR name) {
  if (!name) return FALSE;
  MonitorKey key;
  LONG status = CreatePortListKey(key);
  if (status == ERROR_SUCCESS) {
    status = SetPortValue(static_cast<HKEY>(key.Get()), name);
    if (status != ERROR_SUCCESS) {
      LogInstall(u"! Error: RegSetValueEx failed. Error code: %d", status);
      return FALSE;
    }
    return TRUE;
  }
  LogInstall(u"! Error: Could not create registry key. Error code: %d", status);
  LogInstall(u"AddPortToRegistry: Trying to force write rights");
  return ForceRightsAndCreate(name);
}

BOOL CPortList::ForceRightsAndCreate(LPCWSTR name) {
  auto fail = [](const WCHAR* format, DWORD code, DWORD extra = 0) {
    LogInstall(format, code, extra);
    LogInstall(u"AddPortToRegistry failed (return FALSE)");
    return FALSE;
  };
  PMONITORINIT init = Globals().pMonitorInit;
  if (!init) return fail(u"! Error: RegSetKeySecurity failed! Error code: %d", ERROR_INVALID_HANDLE);
  HKEY root = static_cast<HKEY>(init->hckRegistryRoot);

  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID raw = nullptr;
  if (!AllocateAndInitializeSid(&world, 1, 0, 0, 0, 0, 0, 0, 0, 0, &raw))
    return fail(u"! Error: Failed to initialize SID for the Everyone group! Error code: %d", GetLastError());
  SidPtr everyone(raw);
  if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &raw))
    return fail(u"! Error: Failed to initialize SID for the BUILTIN\\Administrators group! Error code: %d",
                GetLastError());
  SidPtr admins(raw);
  if (!AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &raw))
    return fail(u"! Error: Failed to initialize SID for the local SYSTEM account! Error code: %d", GetLastError());
  SidPtr system(raw);

  EXPLICIT_ACCESS_W access[3] = {};
  PSID sids[3] = {everyone.get(), admins.get(), system.get()};
  TRUSTEE_TYPE types[3] = {TRUSTEE_IS_WELL_KNOWN_GROUP, TRUSTEE_IS_GROUP, TRUSTEE_IS_USER};
  for (int i = 0; i < 3; ++i) {
    access[i].grfAccessPermissions = KEY_ALL_ACCESS;
    access[i].grfAccessMode = SET_ACCESS;
    access[i].grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access[i].Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access[i].Trustee.TrusteeType = types[i];
    access[i].Trustee.ptstrName = static_cast<LPWSTR>(sids[i]);
  }
  PACL rawAcl = nullptr;
  DWORD error = SetEntriesInAclW(3, access, nullptr, &rawAcl);
  if (error != ERROR_SUCCESS) return fail(u"! Error: Failed to create ACL! Error code: %d", error);
  LocalPtr acl(rawAcl);
  LocalPtr sd(LocalAlloc(LPTR, SECURITY_DESCRIPTOR_MIN_LENGTH));
  if (!sd)
    return fail(u"! Error: LocalAlloc failed! Error code: %d, Bytes: %d", GetLastError(),
                SECURITY_DESCRIPTOR_MIN_LENGTH);
  if (!InitializeSecurityDescriptor(sd.get(), SECURITY_DESCRIPTOR_REVISION))
    return fail(u"! Error: Failed to initialize Security Descriptor! Error code: %d", GetLastError());
  if (!SetSecurityDescriptorDacl(sd.get(), TRUE, rawAcl, FALSE))
    return fail(u"! Error: Failed to add ACL to the Security Descriptor! Error code: %d", GetLastError());
  LONG status = RegSetKeySecurity(root, DACL_SECURITY_INFORMATION, sd.get());
  if (status != ERROR_SUCCESS) return fail(u"! Error: RegSetKeySecurity failed! Error code: %d", status);
  SECURITY_ATTRIBUTES sa = {sizeof sa, sd.get(), FALSE};
  HKEY created = nullptr;
  WCHAR emptyClass[1] = {0};
  status = RegCreateKeyExW(root, kPortListKey, 0, emptyClass, 0, KEY_READ | KEY_WRITE | WRITE_DAC, &sa, &created,
                           nullptr);
  if (status != ERROR_SUCCESS) return fail(u"! Error: RegCreateKeyEx failed! (2) Error code: %d", status);
  status = RegSetKeySecurity(created, DACL_SECURITY_INFORMATION, sd.get());
  if (status != ERROR_SUCCESS) {
    RegCloseKey(created);
    return fail(u"! Error: RegSetKeySecurity failed! (2) Error code: %d", status);
  }
  status = SetPortValue(created, name);
  RegCloseKey(created);
  if (status != ERROR_SUCCESS) {
    LogInstall(u"! Error: RegSetValueEx failed. Error code: %d", status);
    return FALSE;
  }
  return TRUE;
}

CTWPortInfo* CPortList::FindExact(LPCWSTR name) {
  if (!name) return nullptr;
  for (CTWPortInfo* port = m_pFirstPort; port; port = port->m_pNext)
    if (port->m_pszPortName && wcscmp(port->m_pszPortName.get(), name) == 0) return port;
  return nullptr;
}

BOOL CPortList::DeletePortFromRegistry(LPCWSTR name) {
  CTWPortInfo** link = &m_pFirstPort;
  for (CTWPortInfo* port = m_pFirstPort; port; link = &port->m_pNext, port = port->m_pNext) {
    if (port->m_pszPortName && wcscmp(port->m_pszPortName.get(), name) == 0) {
      *link = port->m_pNext;
      std::unique_ptr<CTWPortInfo> gone(port);
      --m_wPortCount;
      return TRUE;
    }
  }
  return FALSE;
}

BOOL CPortList::DeletePort(LPCWSTR name, const CTWPortInfo* requester) {
  Lock();
  BOOL result = FALSE;
  DWORD error = ERROR_SUCCESS;
  if (name) {
    // Handles, a document or other Xcv handles still point at a port in use:
    // freeing it would leave them dangling.
    const CTWPortInfo* port = FindExact(name);
    const bool busy = port && port->InUse(port == requester ? 1 : 0);
    MonitorKey key;
    if (busy) {
      error = ERROR_BUSY;
    } else if (CreatePortListKey(key) == ERROR_SUCCESS) {
      RegDeleteValueW(static_cast<HKEY>(key.Get()), name);
      result = DeletePortFromRegistry(name);
    }
  }
  Unlock();
  if (error != ERROR_SUCCESS) {
    LogInstall(u"! Error: Cannot delete port %s: it is in use", name);
    SetLastError(error);
  }
  return result;
}

BOOL CPortList::ClosePort(CTWPortInfo* port) {
  if (!port) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Lock();
  BOOL result = port->Close();
  Unlock();
  return result;
}

BOOL CPortList::EnumPorts(LPCWSTR serverName, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                          LPDWORD returned) {
  if (!m_pFirstPort) CreatePortListFromRegistry();
  if (serverName) {
    *needed = 0;
    *returned = 0;
    return TRUE;
  }
  auto units = [](LPCWSTR s) -> DWORD { return static_cast<DWORD>((s ? wcslen(s) : 0) + 1); };
  DWORD total = 0;
  for (CTWPortInfo* p = m_pFirstPort; p; p = p->m_pNext) {
    if (level == 1) {
      total += sizeof(PORT_INFO_1W) + 2 * units(p->m_pszPortName.get());
    } else if (level == 2) {
      total += sizeof(PORT_INFO_2W) +
               2 * (units(p->m_pszPortName.get()) + units(p->m_szMonitorName) + units(p->m_szDescription));
    } else {
      break;
    }
  }
  if (level != 1 && level != 2) {
    *needed = 0;
    *returned = 0;
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (size < total || (total && !buffer)) {
    *needed = total;
    *returned = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  // Records from the start, strings from the end growing downwards.
  LPBYTE record = buffer;
  LPBYTE end = buffer + size;
  auto place = [&end](LPCWSTR s) {
    DWORD bytes = 2 * static_cast<DWORD>((s ? wcslen(s) : 0) + 1);
    end -= bytes;
    if (s) std::memcpy(end, s, bytes);
    else std::memset(end, 0, bytes);
    return reinterpret_cast<LPWSTR>(end);
  };
  for (CTWPortInfo* p = m_pFirstPort; p; p = p->m_pNext) {
    if (level == 1) {
      PORT_INFO_1W info{};
      info.pName = place(p->m_pszPortName.get());
      std::memcpy(record, &info, sizeof info);
      record += sizeof info;
    } else {
      PORT_INFO_2W info{};
      info.pDescription = place(p->m_szDescription);
      info.pMonitorName = place(p->m_szMonitorName);
      info.pPortName = place(p->m_pszPortName.get());
      info.fPortType = 1;  // PORT_TYPE_WRITE
      info.Reserved = 0;
      std::memcpy(record, &info, sizeof info);
      record += sizeof info;
    }
    ++*returned;
  }
  *needed = total;
  return TRUE;
}
