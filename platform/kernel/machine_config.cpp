// The machine configuration (config.json in the root): what the system is
// asked about itself. Nothing is taken from the real network or the real
// users, so jobs are reproducible.
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>

#include "tw/root.h"
#include "tw/utf.h"

namespace tw::config {
namespace {

using nlohmann::json;

std::mutex g_mutex;
std::shared_ptr<const Machine> g_cached;
std::uint64_t g_cachedGeneration = 0;

Machine defaults() {
  Machine m;
  m.users.push_back({u"SYSTEM", u"NT AUTHORITY", u"S-1-5-18", {}});
  User alice{u"alice", m.computerName, u"S-1-5-21-3623811015-3361044348-30300820-1001", {}};
  alice.environment = {{u"USERNAME", u"alice"},
                       {u"USERDOMAIN", m.computerName},
                       {u"USERPROFILE", u"C:\\Users\\alice"},
                       {u"APPDATA", u"C:\\Users\\alice\\AppData\\Roaming"},
                       {u"LOCALAPPDATA", u"C:\\Users\\alice\\AppData\\Local"},
                       {u"TEMP", u"C:\\Users\\alice\\AppData\\Local\\Temp"},
                       {u"TMP", u"C:\\Users\\alice\\AppData\\Local\\Temp"},
                       {u"HOMEDRIVE", u"C:"},
                       {u"HOMEPATH", u"\\Users\\alice"}};
  m.users.push_back(alice);
  return m;
}

std::u16string str(const json& j, const char* key, const std::u16string& fallback) {
  auto it = j.find(key);
  return it != j.end() && it->is_string() ? FromUtf8(it->get<std::string>()) : fallback;
}

template <class T>
T num(const json& j, const char* key, T fallback) {
  auto it = j.find(key);
  return it != j.end() && it->is_number_integer() ? it->get<T>() : fallback;
}

Machine fromJson(const json& j) {
  Machine m = defaults();
  if (!j.is_object()) return m;
  m.computerName = str(j, "computer_name", m.computerName);
  m.workgroup = str(j, "workgroup", m.workgroup);
  m.dnsName = str(j, "dns_name", m.dnsName);
  if (auto it = j.find("address"); it != j.end() && it->is_string()) m.address = it->get<std::string>();
  m.defaultUser = str(j, "default_user", m.defaultUser);
  m.spoolerUser = str(j, "spooler_user", m.spoolerUser);
  if (auto it = j.find("os_version"); it != j.end() && it->is_object()) {
    m.osMajor = num<DWORD>(*it, "major", m.osMajor);
    m.osMinor = num<DWORD>(*it, "minor", m.osMinor);
    m.osBuild = num<DWORD>(*it, "build", m.osBuild);
  }
  m.locale = str(j, "locale", m.locale);
  m.ansiCodePage = num<UINT>(j, "ansi_code_page", m.ansiCodePage);
  m.packageFullName = str(j, "package_full_name", m.packageFullName);
  if (auto it = j.find("users"); it != j.end() && it->is_array()) {
    m.users.clear();
    for (const auto& u : *it) {
      if (!u.is_object()) continue;
      User user{str(u, "name", u""), str(u, "domain", m.computerName), str(u, "sid", u""), {}};
      if (auto env = u.find("environment"); env != u.end() && env->is_object())
        for (auto& [k, v] : env->items())
          if (v.is_string()) user.environment[FromUtf8(k)] = FromUtf8(v.get<std::string>());
      if (!user.name.empty()) m.users.push_back(std::move(user));
    }
  }
  if (auto it = j.find("hosts"); it != j.end() && it->is_array()) {
    for (const auto& h : *it) {
      if (!h.is_object()) continue;
      Host host{str(h, "name", u""), h.value("address", std::string()), str(h, "dns_name", u""),
                str(h, "domain", m.workgroup)};
      if (!host.name.empty()) m.hosts.push_back(std::move(host));
    }
  }
  if (auto it = j.find("deny_write"); it != j.end() && it->is_array())
    for (const auto& p : *it)
      if (p.is_string()) m.denyWrite.push_back(FromUtf8(p.get<std::string>()));
  return m;
}

json toJson(const Machine& m) {
  json j;
  j["computer_name"] = ToUtf8(m.computerName);
  j["workgroup"] = ToUtf8(m.workgroup);
  j["dns_name"] = ToUtf8(m.dnsName);
  j["address"] = m.address;
  j["default_user"] = ToUtf8(m.defaultUser);
  j["spooler_user"] = ToUtf8(m.spoolerUser);
  j["os_version"] = {{"major", m.osMajor}, {"minor", m.osMinor}, {"build", m.osBuild}};
  j["locale"] = ToUtf8(m.locale);
  j["ansi_code_page"] = m.ansiCodePage;
  j["package_full_name"] = ToUtf8(m.packageFullName);
  j["users"] = json::array();
  for (const auto& u : m.users) {
    json env = json::object();
    for (const auto& [k, v] : u.environment) env[ToUtf8(k)] = ToUtf8(v);
    j["users"].push_back({{"name", ToUtf8(u.name)}, {"domain", ToUtf8(u.domain)}, {"sid", ToUtf8(u.sid)},
                          {"environment", env}});
  }
  j["hosts"] = json::array();
  for (const auto& h : m.hosts)
    j["hosts"].push_back({{"name", ToUtf8(h.name)}, {"address", h.address}, {"dns_name", ToUtf8(h.dnsName)},
                          {"domain", ToUtf8(h.domain)}});
  j["deny_write"] = json::array();
  for (const auto& p : m.denyWrite) j["deny_write"].push_back(ToUtf8(p));
  return j;
}

}  // namespace

std::shared_ptr<const Machine> Get() {
  auto generation = tw::root::Generation();
  std::lock_guard lock(g_mutex);
  if (g_cached && g_cachedGeneration == generation) return g_cached;
  Machine machine = defaults();
  std::ifstream in(tw::root::Path("config.json"));
  if (in) {
    // A damaged file must not stop the machine: the defaults stand in for it.
    json j = json::parse(in, nullptr, /*allow_exceptions=*/false);
    if (!j.is_discarded()) machine = fromJson(j);
  }
  g_cached = std::make_shared<const Machine>(std::move(machine));
  g_cachedGeneration = generation;
  return g_cached;
}

bool Save(const Machine& machine) {
  auto path = tw::root::Path("config.json");
  auto temp = path;
  temp += ".tmp";
  {
    std::ofstream out(temp, std::ios::trunc);
    if (!out) return false;
    out << toJson(machine).dump(2) << '\n';
    if (!out) return false;
  }
  std::error_code ec;
  std::filesystem::rename(temp, path, ec);
  if (ec) return false;
  std::lock_guard lock(g_mutex);
  g_cached = std::make_shared<const Machine>(machine);
  g_cachedGeneration = tw::root::Generation();
  return true;
}

const User* FindUser(const Machine& machine, std::u16string_view name) {
  auto lower = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; };
  for (const auto& user : machine.users) {
    if (user.name.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i) same = lower(user.name[i]) == lower(name[i]);
    if (same) return &user;
  }
  return nullptr;
}

}  // namespace tw::config
