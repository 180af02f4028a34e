// The settings catalogue written out for administrators (docs/settings.md).
#pragma once

#include <string>

namespace tw::settings {

// The whole document as UTF-8 Markdown, generated from the catalogue table.
std::string SettingsDocumentation();

}  // namespace tw::settings
