// Every problem of a campaign reply, with its place, in the order the installer reads
// the document. The installer stops at the first; campaign writers want them all.
// The verdict is never taken from here: campaign_run.h asks the installer's loader.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

namespace ostrane::campaign_check {

struct Problem {
  // An error fails the whole load when the installer reads that place; a warning
  // never does, but the campaign is unlikely to do what its writer meant.
  enum class Severity { Error, Warning } severity = Severity::Error;
  std::optional<int> offer;  // index in "o"
  std::string path;          // "o[2].ps.dn"; empty for the document itself
  std::string expected;      // "string", "number or boolean", ...; empty for warnings without one
  std::string found;         // "missing", "number", ...
  std::string message;       // what it means, where expected and found do not say it all
  // For an error that fails the load only on some machines: which ones.
  std::string condition;
};

// wizardType: kWizardIsv or kWizardDlm (settings/wizard_type.h).
std::vector<Problem> CheckReply(const nlohmann::json& reply, int wizardType);

bool HasErrors(const std::vector<Problem>& problems);

// The warning for a partner date marker path ("pnr") the installer refuses to write
// to; nothing for one it writes. `path` is UTF-8, as written or as the installer
// expanded it (`expanded`).
std::optional<Problem> MarkerPathWarning(int offer, const std::string& path, bool expanded);

}  // namespace ostrane::campaign_check
