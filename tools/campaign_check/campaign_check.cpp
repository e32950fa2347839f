#include "campaign_check.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "eligibility/machine_profile.h"
#include "campaign_run.h"
#include "check_report.h"
#include "output.h"
#include "settings/configuration_manager.h"
#include "settings/wizard_type.h"

namespace ostrane::campaign_check {
namespace {

using nlohmann::json;

constexpr char kUsage[] =
    "usage: campaign-check [--wizard ISV|DLM] [--machine PROFILE.json] [--answers LIST]\n"
    "                      [--expand] [--json] [--strict] REPLY.json\n"
    "\n"
    "Checks a campaign reply with the installer's own code: every problem of the document,\n"
    "whether the installer loads the campaign or fails the whole load, and what each offer\n"
    "meets on a machine.\n"
    "\n"
    "  --wizard ISV|DLM   the wizard type that reads the reply (default ISV)\n"
    "  --machine FILE     a machine profile (default: 64-bit Windows 10, nothing installed)\n"
    "  --answers LIST     the user's answers on the offer pages, in order, comma-separated:\n"
    "                     accept, decline, skip-all; prints the analytics events sent\n"
    "  --expand           each accepted offer's expanded texts and its placeholder values\n"
    "  --json             JSON instead of text\n"
    "  --strict           exit 1 for any error in the document, also where this machine\n"
    "                     does not read it\n"
    "\n"
    "Exit codes: 0 the installer loads the campaign, 1 it fails the whole load, 2 the input\n"
    "cannot be read (a file, the profile or an option).\n";

// A complaint about the input: exit code 2.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Options {
  std::string reply;
  std::string wizard = "ISV";
  std::string machine;
  std::optional<std::vector<Answer>> answers;
  bool expand = false;
  bool json = false;
  bool strict = false;
  bool help = false;
};

std::vector<Answer> ParseAnswers(const std::string& list) {
  std::vector<Answer> answers;
  if (list.empty()) return answers;
  std::stringstream items(list);
  for (std::string item; std::getline(items, item, ',');) {
    if (item == "accept") {
      answers.push_back(Answer::Accept);
    } else if (item == "decline") {
      answers.push_back(Answer::Decline);
    } else if (item == "skip-all") {
      answers.push_back(Answer::SkipAll);
    } else {
      throw InputError("--answers: \"" + item + "\" is not accept, decline or skip-all");
    }
  }
  return answers;
}

Options ParseOptions(const std::vector<std::string>& args) {
  Options options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (const auto equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    const auto valueOf = [&]() -> std::string {
      if (value) return *value;
      if (i + 1 >= args.size()) throw InputError(name + " needs a value");
      return args[++i];
    };
    if (name == "-h" || name == "--help") {
      options.help = true;
    } else if (name == "--wizard") {
      options.wizard = valueOf();
      if (WizardTypeFromName(options.wizard) == kWizardUnknown) throw InputError("--wizard: expected ISV or DLM");
    } else if (name == "--machine") {
      options.machine = valueOf();
    } else if (name == "--answers") {
      options.answers = ParseAnswers(valueOf());
    } else if (name == "--expand" || name == "--json" || name == "--strict") {
      if (value) throw InputError(name + " takes no value");
      (name == "--expand" ? options.expand : name == "--json" ? options.json : options.strict) = true;
    } else if (name.size() > 1 && name[0] == '-') {
      throw InputError("unknown option " + name);
    } else if (!options.reply.empty()) {
      throw InputError("one reply document at a time");
    } else {
      options.reply = name;
    }
  }
  if (!options.help && options.reply.empty()) throw InputError("no reply document given");
  return options;
}

std::string ReadFile(const std::string& path, const char* what) {
  const std::filesystem::path file(std::u8string(path.begin(), path.end()));
  std::error_code ignored;
  std::ifstream in;
  if (!std::filesystem::is_directory(file, ignored)) in.open(file, std::ios::binary);
  if (!in.is_open() || !in) throw InputError(std::string("cannot read the ") + what + " " + path);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw InputError(std::string("cannot read the ") + what + " " + path);
  return text;
}

bool IsBlank(const std::string& text) { return text.find_first_not_of(" \t\r\n") == std::string::npos; }

MachineProfile LoadProfile(const std::string& path) {
  if (path.empty()) return ReadMachineProfile(json::object());
  json document;
  try {
    document = json::parse(ReadFile(path, "machine profile"));
  } catch (const json::exception& error) {
    throw InputError("machine profile " + path + ": not JSON: " + error.what());
  }
  try {
    return ReadMachineProfile(document);
  } catch (const ProfileError& error) {
    throw InputError("machine profile " + path + ": " + error.what());
  }
}

// A "pnr" with placeholders is judged as the installer expands it, for each offer
// this machine would show (the marker is written once its page was shown).
void AddExpandedMarkerWarnings(Report& report) {
  const CampaignRun& run = report.run;
  for (std::size_t i = 0; i < run.accepted.size(); ++i) {
    const Package& package = *run.accepted[i];
    if (!package.m_pn.enabled) continue;
    auto warning = MarkerPathWarning(run.acceptedIndex[i], package.m_pn.registryPath, true);
    if (!warning) continue;
    const bool known = std::any_of(report.problems.begin(), report.problems.end(),
                                   [&](const Problem& problem) { return problem.path == warning->path; });
    if (!known) report.problems.push_back(std::move(*warning));
  }
}

int Check(const Options& options, std::ostream& out) {
  MachineProfile profile = LoadProfile(options.machine);
  Report report;
  report.replyPath = options.reply;
  report.wizard = options.wizard;
  report.machinePath = options.machine;
  report.windowsVersion = profile.windowsVersion;
  report.wow64 = profile.machine.wow64;
  report.answers = options.answers.value_or(std::vector<Answer>());
  report.expand = options.expand;

  // As the installer's configuration request reads the reply: comments are not JSON.
  const std::string text = ReadFile(options.reply, "reply document");
  json reply;
  try {
    if (IsBlank(text)) throw std::invalid_argument("the document is empty");
    reply = json::parse(text, nullptr, true, false);
  } catch (const std::exception& error) {
    report.notJson = error.what();
  }

  int code = kFailsToLoad;
  if (!report.notJson) {
    const int wizardType = WizardTypeFromName(options.wizard);
    report.problems = CheckReply(reply, wizardType);
    ProfileEnvironment environment(profile.settings);
    ConfigurationManager settings(environment,
                                  BuildOptions{options.wizard, true, false, L"localhost", L"localhost", L"localhost", true, ""});
    CampaignRunner runner(profile.machine, settings,
                          RunSetup{profile.windowsVersion, profile.machine.nowSeconds, profile.country});
    report.run = runner.Load(reply);
    report.country = settings.m_campaignL;
    AddExpandedMarkerWarnings(report);
    if (options.answers && report.run.loads) {
      try {
        runner.PlayFlow(report.run, *options.answers);
      } catch (const std::invalid_argument& error) {
        throw InputError(std::string("--answers: ") + error.what());
      }
    }
    code = report.run.loads && !(options.strict && HasErrors(report.problems)) ? kLoads : kFailsToLoad;
  }
  if (options.json) {
    out << ToJson(report).dump(2) << "\n";
  } else {
    WriteText(report, out);
  }
  return code;
}

}  // namespace

int RunCampaignCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    const Options options = ParseOptions(args);
    if (options.help) {
      out << kUsage;
      return kLoads;
    }
    return Check(options, out);
  } catch (const InputError& error) {
    err << "campaign-check: " << error.what() << "\n";
    if (args.empty()) err << "\n" << kUsage;
    return kUnreadableInput;
  }
}

}  // namespace ostrane::campaign_check
