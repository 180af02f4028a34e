// Internal: the machine state root and its configuration.
//
// One directory holds the emulated machine: its drives (drive_c/ is C:), the
// registry database, the event log, runtime objects (run/) and logs (log/).
// It is chosen by TW_ROOT (commands also take --root DIR), default
// ~/.local/share/tarnwick. Two roots never see each other's objects.
#pragma once
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include "tw/wintypes.h"

namespace tw::root {

// The root directory (absolute). Created with its layout on first use.
TWCPPAPI std::filesystem::path Dir();
// Switches this process to another root (commands' --root, tests). Caches
// keyed to the old root (registry connection, configuration, kernel arena)
// notice the change through Generation().
TWCPPAPI void SetDir(const std::filesystem::path& dir);
// Bumped by every SetDir.
TWCPPAPI std::uint64_t Generation();
// Dir() / relative, e.g. Path("log/eventlog.db").
TWCPPAPI std::filesystem::path Path(const std::string& relative);
// A short stable hash of the root path, for names outside the root (POSIX
// shared-memory names).
TWCPPAPI std::string Tag();

}  // namespace tw::root

namespace tw::config {

struct User {
  std::u16string name;    // "alice"
  std::u16string domain;  // "TARNWICK-PC" or a domain name
  std::u16string sid;     // "S-1-5-21-...-1001"
  std::map<std::u16string, std::u16string> environment;  // the user's profile environment
};

struct Host {
  std::u16string name;     // NetBIOS/computer name
  std::string address;     // dotted IPv4
  std::u16string dnsName;  // fully qualified
  std::u16string domain;   // domain or workgroup the computer belongs to
};

struct Machine {
  std::u16string computerName = u"TARNWICK-PC";
  std::u16string workgroup = u"WORKGROUP";
  std::u16string dnsName = u"tarnwick-pc.example.local";
  std::string address = "192.168.10.20";
  std::vector<Host> hosts;  // other computers known by name (clients)
  std::vector<User> users;
  std::u16string defaultUser = u"alice";  // the user a print job runs as unless told otherwise
  std::u16string spoolerUser = u"SYSTEM"; // the account the spooler runs as (HKEY_CURRENT_USER)
  DWORD osMajor = 10, osMinor = 0, osBuild = 19045;
  std::u16string locale = u"en-US";
  UINT ansiCodePage = 1252;
  std::u16string packageFullName;  // empty: the process is not packaged
  std::vector<std::u16string> denyWrite;  // Windows paths the layer refuses to write (ERROR_ACCESS_DENIED)
};

// The configuration of the current root (config.json; defaults when absent).
TWCPPAPI std::shared_ptr<const Machine> Get();
// Writes config.json in the current root and makes it current.
TWCPPAPI bool Save(const Machine& machine);
// The configured user of that name (case-insensitive), or null.
TWCPPAPI const User* FindUser(const Machine& machine, std::u16string_view name);

}  // namespace tw::config
