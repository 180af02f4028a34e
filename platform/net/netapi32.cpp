// "Netapi32.dll": the workstation information of the local computer or of
// a configured host.
#include <windows.h>
#include <lm.h>

#include <cstring>
#include <string>

#include "tw/casefold.h"
#include "tw/module.h"
#include "tw/root.h"

namespace {

std::u16string_view FirstLabel(std::u16string_view dns) { return dns.substr(0, dns.find(u'.')); }

bool Names(std::u16string_view wanted, const std::u16string& netbios, const std::u16string& dns) {
  return tw::EqualsNoCase(wanted, netbios) || (!dns.empty() && (tw::EqualsNoCase(wanted, dns) || tw::EqualsNoCase(wanted, FirstLabel(dns))));
}

const tw::module::BuiltinExport kExports[] = {
    {"NetWkstaGetInfo", 0, reinterpret_cast<FARPROC>(&NetWkstaGetInfo)},
    {"NetApiBufferFree", 0, reinterpret_cast<FARPROC>(&NetApiBufferFree)},
};

struct RegisterNetapi32 {
  RegisterNetapi32() { tw::module::RegisterBuiltin(u"Netapi32.dll", kExports); }
} g_registerNetapi32;

}  // namespace

TWAPI NET_API_STATUS NetWkstaGetInfo(LMSTR servername, DWORD level, LPBYTE* bufptr) {
  if (!bufptr) return ERROR_INVALID_PARAMETER;
  *bufptr = nullptr;
  if (level != 100) return ERROR_INVALID_LEVEL;
  auto machine = tw::config::Get();
  std::u16string_view wanted = servername ? std::u16string_view(servername) : std::u16string_view();
  if (wanted.starts_with(u"\\\\")) wanted.remove_prefix(2);
  std::u16string computer, group;
  if (wanted.empty() || Names(wanted, machine->computerName, machine->dnsName)) {
    computer = machine->computerName;
    group = machine->workgroup;
  } else {
    for (const auto& host : machine->hosts)
      if (Names(wanted, host.name, host.dnsName)) {
        computer = host.name;
        group = host.domain;
        break;
      }
    if (computer.empty()) return ERROR_BAD_NETPATH;
  }
  // One block: the record, then the two strings.
  size_t bytes = sizeof(WKSTA_INFO_100) + (computer.size() + 1 + group.size() + 1) * sizeof(WCHAR);
  auto* block = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, bytes));
  if (!block) return ERROR_NOT_ENOUGH_MEMORY;
  auto* info = reinterpret_cast<WKSTA_INFO_100*>(block);
  auto* text = reinterpret_cast<WCHAR*>(block + sizeof(WKSTA_INFO_100));
  std::memcpy(text, computer.c_str(), (computer.size() + 1) * sizeof(WCHAR));
  info->wki100_computername = text;
  text += computer.size() + 1;
  std::memcpy(text, group.c_str(), (group.size() + 1) * sizeof(WCHAR));
  info->wki100_langroup = text;
  info->wki100_platform_id = PLATFORM_ID_NT;
  info->wki100_ver_major = machine->osMajor;
  info->wki100_ver_minor = machine->osMinor;
  *bufptr = block;
  return NERR_Success;
}

TWAPI NET_API_STATUS NetApiBufferFree(LPVOID Buffer) {
  if (Buffer && LocalFree(Buffer)) return ERROR_INVALID_PARAMETER;
  return NERR_Success;
}
