// Rewriting a bilevel TIFF for CISCO fax gateways (the profile is described
// with ConvertTiffToCiscoFormatW in tw_tiff_api.h).
#pragma once
#include <string_view>

namespace twtiff {

bool ConvertToCisco(std::u16string_view name);

}  // namespace twtiff
