// Who this process is: its user (TW_USER, else the configuration's spooler
// account) and its session (TW_SESSION_ID).
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "tw/casefold.h"
#include "tw/sysinfo.h"
#include "tw/utf.h"

namespace tw::identity {
namespace {

struct WellKnown {
  const char16_t* name;
  const char16_t* sid;
};
// Accounts every Windows machine has, whether or not the configuration lists them.
constexpr WellKnown kWellKnown[] = {
    {u"SYSTEM", u"S-1-5-18"}, {u"LOCAL SERVICE", u"S-1-5-19"}, {u"NETWORK SERVICE", u"S-1-5-20"}};
constexpr char16_t kNtAuthority[] = u"NT AUTHORITY";

bool looksLikeSid(std::u16string_view text) { return text.size() > 4 && EqualsNoCase(text.substr(0, 4), u"S-1-"); }

// A configured user without a SID gets a stable one: the machine part from
// the computer name, the relative id from the user's place in the list.
std::u16string machineSid(const tw::config::Machine& machine, size_t index) {
  std::uint32_t h[3] = {2166136261u, 16777619u, 3323198485u};
  for (char16_t c : Upcase(machine.computerName))
    for (auto& part : h) part = (part ^ c) * 16777619u;
  std::u16string sid = u"S-1-5-21";
  for (auto part : h) sid += u"-" + FromUtf8(std::to_string(part));
  return sid + u"-" + FromUtf8(std::to_string(1001 + index));
}

tw::config::User withSid(const tw::config::Machine& machine, const tw::config::User& user, size_t index) {
  tw::config::User out = user;
  if (out.sid.empty()) out.sid = machineSid(machine, index);
  if (out.domain.empty()) out.domain = machine.computerName;
  return out;
}

struct Cache {
  std::mutex mutex;
  std::uint64_t generation = 0;
  tw::config::User user;
};

}  // namespace

std::optional<tw::config::User> FindAccount(std::u16string_view nameOrSid) {
  auto machine = tw::config::Get();
  if (looksLikeSid(nameOrSid)) {
    for (size_t i = 0; i < machine->users.size(); ++i) {
      auto user = withSid(*machine, machine->users[i], i);
      if (EqualsNoCase(user.sid, nameOrSid)) return user;
    }
    for (const auto& wk : kWellKnown)
      if (EqualsNoCase(wk.sid, nameOrSid)) return tw::config::User{wk.name, kNtAuthority, wk.sid, {}};
    return std::nullopt;
  }
  std::u16string_view domain, name = nameOrSid;
  if (auto slash = nameOrSid.rfind(u'\\'); slash != std::u16string_view::npos) {
    domain = nameOrSid.substr(0, slash);
    name = nameOrSid.substr(slash + 1);
  }
  if (name.empty()) return std::nullopt;
  // "." and the computer name both mean this machine.
  auto domainMatches = [&](const std::u16string& userDomain) {
    return domain.empty() || domain == u"." || EqualsNoCase(domain, userDomain) ||
           EqualsNoCase(domain, machine->computerName);
  };
  for (size_t i = 0; i < machine->users.size(); ++i) {
    auto user = withSid(*machine, machine->users[i], i);
    if (EqualsNoCase(user.name, name) && domainMatches(user.domain)) return user;
  }
  for (const auto& wk : kWellKnown)
    if (EqualsNoCase(wk.name, name) && (domain.empty() || EqualsNoCase(domain, kNtAuthority)))
      return tw::config::User{wk.name, kNtAuthority, wk.sid, {}};
  return std::nullopt;
}

tw::config::User ProcessUser() {
  static Cache* cache = new Cache;
  std::lock_guard lock(cache->mutex);
  auto generation = tw::root::Generation();
  if (cache->generation == generation) return cache->user;
  std::optional<tw::config::User> user;
  const char* chosen = std::getenv("TW_USER");
  if (chosen && *chosen) {
    user = FindAccount(FromUtf8(chosen));
    if (!user) std::fprintf(stderr, "tarnwick: TW_USER=%s is not a configured user; using the spooler account\n", chosen);
  }
  if (!user) user = FindAccount(tw::config::Get()->spoolerUser);
  if (!user) user = FindAccount(u"SYSTEM");
  cache->user = *user;
  cache->generation = generation;
  return cache->user;
}

DWORD SessionId() {
  const char* text = std::getenv("TW_SESSION_ID");
  if (!text || !*text) return 0;
  std::uint64_t value = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9' || value > 0xFFFFFFFFu) return 0;  // not a session number
    value = value * 10 + (*p - '0');
  }
  return value > 0xFFFFFFFFu ? 0 : static_cast<DWORD>(value);
}

}  // namespace tw::identity
