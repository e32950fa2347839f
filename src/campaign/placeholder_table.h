// An offer's placeholder values: "{name}" in a campaign text becomes the value.
#pragma once

#include <string>

#include "settings/placeholders.h"

namespace ostrane {

using PlaceholderTable = BasicPlaceholders<std::string>;

// The partner affiliate code for a two-letter country code; "91082" for any other text.
std::string CountryAffiliateId(const std::string& countryCode);

}  // namespace ostrane
