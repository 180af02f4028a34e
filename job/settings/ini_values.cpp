#include <string>
#include <vector>

#include "job/settings/effective.h"
#include "job/settings/settings_store.h"
#include "tw/profile.h"

namespace tw::settings {
namespace {

constexpr DWORD kDefaultIniChars = MAX_PATH;

}  // namespace

// A missing INI file, like a missing key, leaves the default.
INT Read(const SettingsScope& scope, Setting<ValueType::IniInt> s) {
  const SettingDef& def = Definition(s);
  INT fallback = static_cast<INT>(def.def.number);
  if (scope.iniFile.empty()) return fallback;
  return static_cast<INT>(GetPrivateProfileIntW(def.group, def.name, fallback, scope.iniFile.c_str()));
}

std::u16string Read(const SettingsScope& scope, Setting<ValueType::IniText> s, DWORD maxChars,
                    std::u16string_view fallback) {
  const SettingDef& def = Definition(s);
  std::u16string defaultText = def.def.text ? def.def.text : u"";
  if (defaultText.empty() && !fallback.empty()) defaultText = fallback;
  if (scope.iniFile.empty()) return defaultText;
  if (maxChars == 0) maxChars = def.size ? def.size : kDefaultIniChars;
  std::vector<char16_t> buffer(maxChars, u'\0');
  DWORD got = GetPrivateProfileStringW(def.group, def.name, defaultText.c_str(), buffer.data(), maxChars,
                                       scope.iniFile.c_str());
  return std::u16string(buffer.data(), got < maxChars ? got : maxChars - 1);
}

INT Effective(const EffectiveContext& ctx, Setting<ValueType::IniInt> s) { return Read(ctx.scope, s); }

std::u16string Effective(const EffectiveContext& ctx, Setting<ValueType::IniText> s, DWORD maxChars,
                         std::u16string_view fallback) {
  return Read(ctx.scope, s, maxChars, fallback);
}

}  // namespace tw::settings
