#include "job/settings/job_environment.h"

#include <array>
#include <cstring>
#include <winsock.h>
#include <lm.h>

#include "tw/casefold.h"
#include "tw/token.h"
#include "tw/utf.h"
#include "windows.h"

namespace tw::settings {

namespace {

constexpr size_t kMaxChars = 259;  // 260 with the terminator
constexpr DWORD kExpandChars = 520;

std::u16string Limit(std::u16string text) {
  if (text.size() > kMaxChars) text.resize(kMaxChars);
  return text;
}

// A loaded library, freed on every path.
class Library {
 public:
  explicit Library(const char16_t* name) : m_module(LoadLibraryW(name)) {}
  ~Library() {
    if (m_module) FreeLibrary(m_module);
  }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  template <typename Fn>
  Fn Get(const char* name) const {
    return m_module ? reinterpret_cast<Fn>(GetProcAddress(m_module, name)) : nullptr;
  }

 private:
  HMODULE m_module;
};

class Handle {
 public:
  Handle() = default;
  ~Handle() {
    if (m_handle) CloseHandle(m_handle);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE* Out() { return &m_handle; }
  HANDLE Get() const { return m_handle; }

 private:
  HANDLE m_handle = nullptr;
};

using ExpandForUserFn = BOOL (*)(HANDLE, LPCWSTR, LPWSTR, DWORD);

// "%NAME%" expanded for a token (null: the system's variables only).
std::optional<std::u16string> ExpandForUser(HANDLE token, std::u16string_view name) {
  Library userenv(u"Userenv.dll");
  auto expand = userenv.Get<ExpandForUserFn>("ExpandEnvironmentStringsForUserW");
  if (!expand) return std::nullopt;
  std::u16string source = u"%" + std::u16string(name) + u"%";
  std::array<WCHAR, kExpandChars> out{};
  if (!expand(token, source.c_str(), out.data(), kExpandChars)) return std::nullopt;
  return std::u16string(out.data());
}

// The host-name functions of "wsock32.dll", started for version 1.1 and
// cleaned up when done.
class Winsock {
 public:
  Winsock() : m_lib(u"wsock32.dll") {
    auto startup = m_lib.Get<LPFN_WSASTARTUP>("WSAStartup");
    WSADATA data;
    m_started = startup && startup(0x0101, &data) == 0;
  }
  ~Winsock() {
    if (!m_started) return;
    if (auto cleanup = m_lib.Get<LPFN_WSACLEANUP>("WSACleanup")) cleanup();
  }
  Winsock(const Winsock&) = delete;
  Winsock& operator=(const Winsock&) = delete;

  // The dotted address of a name; the local host for an empty name.
  std::u16string AddressOf(const std::u16string& name) const {
    if (!m_started) return {};
    auto byName = m_lib.Get<LPFN_GETHOSTBYNAME>("gethostbyname");
    auto ntoa = m_lib.Get<LPFN_INET_NTOA>("inet_ntoa");
    if (!byName || !ntoa) return {};
    std::string host = name.empty() ? LocalHostName() : ToUtf8(name);
    if (host.empty()) return {};
    hostent* entry = byName(host.c_str());
    if (!entry || !entry->h_addr_list || !entry->h_addr_list[0] || entry->h_length != 4) return {};
    in_addr address;
    std::memcpy(&address, entry->h_addr_list[0], 4);
    const char* text = ntoa(address);
    return text ? FromUtf8(text) : std::u16string();
  }
  // The DNS name of a dotted address; of the local host for an empty one.
  std::u16string HostNameOf(const std::u16string& address) const {
    if (!m_started) return {};
    if (address.empty()) {
      auto byName = m_lib.Get<LPFN_GETHOSTBYNAME>("gethostbyname");
      std::string local = LocalHostName();
      hostent* entry = byName && !local.empty() ? byName(local.c_str()) : nullptr;
      return entry && entry->h_name ? FromUtf8(entry->h_name) : FromUtf8(local);
    }
    auto parse = m_lib.Get<LPFN_INET_ADDR>("inet_addr");
    auto byAddr = m_lib.Get<LPFN_GETHOSTBYADDR>("gethostbyaddr");
    if (!parse || !byAddr) return {};
    ULONG value = parse(ToUtf8(address).c_str());
    if (value == INADDR_NONE) return {};
    hostent* entry = byAddr(reinterpret_cast<const char*>(&value), 4, AF_INET);
    return entry && entry->h_name ? FromUtf8(entry->h_name) : std::u16string();
  }

 private:
  std::string LocalHostName() const {
    auto hostName = m_lib.Get<LPFN_GETHOSTNAME>("gethostname");
    char name[256] = {};
    if (!hostName || hostName(name, sizeof name) != 0) return {};
    return name;
  }

