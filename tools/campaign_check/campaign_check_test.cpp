// The campaign-check program on our sample replies and machine profiles: its verdict
// and exit code for each way a whole load fails, the rules' results per offer, the
// events of the offer flow in the installer's order, the expanded texts, and input
// it refuses.
#include "campaign_check.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

namespace ostrane::campaign_check {
namespace {

using nlohmann::json;

std::string Sample(const std::string& name) { return std::string(OSTRANE_CHECK_SAMPLES) + "/" + name; }
std::string Reply(const std::string& name) { return Sample("replies/" + name + ".json"); }
std::string Profile(const std::string& name) { return Sample("profiles/" + name + ".json"); }

struct Result {
  int code = -1;
  std::string out;
  std::string err;
};

Result RunTool(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  Result result;
  result.code = RunCampaignCheck(args, out, err);
  result.out = out.str();
  result.err = err.str();
  return result;
}

// The JSON report of a run that must have produced one.
json RunJson(std::vector<std::string> args) {
  args.push_back("--json");
  const Result result = RunTool(args);
  EXPECT_NE(result.code, kUnreadableInput) << result.err;
  return json::parse(result.out);
}

std::vector<std::string> MachineArgs(const std::string& profile) {
  return profile.empty() ? std::vector<std::string>() : std::vector<std::string>{"--machine", Profile(profile)};
}

TEST(CampaignCheckTest, EveryWholeLoadFailureIsTheVerdict) {
  const struct {
    const char* reply;
    const char* wizard;
    const char* machine;  // "" for the default machine
    int code;
    const char* verdict;  // the verdict line of the text report
    json failure;         // "failure" of the JSON report
  } cases[] = {
      {"good", "ISV", "", kLoads, "Verdict  LOADS: 6 of 9 offers read, 4 accepted (maximum 4)", nullptr},
      {"fails-offer-without-dn", "ISV", "", kFailsToLoad,
       "Verdict  FAILS THE WHOLE LOAD reading o[1]: [json.exception.out_of_range.403] key 'dn' not found",
       {{"stage", "offer"}, {"offer", 1}}},
      {"fails-string-for-number", "ISV", "", kFailsToLoad,
       "Verdict  FAILS THE WHOLE LOAD reading o[1]: [json.exception.type_error.302] type must be number, but is string",
       {{"stage", "offer"}, {"offer", 1}}},
      {"fails-pnrp-not-string", "ISV", "win10-x64", kFailsToLoad,
       "Verdict  FAILS THE WHOLE LOAD reading o[1]: [json.exception.type_error.302] type must be string, but is number",
       {{"stage", "offer"}, {"offer", 1}}},
      {"fails-pnrp-not-string", "ISV", "win7-x86", kLoads, "Verdict  LOADS: 2 of 2 offers read, 2 accepted (maximum 3)",
       nullptr},
      {"fails-offers-without-f", "ISV", "", kFailsToLoad,
       "Verdict  FAILS THE WHOLE LOAD reading the document: [json.exception.out_of_range.403] key 'f' not found",
       {{"stage", "document"}, {"offer", nullptr}}},
      {"fails-offers-not-array", "ISV", "", kFailsToLoad,
       "Verdict  FAILS THE WHOLE LOAD reading the document: [json.exception.type_error.302] type must be array, but is "
       "object",
       {{"stage", "document"}, {"offer", nullptr}}},
      {"fails-cfs-not-object", "ISV", "", kFailsToLoad,
       "Verdict  FAILS THE WHOLE LOAD reading o[0]: [json.exception.type_error.302] type must be object, but is array",
       {{"stage", "offer"}, {"offer", 0}}},
      {"fails-short-root-in-cmdu", "ISV", "", kFailsToLoad,
       "Verdict  FAILS THE WHOLE LOAD in the rules for o[1]: invalid unordered_map<K, T> key",
       {{"stage", "rules"}, {"offer", 1}}},
      {"fails-not-json", "ISV", "", kFailsToLoad, "Verdict  FAILS THE WHOLE LOAD: the installer cannot read the reply",
       {{"stage", "document"}, {"offer", nullptr}}},
      {"many-problems", "ISV", "", kFailsToLoad,
       "Verdict  FAILS THE WHOLE LOAD reading o[0]: [json.exception.type_error.302] type must be number, but is string",
       {{"stage", "offer"}, {"offer", 0}}},
      {"good", "ISV", "win7-damaged-registry", kFailsToLoad,
       "Verdict  FAILS THE WHOLE LOAD in the rules for o[5]: Cannot read string from registry (error 1009)",
       {{"stage", "rules"}, {"offer", 5}}},
      {"dlm-good", "DLM", "", kLoads, "Verdict  LOADS: 2 of 2 offers read, 2 accepted (maximum 3)", nullptr},
      {"dlm-channel-00xA", "DLM", "", kLoads, "Verdict  LOADS: no offers are read", nullptr},
      {"dlm-fails-empty-title", "DLM", "", kFailsToLoad,
       "Verdict  FAILS: the DLM product block has no title or no download URL", {{"stage", "configuration"}, {"offer", nullptr}}},
      {"dlm-fails-without-product", "DLM", "", kFailsToLoad,
       "Verdict  FAILS THE WHOLE LOAD reading the document: [json.exception.out_of_range.403] key 'i' not found",
       {{"stage", "document"}, {"offer", nullptr}}},
      {"dlm-good", "ISV", "", kLoads, "Verdict  LOADS: 2 of 2 offers read, 2 accepted (maximum 3)", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.reply) + " " + c.wizard + " " + c.machine);
    std::vector<std::string> args = {Reply(c.reply), "--wizard", c.wizard};
    for (const auto& arg : MachineArgs(c.machine)) args.push_back(arg);

    const Result text = RunTool(args);
    EXPECT_EQ(text.code, c.code);
    EXPECT_NE(text.out.find("\n" + std::string(c.verdict) + "\n"), std::string::npos) << text.out;
    if (c.code == kFailsToLoad) {
      const char* consequence = std::string(c.wizard) == "DLM" ? "The DLM wizard shows its configuration error page."
                                                               : "The wizard goes on without offers";
      EXPECT_NE(text.out.find(consequence), std::string::npos) << text.out;
    }

    const json report = RunJson(args);
    EXPECT_EQ(report["loads"], c.code == kLoads);
    if (c.failure.is_null()) {
      EXPECT_TRUE(report["failure"].is_null()) << report["failure"];
    } else {
      EXPECT_EQ(report["failure"]["stage"], c.failure["stage"]);
      EXPECT_EQ(report["failure"]["offer"], c.failure["offer"]);
    }
  }
}

// Each document the check calls clean loads on every sample machine; each that fails
// to load has an error, unless the machine's registry is what fails.
TEST(CampaignCheckTest, CheckAndLoaderAgreeOnEverySample) {
  std::vector<std::string> machines = {""};
  for (const auto& entry : std::filesystem::directory_iterator(Sample("profiles")))
    machines.push_back(entry.path().stem().string());
  int documents = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Sample("replies"))) {
    const std::string name = entry.path().stem().string();
    if (name == "fails-not-json") continue;  // not JSON: nothing for the check to read
    ++documents;
    for (const char* wizard : {"ISV", "DLM"}) {
      for (const auto& machine : machines) {
        SCOPED_TRACE(name + " " + wizard + " " + machine);
        std::vector<std::string> args = {entry.path().string(), "--wizard", wizard};
        for (const auto& arg : MachineArgs(machine)) args.push_back(arg);
        const json report = RunJson(args);
        bool errors = false;
        for (const auto& problem : report["problems"]) errors = errors || problem["severity"] == "error";
        if (report["loads"] == true) continue;
        const bool registry = report["failure"]["stage"] == "rules" &&
                              report["failure"]["error"].get<std::string>().find("registry") != std::string::npos;
        EXPECT_TRUE(errors || registry) << report["failure"];
        if (!errors) {
          EXPECT_NE(machine.find("damaged-registry"), std::string::npos);
        }
      }
    }
  }
  EXPECT_GT(documents, 0) << "the samples are missing";
}

