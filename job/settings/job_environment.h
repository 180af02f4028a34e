// The job's environment values (user, domain, computer, IP address, host
// name) and the expansion of variables in paths the job writes to.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "job/devmode/tarnwick_devmode.h"
#include "job/settings/settings_store.h"

namespace tw::settings {

// Each at most 259 characters.
struct JobEnvironment {
  std::u16string userName;
  std::u16string domain;
  std::u16string computerName;
  std::u16string ipAddress;
  std::u16string hostName;
};

// What the spooler says of the job (GetJob level 2): pUserName, pMachineName.
struct SpoolerJobNames {
  std::u16string userName;
  std::u16string machineName;
};

// Not shared: USERNAME, USERDOMAIN and COMPUTERNAME expanded for the token
// of the calling thread ("Userenv.dll"), a name that does not expand read
// from the printer's "EnvVars"; the local host's address ("wsock32.dll").
// Shared: the record's four client fields when all are filled; else each
// filled field, the rest from the spooler's job names (after their last
// backslash), the computer's address and its workgroup ("Netapi32.dll");
// without the job's machine name the record's fields as they are.
// The host name is the DNS name of the address, else of the local host.
JobEnvironment GetEnvironmentVariables(const SettingsScope& scope, const TarnwickDEVMODE* record, bool sharedPrinter,
                                       const std::optional<SpoolerJobNames>& spoolerJob);

// A spooler name without its domain or "\\" prefix: the part after the last backslash.
std::u16string_view AfterLastBackslash(std::u16string_view text);

// Expands "<<NAME>>" variables, then "%NAME%" variables, in a path of at
// most 259 characters. USERNAME, USERDOMAIN, COMPUTERNAME and IPADDRESS (any
// case) are the job's values; another name is the printer's "EnvVars" value
// of that name, else "%NAME%" expanded for the user of the calling thread's
// token (unknown names stay as "%NAME%"). Returns false when a "<<" variable
// could not be resolved (no thread token, no expansion function): it stays
// in the path with its brackets. A replacement that does not fit in the
// 259 characters is dropped.
bool ExpandPathVariables(std::u16string& path, const JobEnvironment& env, const SettingsScope& scope);

}  // namespace tw::settings
