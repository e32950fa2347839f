// The signed record skeleton that every analytics request starts from.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

#include "net/header_list.h"

namespace ostrane {

class ConfigurationManager;

struct RequestContext {
  nlohmann::json body;  // keys "0".."22", "31", "38"
  HeaderList headers;   // exactly ("Authorization", "Signature=<64 hex digits>")
};

// What the skeleton is made of. Wide values come from the settings and are sent in
// the ANSI code page.
struct RequestFacts {
  std::string machineGuid;
  std::string timestamp;  // the run's "%Y%m%d%H%M%S"
  std::wstring brand;
  std::wstring productId;
  std::wstring fileVersion;
  std::wstring campaignCfl;
  std::wstring campaignCh;
  std::wstring productName;
  std::string osVersion;  // "major.minor.build", or empty
  bool wow64 = false;
};

// The settings' part of the facts; the machine's part is passed in.
RequestFacts RequestFactsFrom(ConfigurationManager& config, std::string osVersion, bool wow64);

// The signature is the SHA-256 of the machine GUID followed by the timestamp: no
// secret, so the server recomputes it from keys "1" and "2".
RequestContext BuildRequestContext(const RequestFacts& facts);

// The context for this run, from the settings singleton and the running system.
// Windows build only (the system's facts come from Windows).
RequestContext MakeRequestContext();

}  // namespace ostrane