  Library m_lib;
  bool m_started = false;
};

// The workgroup or domain of a computer ("Netapi32.dll", level 100).
std::u16string WorkgroupOf(const std::u16string& computer) {
  Library netapi(u"Netapi32.dll");
  auto getInfo = netapi.Get<LPFN_NETWKSTAGETINFO>("NetWkstaGetInfo");
  auto freeBuffer = netapi.Get<LPFN_NETAPIBUFFERFREE>("NetApiBufferFree");
  if (!getInfo || !freeBuffer) return {};
  std::u16string server = computer;
  LPBYTE buffer = nullptr;
  if (getInfo(server.data(), 100, &buffer) != NERR_Success || !buffer) return {};
  std::u16string group;
  auto* info = reinterpret_cast<WKSTA_INFO_100*>(buffer);
  if (info->wki100_langroup) group = info->wki100_langroup;
  freeBuffer(buffer);
  return group;
}

std::u16string LocalVariable(const SettingsScope& scope, HANDLE token, std::u16string_view name) {
  auto expanded = ExpandForUser(token, name);
  std::u16string unexpanded = u"%" + std::u16string(name) + u"%";
  if (expanded && !tw::EqualsNoCase(*expanded, unexpanded)) return Limit(*expanded);
  return Limit(ReadEnvVar(scope, name).value_or(u""));
}

// A variable of a path: the job's four values, "EnvVars", else the user's environment.
std::optional<std::u16string> ResolveVariable(std::u16string_view name, const JobEnvironment& env,
                                              const SettingsScope& scope) {
  if (tw::EqualsNoCase(name, u"USERNAME")) return env.userName;
  if (tw::EqualsNoCase(name, u"USERDOMAIN")) return env.domain;
  if (tw::EqualsNoCase(name, u"COMPUTERNAME")) return env.computerName;
  if (tw::EqualsNoCase(name, u"IPADDRESS")) return env.ipAddress;
  if (auto value = ReadEnvVar(scope, name)) return value;
  Handle token;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY | TOKEN_IMPERSONATE, TRUE, token.Out())) return std::nullopt;
  return ExpandForUser(token.Get(), name);
}

// One pass: every variable between `open` and `close` replaced. A variable
// without its closing mark takes the rest of the text as its name.
bool ExpandPass(std::u16string& text, std::u16string_view open, std::u16string_view close, const JobEnvironment& env,
                const SettingsScope& scope) {
  bool ok = true;
  std::u16string out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t start = text.find(open, pos);
    if (start == std::u16string::npos) {
      out.append(text, pos);
      break;
    }
    out.append(text, pos, start - pos);
    size_t nameStart = start + open.size();
    size_t end = text.find(close, nameStart);
    bool closed = end != std::u16string::npos;
    std::u16string_view name = std::u16string_view(text).substr(nameStart, closed ? end - nameStart : std::u16string::npos);
    size_t next = closed ? end + close.size() : text.size();
    if (name.empty()) {
      // "%%" or "<<>>": nothing to resolve; kept as written.
      out.append(text, start, next - start);
    } else if (auto value = ResolveVariable(name, env, scope)) {
      // An unclosed "%NAME" that the environment does not know stays as
      // written instead of gaining a closing percent sign.
      bool unknownUnclosed = !closed && open == u"%" && *value == u"%" + std::u16string(name) + u"%";
      if (unknownUnclosed)
        out.append(text, start, next - start);
      else if (out.size() + value->size() <= kMaxChars)
        out += *value;
    } else {
      out.append(text, start, next - start);
      if (open == u"<<") ok = false;
    }
    pos = next;
  }
  text = Limit(std::move(out));
  return ok;
}

}  // namespace

std::u16string_view AfterLastBackslash(std::u16string_view text) {
  size_t slash = text.rfind(u'\\');
  return slash == std::u16string_view::npos ? text : text.substr(slash + 1);
}

JobEnvironment GetEnvironmentVariables(const SettingsScope& scope, const TarnwickDEVMODE* record, bool sharedPrinter,
                                       const std::optional<SpoolerJobNames>& spoolerJob) {
  JobEnvironment env;
  Winsock winsock;
  if (!sharedPrinter || !record) {
    Handle token;
    // Without an impersonation token the system's variables still expand.
    OpenThreadToken(GetCurrentThread(), TOKEN_QUERY | TOKEN_IMPERSONATE, TRUE, token.Out());
    env.userName = LocalVariable(scope, token.Get(), u"USERNAME");
    env.domain = LocalVariable(scope, token.Get(), u"USERDOMAIN");
    env.computerName = LocalVariable(scope, token.Get(), u"COMPUTERNAME");
    env.ipAddress = Limit(winsock.AddressOf({}));
  } else {
    std::u16string user = record->ClientUserName.Get();
    std::u16string computer = record->ClientComputerName.Get();
    std::u16string domain = record->ClientDomain.Get();
    std::u16string ip = record->ClientIPAddress.Get();
    bool allFilled = !user.empty() && !computer.empty() && !domain.empty() && !ip.empty();
    if (!allFilled && spoolerJob && !spoolerJob->machineName.empty()) {
      if (user.empty()) user = std::u16string(AfterLastBackslash(spoolerJob->userName));
      if (computer.empty()) computer = std::u16string(AfterLastBackslash(spoolerJob->machineName));
      if (ip.empty()) ip = winsock.AddressOf(computer);
      if (domain.empty()) domain = WorkgroupOf(computer);
    }
    env.userName = Limit(user);
    env.computerName = Limit(computer);
    env.domain = Limit(domain);
    env.ipAddress = Limit(ip);
  }
  env.hostName = Limit(winsock.HostNameOf(env.ipAddress));
  return env;
}

bool ExpandPathVariables(std::u16string& path, const JobEnvironment& env, const SettingsScope& scope) {
  path = Limit(std::move(path));
  bool ok = ExpandPass(path, u"<<", u">>", env, scope);
  ExpandPass(path, u"%", u"%", env, scope);
  return ok;
}

}  // namespace tw::settings
