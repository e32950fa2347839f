#include "campaign/placeholder_table.h"

#include <unordered_map>
#include <vector>

namespace ostrane {

std::string CountryAffiliateId(const std::string& countryCode) {
  static const std::unordered_map<std::string, std::string> table = [] {
    const std::pair<const char*, std::vector<const char*>> groups[] = {
        {"91088", {"US"}},
        {"91166", {"CA"}},
        {"91199", {"BR"}},
        {"91214", {"AU", "NZ", "KR"}},
        {"91105", {"DZ", "BG", "CY", "CZ", "EG", "GR", "HU", "IE", "IL", "KW", "MA", "PL",
                   "PT", "QA", "RO", "RU", "SA", "SK", "ZA", "TN", "TR", "UA", "AE"}},
        {"91215", {"TH", "MX", "PH", "AR", "VN", "TW", "PE", "CL", "CO", "VE", "RS", "LK", "DO", "JO", "HK", "LT", "PS",
                   "HR", "CR", "BA", "SV", "GE", "MD", "AL", "UY", "BY", "LB", "SN", "PA", "LV", "ID", "PK", "SG"}},
    };
    std::unordered_map<std::string, std::string> byCountry;
    for (const auto& [affiliate, countries] : groups)
      for (const char* country : countries) byCountry.emplace(country, affiliate);
    return byCountry;
  }();
  const auto it = table.find(countryCode);
  return it == table.end() ? "91082" : it->second;
}

}  // namespace ostrane
