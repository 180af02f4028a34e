#include <string>

#include "job/settings/settings_store.h"
#include "tw/casefold.h"
#include "tw/sysinfo.h"
#include "winerror.h"

namespace tw::settings {

std::optional<std::u16string> ApplicationPackageName() {
  UINT32 length = 0;
  LONG rc = GetCurrentPackageFullName(&length, nullptr);
  if (rc != ERROR_INSUFFICIENT_BUFFER || length == 0) return std::nullopt;
  std::u16string name(length, u'\0');
  rc = GetCurrentPackageFullName(&length, name.data());
  if (rc != ERROR_SUCCESS) return std::nullopt;
  name.resize(name.find(u'\0') == std::u16string::npos ? name.size() : name.find(u'\0'));
  // Windows' own packages (shell, control panel) do not count as packaged.
  std::u16string upper = Upcase(name);
  if (name.empty() || upper.find(u"WINDOWS") != std::u16string::npos ||
      upper.find(u"CONTROLPANEL") != std::u16string::npos)
    return std::nullopt;
  return name;
}

}  // namespace tw::settings
