#include "analytics/partner_marker.h"

#include <exception>

#include "campaign/package.h"
#include "system/text_convert.h"

namespace ostrane {

MarkerPath PartnerMarkerPath(const Package& package) {
  try {
    // Placeholder values come from the campaign too: only the expanded text counts.
    return CheckMarkerPath(Utf8ToWide(package.m_pn.registryPath));
  } catch (const std::exception&) {
    MarkerPath refused;
    refused.refusal = "the path cannot be converted";
    return refused;
  }
}

}  // namespace ostrane
