// The campaign-check program: its options, its inputs and its exit code.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace ostrane::campaign_check {

// Exit codes.
inline constexpr int kLoads = 0;
inline constexpr int kFailsToLoad = 1;  // also: problems under --strict
inline constexpr int kUnreadableInput = 2;

// Runs the check on the command-line arguments (UTF-8, without the program name):
// the report goes to out, complaints about the input to err.
int RunCampaignCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace ostrane::campaign_check