std::vector<std::string> Outcomes(const json& report) {
  std::vector<std::string> outcomes;
  for (const auto& offer : report["offers"]) {
    std::string line = offer["id"].get<std::string>() + " " + offer["outcome"].get<std::string>();
    if (offer.contains("reason")) line += ": " + offer["reason"].get<std::string>();
    outcomes.push_back(line);
  }
  return outcomes;
}

TEST(CampaignCheckTest, TheRulesOnEachSampleMachine) {
  const struct {
    const char* machine;
    std::vector<std::string> outcomes;
  } cases[] = {
      {"",
       {"lumen-notes accepted", "harbor-vpn accepted", "quarry-backup accepted",
        "pebble-games rejected: SAME VERTICAL OFFER ALREADY PRESENT", "sundial-clock accepted", "meadow-pdf stopped",
        "birch-photo not read", "cobalt-tune not read", "drift-mail not read"}},
      {"win10-x64",
       {"lumen-notes accepted", "harbor-vpn accepted", "quarry-backup rejected: REGISTRY EXCLUDE APP FOUND",
        "pebble-games rejected: SAME VERTICAL OFFER ALREADY PRESENT", "sundial-clock rejected: HAVE CHROME",
        "meadow-pdf rejected: REGISTRY VALUE DATA MATCHES", "birch-photo accepted", "cobalt-tune accepted",
        "drift-mail stopped"}},
      {"win7-x86",
       {"lumen-notes accepted", "harbor-vpn rejected: UNSUPPORTED OS VERSION",
        "quarry-backup rejected: APPLICATION RUNNING", "pebble-games rejected: SAME VERTICAL OFFER ALREADY PRESENT",
        "sundial-clock accepted", "meadow-pdf rejected: MIN DAYS UNINSTALL CHECKER", "birch-photo accepted",
        "cobalt-tune accepted", "drift-mail stopped"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {Reply("good")};
    for (const auto& arg : MachineArgs(c.machine)) args.push_back(arg);
    const json report = RunJson(args);
    EXPECT_EQ(Outcomes(report), c.outcomes) << c.machine;
  }
  const Result text = RunTool({Reply("good")});
  EXPECT_NE(text.out.find("  Reading stopped: the maximum of 4 offers is reached\n"), std::string::npos) << text.out;
}

std::vector<std::string> Events(const json& report) {
  std::vector<std::string> events;
  for (const auto& event : report["events"]) {
    std::string line = event["phase"].get<std::string>() + " o[" + std::to_string(event["offer"].get<int>()) + "] " +
                       event["code"].get<std::string>() + " " + event["17"].get<std::string>();
    if (!event["13"].get<std::string>().empty()) line += " " + event["13"].get<std::string>();
    events.push_back(line);
  }
  return events;
}

TEST(CampaignCheckTest, TheOfferFlowSendsTheInstallersEventsInOrder) {
  const std::vector<std::string> loadEvents = {
      "load o[2] 2 3 REGISTRY EXCLUDE APP FOUND", "load o[3] 2 3 SAME VERTICAL OFFER ALREADY PRESENT",
      "load o[4] 2 3 HAVE CHROME", "load o[5] 2 3 REGISTRY VALUE DATA MATCHES"};
  const auto with = [&](std::vector<std::string> flow) {
    std::vector<std::string> all = loadEvents;
    all.insert(all.end(), flow.begin(), flow.end());
    return all;
  };
  const struct {
    const char* reply;
    const char* answers;
    std::vector<std::string> events;
    std::vector<int> download;
  } cases[] = {
      {"good", "accept,accept,accept,accept", loadEvents, {0, 1, 6, 7}},
      {"good", "accept", loadEvents, {0}},
      {"good", "accept,decline",
       with({"flow o[1] 4 2", "flow o[6] 2 3 SKIP ALL AFTER DECLINE OFFER DECLINED",
             "flow o[7] 2 4 SKIP ALL AFTER DECLINE OFFER DECLINED"}),
       {0}},
      {"good", "decline,skip-all",
       with({"flow o[0] 4 1", "flow o[1] 4 2", "flow o[6] 2 3 SKIP ALL CLICKED", "flow o[7] 2 4 SKIP ALL CLICKED"}),
       {}},
      {"flow-limits", "decline", {"flow o[0] 4 1", "flow o[1] 2 2 SKIPPED BECAUSE OF EARLIER DECLINE"}, {}},
      {"flow-limits", "accept,accept", {}, {0, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.reply) + " " + c.answers);
    const json report = RunJson({Reply(c.reply), "--machine", Profile("win10-x64"), "--answers", c.answers});
    EXPECT_EQ(Events(report), c.events);
    EXPECT_EQ(report["flow"]["download"], json(c.download));
  }

  // Passed over beyond the campaign's maximum: in the flow, not in the events.
  const json limits = RunJson({Reply("flow-limits"), "--answers", "accept,accept"});
  EXPECT_EQ(limits["flow"]["passedOver"],
            json::parse(R"([{"offer": 2, "reason": "EXCEEDED MAX NUMBER OF OFFERS IN FLOW", "reported": false}])"));
  // The events are the records the installer posts.
  const json declined = RunJson({Reply("good"), "--answers", "accept,decline"});
  const json& record = declined["events"][0]["record"];
  EXPECT_EQ(record["5"], "pebble-games");
  EXPECT_EQ(record["10"], 2);
  EXPECT_EQ(record["18"], "spring-b");
}

TEST(CampaignCheckTest, AnswersThePagesDoNotAllowAreRefused) {
  const struct {
    const char* answers;
    const char* complaint;
  } cases[] = {
      {"accept,accept,accept,skip-all", "answer 4: the page of o[7] has no Skip All button"},
      {"accept,decline,accept", "answer 3: no offer page is left to answer (2 shown)"},
      {"accept,maybe", "--answers: \"maybe\" is not accept, decline or skip-all"},
  };
  for (const auto& c : cases) {
    const Result result = RunTool({Reply("good"), "--machine", Profile("win10-x64"), "--answers", c.answers});
    EXPECT_EQ(result.code, kUnreadableInput) << c.answers;
    EXPECT_NE(result.err.find(c.complaint), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
  }
}

std::map<std::string, std::string> Placeholders(const json& expanded) {
  std::map<std::string, std::string> values;
  for (const auto& entry : expanded["placeholders"]) values[entry["name"]] = entry["value"];
  return values;
}

TEST(CampaignCheckTest, ExpandedTextsShowThePlaceholderValuesUsed) {
  const json win10 = RunJson({Reply("good"), "--machine", Profile("win10-x64"), "--expand"});
  ASSERT_EQ(win10["expanded"].size(), 4u);
  const json& lumen = win10["expanded"][0];
  EXPECT_EQ(lumen["arguments"], "/silent /source=spring-publisher /cc=DE /session=20240601120000")
      << "the country is the profile's where the reply has none";
  EXPECT_EQ(Placeholders(lumen)["userid"], "{0d4c3b2a-1f0e-4d9c-8b7a-6f5e4d3c2b1a}");
  const json& harbor = win10["expanded"][1];
  EXPECT_EQ(harbor["offer"], 1);
  EXPECT_EQ(Placeholders(harbor)["pnrparam"], "w10");
  // "sp" is expanded before {pnsid} exists; "p" expands the stub's {pnsid} in the same pass.
  EXPECT_EQ(harbor["stub"], "/edition=w10 /sid={pnsid}");
  EXPECT_EQ(harbor["unexpanded"], json::parse(R"([{"text": "stub", "token": "{pnsid}"}])"));
  EXPECT_EQ(harbor["arguments"], "/edition=w10 /sid=1717243200000 /ref=" + Placeholders(harbor)["pxl"]);

  const json win7 = RunJson({Reply("fails-pnrp-not-string"), "--machine", Profile("win7-x86"), "--expand"});
  EXPECT_EQ(win7["expanded"][1]["stub"], "/edition=std") << "Windows 6.1 has no value of its own here";
  EXPECT_EQ(Placeholders(win7["expanded"][1])["cc"], "US") << "the reply's l wins over the profile's country";

  const json limits = RunJson({Reply("flow-limits"), "--expand"});
  EXPECT_EQ(limits["expanded"][0]["unexpanded"], json::parse(R"([{"text": "arguments", "token": "{userId}"}])"));
  const Result text = RunTool({Reply("flow-limits"), "--expand"});
  EXPECT_NE(text.out.find("^ {userId} left as written: no such placeholder when this text is expanded"), std::string::npos) << text.out;
}

TEST(CampaignCheckTest, StrictFailsOnErrorsThisMachineDoesNotRead) {
  const std::vector<std::string> args = {Reply("fails-pnrp-not-string"), "--machine", Profile("win7-x86")};
  const Result lenient = RunTool(args);
  EXPECT_EQ(lenient.code, kLoads);
  EXPECT_NE(lenient.out.find("error    o[1].ps.pnrp[\"10.0\"]: expected string, found number (fails the load on Windows 10.0)"),
            std::string::npos)
      << lenient.out;
  std::vector<std::string> strict = args;
  strict.push_back("--strict");
  EXPECT_EQ(RunTool(strict).code, kFailsToLoad);
  EXPECT_EQ(RunTool({Reply("good"), "--strict"}).code, kLoads) << "warnings do not count";
}

// A "pnr" with placeholders is judged as the installer expands it; one without them
// is the document check's, and is reported once.
TEST(CampaignCheckTest, MarkerPathsTheInstallerRefusesAreWarnedOfAsExpanded) {
  const json report = RunJson({Reply("marker-paths")});
  EXPECT_EQ(report["loads"], true);
  const struct {
    const char* path;
    const char* message;  // how it begins
  } expected[] = {
      {"o[1].ps.pnr", "the installer writes no partner date marker there (in SOFTWARE\\Policies, "},
      {"o[0].ps.pnr", "expands to \"SOFTWARE\\\\Policies\\\\NextOffer\": the installer writes no partner date"},
  };
  ASSERT_EQ(report["problems"].size(), std::size(expected)) << report["problems"];
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const json& problem = report["problems"][i];
    EXPECT_EQ(problem["severity"], "warning");
    EXPECT_EQ(problem["path"], expected[i].path);
    EXPECT_EQ(problem["message"].get<std::string>().rfind(expected[i].message, 0), 0u) << problem["message"];
  }
}

TEST(CampaignCheckTest, TheTextReport) {
  const Result result = RunTool({Reply("fails-offer-without-dn"), "--answers", "accept"});
  EXPECT_EQ(result.out,
            "Reply    " + Reply("fails-offer-without-dn") +
                " (ISV wizard)\n"
                "Machine  the default machine: Windows 10.0.19045, 64-bit\n"
                "\n"
                "Problems: 1 error\n"
                "  error    o[1].ps.dn: expected string, found missing\n"
                "Verdict  FAILS THE WHOLE LOAD reading o[1]: [json.exception.out_of_range.403] key 'dn' not found\n"
                "         The wizard goes on without offers: every user of this installer gets none.\n"
                "\n"
                "Offers\n"
                "  o[0] lumen-notes \"Lumen Notes\"  passed the rules, position 1; not shown\n"
                "  o[1] harbor-vpn                 FAILS THE WHOLE LOAD\n"
                "  Reading stopped: the load failed\n"
                "\n"
                "Offer pages\n"
                "  none: the load failed\n"
                "\n"
                "Events, in the order the installer sends them\n"
                "  none\n");
}

TEST(CampaignCheckTest, InputThatCannotBeRead) {
  const struct {
    std::vector<std::string> args;
    const char* complaint;
  } cases[] = {
      {{Sample("replies/missing.json")}, "cannot read the reply document"},
      {{Sample("replies")}, "cannot read the reply document"},
      {{Reply("good"), "--machine", Profile("missing")}, "cannot read the machine profile"},
      {{Reply("good"), "--machine", Reply("fails-not-json")}, "not JSON"},
      {{Reply("good"), "--machine", Reply("good")}, "f: unknown key"},
      {{Reply("good"), "--wizard", "XYZ"}, "--wizard: expected ISV or DLM"},
      {{Reply("good"), "--colour"}, "unknown option --colour"},
      {{Reply("good"), Reply("dlm-good")}, "one reply document at a time"},
      {{Reply("good"), "--machine"}, "--machine needs a value"},
      {{}, "no reply document given"},
  };
  for (const auto& c : cases) {
    const Result result = RunTool(c.args);
    EXPECT_EQ(result.code, kUnreadableInput) << c.complaint;
    EXPECT_NE(result.err.find(c.complaint), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
  }
}

}  // namespace
}  // namespace ostrane::campaign_check
