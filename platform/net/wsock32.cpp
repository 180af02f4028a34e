// "wsock32.dll": start-up and host names answered from the machine
// configuration. The local host is the configured computer (its NetBIOS
// name, DNS name or DNS host label); other computers are the configured
// hosts; "localhost" is 127.0.0.1.
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <winsock.h>

#include "tw/lasterror.h"
#include "tw/module.h"
#include "tw/root.h"
#include "tw/utf.h"

namespace tw::winsock {
namespace {

std::atomic<int> g_startups{0};

// A host the functions know: its official (DNS) name, the names it answers
// to, and its address in network order.
struct KnownHost {
  std::string officialName;
  std::vector<std::string> names;
  std::array<BYTE, 4> address{};
};

bool EqualsAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string FirstLabel(const std::string& dnsName) { return dnsName.substr(0, dnsName.find('.')); }

std::optional<std::array<BYTE, 4>> ParseAddress(const char* text) {
  ULONG value = inet_addr(text);
  if (value == INADDR_NONE) return std::nullopt;
  std::array<BYTE, 4> bytes;
  std::memcpy(bytes.data(), &value, 4);
  return bytes;
}

std::vector<KnownHost> KnownHosts() {
  auto machine = tw::config::Get();
  std::vector<KnownHost> hosts;
  auto add = [&](const std::u16string& name, const std::u16string& dnsName, const std::string& address) {
    auto bytes = ParseAddress(address.c_str());
    if (!bytes) return;
    KnownHost host;
    std::string dns = ToUtf8(dnsName);
    std::string netbios = ToUtf8(name);
    host.officialName = dns.empty() ? netbios : dns;
    for (const std::string& n : {netbios, dns, FirstLabel(dns)})
      if (!n.empty()) host.names.push_back(n);
    host.address = *bytes;
    hosts.push_back(std::move(host));
  };
  add(machine->computerName, machine->dnsName, machine->address);
  for (const auto& h : machine->hosts) add(h.name, h.dnsName, h.address);
  return hosts;
}

// The calling thread's host entry, as Windows keeps one per thread.
struct HostEntry {
  std::string name;
  char* aliases[1] = {nullptr};
  std::array<BYTE, 4> address{};
  char* addresses[2] = {nullptr, nullptr};
  hostent entry{};

  hostent* Fill(std::string officialName, const std::array<BYTE, 4>& bytes) {
    name = std::move(officialName);
    address = bytes;
    addresses[0] = reinterpret_cast<char*>(address.data());
    entry.h_name = name.data();
    entry.h_aliases = aliases;
    entry.h_addrtype = AF_INET;
    entry.h_length = 4;
    entry.h_addr_list = addresses;
    return &entry;
  }
};

thread_local HostEntry t_host;
thread_local char t_ntoa[16];

bool Started() {
  if (g_startups.load() > 0) return true;
  SetLastError(WSANOTINITIALISED);
  return false;
}

// One part of a dotted address: decimal, 0x hexadecimal or 0 octal.
bool ParsePart(std::string_view text, unsigned long long& value) {
  if (text.empty()) return false;
  unsigned base = 10;
  if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
    if (text.empty()) return false;
  } else if (text.size() > 1 && text[0] == '0') {
    base = 8;
    text.remove_prefix(1);
  }
  value = 0;
  for (char c : text) {
    unsigned digit;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    else return false;
    if (digit >= base) return false;
    value = value * base + digit;
    if (value > 0xffffffffull) return false;
  }
  return true;
}

const tw::module::BuiltinExport kExports[] = {
    {"WSAStartup", 115, reinterpret_cast<FARPROC>(&WSAStartup)},
    {"WSACleanup", 116, reinterpret_cast<FARPROC>(&WSACleanup)},
    {"WSAGetLastError", 111, reinterpret_cast<FARPROC>(&WSAGetLastError)},
    {"gethostname", 57, reinterpret_cast<FARPROC>(&gethostname)},
    {"gethostbyname", 52, reinterpret_cast<FARPROC>(&gethostbyname)},
    {"gethostbyaddr", 51, reinterpret_cast<FARPROC>(&gethostbyaddr)},
    {"inet_ntoa", 11, reinterpret_cast<FARPROC>(&inet_ntoa)},
    {"inet_addr", 10, reinterpret_cast<FARPROC>(&inet_addr)},
};

struct RegisterWsock32 {
  RegisterWsock32() { tw::module::RegisterBuiltin(u"wsock32.dll", kExports); }
} g_registerWsock32;

}  // namespace

int WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) {
  BYTE major = static_cast<BYTE>(wVersionRequested & 0xff);
  BYTE minor = static_cast<BYTE>(wVersionRequested >> 8);
  if (!lpWSAData) return WSAEFAULT;
  if (major == 0) return WSAVERNOTSUPPORTED;
  WORD version = wVersionRequested;
  if (major > 2 || (major == 2 && minor > 2)) version = 0x0202;
  std::memset(lpWSAData, 0, sizeof(WSADATA));
  lpWSAData->wVersion = version;
  lpWSAData->wHighVersion = 0x0202;
  if (major == 1) {
    lpWSAData->iMaxSockets = 32767;
    lpWSAData->iMaxUdpDg = 65467;
  }
  std::strcpy(lpWSAData->szDescription, "WinSock 2.0");
  std::strcpy(lpWSAData->szSystemStatus, "Running");
  ++g_startups;
  return 0;
}

int WSACleanup() {
  int current = g_startups.load();
  while (current > 0 && !g_startups.compare_exchange_weak(current, current - 1)) {
  }
  if (current <= 0) {
    SetLastError(WSANOTINITIALISED);
    return SOCKET_ERROR;
  }
  return 0;
}

int WSAGetLastError() { return static_cast<int>(GetLastError()); }

int gethostname(char* name, int namelen) {
  if (!Started()) return SOCKET_ERROR;
  auto machine = tw::config::Get();
  std::string dns = ToUtf8(machine->dnsName);
  std::string host = dns.empty() ? ToUtf8(machine->computerName) : FirstLabel(dns);
  if (!name || namelen < 0 || static_cast<size_t>(namelen) < host.size() + 1) {
    SetLastError(WSAEFAULT);
    return SOCKET_ERROR;
  }
  std::memcpy(name, host.c_str(), host.size() + 1);
  return 0;
}

hostent* gethostbyname(const char* name) {
  if (!Started()) return nullptr;
  std::string wanted = name ? name : "";
  auto hosts = KnownHosts();
  // No name: the local host, as gethostname names it.
  if (wanted.empty()) {
    if (hosts.empty()) {
      SetLastError(WSAHOST_NOT_FOUND);
      return nullptr;
    }
    return t_host.Fill(hosts.front().officialName, hosts.front().address);
  }
  // A dotted address stands for itself.
  if (wanted.find_first_not_of("0123456789.") == std::string::npos)
    if (auto bytes = ParseAddress(wanted.c_str())) return t_host.Fill(wanted, *bytes);
  if (EqualsAscii(wanted, "localhost")) return t_host.Fill("localhost", {127, 0, 0, 1});
  for (const KnownHost& host : hosts)
    for (const std::string& known : host.names)
      if (EqualsAscii(wanted, known)) return t_host.Fill(host.officialName, host.address);
  SetLastError(WSAHOST_NOT_FOUND);
  return nullptr;
}

hostent* gethostbyaddr(const char* addr, int len, int type) {
  if (!Started()) return nullptr;
  if (type != AF_INET) {
    SetLastError(WSAEAFNOSUPPORT);
    return nullptr;
  }
  if (!addr || len < 4) {
    SetLastError(WSAEFAULT);
    return nullptr;
  }
  std::array<BYTE, 4> wanted;
  std::memcpy(wanted.data(), addr, 4);
  auto hosts = KnownHosts();
  if (wanted == std::array<BYTE, 4>{127, 0, 0, 1} && !hosts.empty())
    return t_host.Fill(hosts.front().officialName, wanted);
  for (const KnownHost& host : hosts)
    if (host.address == wanted) return t_host.Fill(host.officialName, wanted);
  SetLastError(WSAHOST_NOT_FOUND);
  return nullptr;
}

char* inet_ntoa(in_addr in) {
  std::snprintf(t_ntoa, sizeof t_ntoa, "%u.%u.%u.%u", in.S_un.S_un_b.s_b1, in.S_un.S_un_b.s_b2,
                in.S_un.S_un_b.s_b3, in.S_un.S_un_b.s_b4);
  return t_ntoa;
}

ULONG inet_addr(const char* cp) {
  if (!cp) return INADDR_NONE;
  std::string_view text(cp);
  unsigned long long parts[4];
  size_t count = 0;
  while (true) {
    size_t dot = text.find('.');
    if (count == 4 || !ParsePart(text.substr(0, dot), parts[count])) return INADDR_NONE;
    ++count;
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
  }
  // The last part fills the bytes the earlier ones leave (a, a.b, a.b.c, a.b.c.d).
  unsigned long long value = 0;
  for (size_t i = 0; i + 1 < count; ++i) {
    if (parts[i] > 0xff) return INADDR_NONE;
    value |= parts[i] << (8 * (3 - i));
  }
  unsigned long long lastMax = 0xffffffffull >> (8 * (count - 1));
  if (parts[count - 1] > lastMax) return INADDR_NONE;
  value |= parts[count - 1];
  BYTE bytes[4] = {static_cast<BYTE>(value >> 24), static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 8),
                   static_cast<BYTE>(value)};
  ULONG result;
  std::memcpy(&result, bytes, 4);
  return result;
}

}  // namespace tw::winsock
