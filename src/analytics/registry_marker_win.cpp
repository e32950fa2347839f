// The partner's date marker: the offer rules read it back and show none of the
// partner's offers before that day.
#include <windows.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "analytics/partner_marker.h"
#include "campaign/package.h"
#include "log/setup_log.h"
#include "winui/unique_handle.h"

namespace ostrane {
namespace {

constexpr std::time_t kHoldBackSeconds = 180 * 86400;

}  // namespace

bool Package::WriteRegistryDateMarker() { return WriteRegistryDateMarker(std::time(nullptr)); }

bool Package::WriteRegistryDateMarker(std::time_t now) {
  // The path comes from the campaign, and an installer run as administrator could
  // write anywhere in HKLM: a refused one writes nothing.
  const MarkerPath target = PartnerMarkerPath(*this);
  if (!target.refusal.empty()) {
    log::LogLine("marker", LogName() + ": partner date marker refused, " + target.refusal + ": \"" +
                               m_pn.registryPath + "\"");
    return false;
  }

  const std::time_t until = now + kHoldBackSeconds;
  std::tm local{};
  if (localtime_s(&local, &until) != 0) return false;
  char text[16] = {};
  if (std::strftime(text, sizeof text, "%Y%m%d", &local) == 0) return false;
  const auto date = static_cast<DWORD>(std::strtoul(text, nullptr, 10));

  // No view flag: a 32-bit installer writes to the 32-bit view, where its own reads look.
  win::UniqueHkey key;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, target.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                        nullptr) != ERROR_SUCCESS)
    return false;
  return ::RegSetValueExW(key.get(), target.valueName.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&date),
                          sizeof date) == ERROR_SUCCESS;
}

}  // namespace ostrane
