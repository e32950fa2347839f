// The check's result as readable text or as JSON.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "campaign_run.h"
#include "check_report.h"

namespace ostrane::campaign_check {

struct Report {
  std::string replyPath;
  std::string wizard;       // "ISV" or "DLM"
  std::string machinePath;  // empty for the default machine
  std::string windowsVersion;
  bool wow64 = true;
  std::string country;  // the reply's "l" as the offers see it
  // The document is not JSON: the installer's reader refuses it.
  std::optional<std::string> notJson;
  std::vector<Problem> problems;
  CampaignRun run;
  std::vector<Answer> answers;
  bool expand = false;
};

void WriteText(const Report& report, std::ostream& out);
// Keys in the order of the text report.
nlohmann::ordered_json ToJson(const Report& report);

const char* AnswerName(Answer answer);

}  // namespace ostrane::campaign_check
