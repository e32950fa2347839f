// The campaign reply as the loading task reads it: the server's bytes as JSON, then
// the offers through the rules against a described machine, for ISV and for DLM.
//
// An input may begin with lines that describe the machine, each starting with '#';
// the reply is what follows them:
//   #32bit                          no WOW64 (the machine is 64-bit otherwise)
//   #os 6.1                         the Windows version
//   #disk N  #ram N  #cpu N         hardware facts; 0 makes the query fail
//   #today 20240101                 the local date
//   #proc name.exe                  a running program
//   #file C:\path                   a file that exists
//   #key ROOT\path                  a registry key ("#key64": in the 64-bit view)
//   #sz ROOT\path\name=text         a REG_SZ value (also "#sz64")
//   #dword ROOT\path\name=N         a REG_DWORD value (also "#dword64", "#qword", "#qword64")
//   #broken ROOT\path               a key whose reads fail (also "#broken64")
// ROOT is a short or long root name ("hklm", "hkey_current_user").
//
// A failed load is expected: the JSON library's errors, the rules' registry errors
// and the number errors of std::invalid_argument and std::out_of_range. Any other
// exception escapes and is a finding, as are crashes and sanitizer reports.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "eligibility/campaign_loader.h"
#include "eligibility/described_machine.h"
#include "eligibility/registry_error.h"
#include "fuzz_check.h"
#include "system/text_convert.h"
#include "settings/configuration_manager.h"
#include "testing/fake_system_environment.h"
#include "testing/sample_request.h"

namespace {

using namespace ostrane;

// Takes every event and answers it at once, so no send waits or retries.
class DroppingLink : public ServerLink {
 public:
  bool PostJson(const std::wstring&, const std::string&, HeaderList, std::string&, std::uint32_t& status) override {
    status = 200;
    return true;
  }
  void Pause(std::chrono::milliseconds) override {}
};

const std::map<std::string, RegistryRoot> kRootNames = {
    {"hklm", RegistryRoot::LocalMachine},   {"hkey_local_machine", RegistryRoot::LocalMachine},
    {"hkcu", RegistryRoot::CurrentUser},    {"hkey_current_user", RegistryRoot::CurrentUser},
    {"hkcr", RegistryRoot::ClassesRoot},    {"hkey_classes_root", RegistryRoot::ClassesRoot},
    {"hku", RegistryRoot::Users},           {"hkey_users", RegistryRoot::Users},
    {"hkcc", RegistryRoot::CurrentConfig},  {"hkey_current_config", RegistryRoot::CurrentConfig},
};

std::uint64_t Number(const std::string& text) {
  std::uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') break;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

// "ROOT\path" as root and path below it; false for an unknown root.
bool SplitRoot(const std::string& text, RegistryRoot& root, std::wstring& path) {
  const auto slash = text.find('\\');
  const auto it = kRootNames.find(text.substr(0, slash));
  if (it == kRootNames.end()) return false;
  root = it->second;
  path = slash == std::string::npos ? std::wstring() : Utf8ToWide(text.substr(slash + 1));
  return true;
}

void Describe(DescribedMachine& machine, const std::string& command, const std::string& argument) {
  std::string base = command;
  RegistryView view = RegistryView::Default;
  if (base.size() > 2 && base.compare(base.size() - 2, 2, "64") == 0) {
    view = RegistryView::Native64;
    base.resize(base.size() - 2);
  }
  RegistryRoot root;
  std::wstring path;
  if (command == "32bit") {
    machine.wow64 = false;
  } else if (command == "os") {
    machine.osMajor = static_cast<int>(Number(argument) % 100);
    const auto dot = argument.find('.');
    machine.osMinor = dot == std::string::npos ? 0 : static_cast<int>(Number(argument.substr(dot + 1)) % 100);
  } else if (command == "disk" || command == "ram") {
    const std::uint64_t mb = Number(argument);
    (command == "disk" ? machine.freeDiskMb : machine.memoryMb) = mb ? Measured{mb, 0} : Measured{std::nullopt, 5};
  } else if (command == "cpu") {
    const auto mhz = static_cast<std::uint32_t>(Number(argument));
    machine.processor = mhz ? Machine::CpuSpeed{mhz, false} : Machine::CpuSpeed{std::nullopt, true};
  } else if (command == "today") {
    machine.today = argument;
  } else if (command == "proc") {
    machine.processes.push_back(Utf8ToWide(argument));
  } else if (command == "file") {
    machine.AddFile(Utf8ToWide(argument));
  } else if ((base == "key" || base == "broken") && SplitRoot(argument, root, path)) {
    if (base == "key") {
      machine.AddKey(root, view, path);
    } else {
      machine.BreakReads(root, view, path);
    }
  } else if (base == "sz" || base == "dword" || base == "qword") {
    const auto equals = argument.find('=');
    const std::string target = argument.substr(0, equals);
    const std::string data = equals == std::string::npos ? std::string() : argument.substr(equals + 1);
    const auto slash = target.rfind('\\');
    if (slash == std::string::npos || !SplitRoot(target.substr(0, slash), root, path)) return;
    DescribedMachine::Value value;
    if (base == "sz") {
      value.text = Utf8ToWide(data);
    } else {
      value.type = base == "dword" ? kRegDword : kRegQword;
      value.number = Number(data);
    }
    machine.SetValue(root, view, path, Utf8ToWide(target.substr(slash + 1)), std::move(value));
  }
}

// Reads the machine lines off the front of the input; returns the reply.
std::string_view DescribeMachine(std::string_view input, DescribedMachine& machine) {
  while (!input.empty() && input.front() == '#') {
    const auto end = input.find('\n');
    std::string line(input.substr(1, end == std::string_view::npos ? std::string_view::npos : end - 1));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto space = line.find(' ');
    Describe(machine, line.substr(0, space), space == std::string::npos ? std::string() : line.substr(space + 1));
    input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
  }
  return input;
}

bool IsBlank(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
  });
}

void Load(const nlohmann::json& reply, const char* wizardType, DescribedMachine& machine) {
  testing::FakeSystemEnvironment environment;
  environment.knownFolders = {{KnownFolder::LocalAppData, L"C:\\Users\\u\\AppData\\Local"},
                              {KnownFolder::RoamingAppData, L"C:\\Users\\u\\AppData\\Roaming"},
                              {KnownFolder::ProgramData, L"C:\\ProgramData"},
                              {KnownFolder::ProgramFilesX86, L"C:\\Program Files (x86)"}};
  environment.environmentVariables = {{L"ProgramW6432", L"C:\\Program Files"}};
  environment.wow64 = machine.wow64;
  environment.machineGuidReads = {testing::kSampleGuid};
  environment.localTime.tm_year = 124;
  environment.localTime.tm_mday = 31;
  ConfigurationManager settings(environment, BuildOptions{wizardType, true, false, L"c.test", L"d.test", L"w.test", true, ""});

  static const RequestContext context = testing::SampleRequestContext();
  const auto link = std::make_shared<DroppingLink>();
  std::vector<std::shared_ptr<Package>> built;
  OfferFactory factory;
  factory.makeContext = [] { return context; };
  factory.makeSources = [&settings] {
    OfferSources sources = OfferSourcesFrom(settings, "0123456789abcdef0123456789abcdef", "10.0");
    sources.currentTimeMillis = [] { return std::string("1706745599000"); };
    return sources;
  };
  factory.prepare = [&](Package& package) {
    package.SetServerLink(link);
    built.push_back(package.shared_from_this());
  };
  // Rejected offers report on threads that hold the package: they end before the input does.
  struct WaitForSends {
    std::vector<std::shared_ptr<Package>>& packages;
    ~WaitForSends() {
      for (const auto& package : packages) package->WaitForSends();
    }
  } wait{built};

  CampaignLoad load;
  try {
    load = LoadCampaign(reply, settings, machine, factory);
  } catch (const nlohmann::json::exception&) {
    return;
  } catch (const win32::RegistryError&) {
    return;
  } catch (const std::invalid_argument&) {
    return;
  } catch (const std::out_of_range&) {
    return;
  }

  // What the rules promise of the accepted offers, whatever the reply says.
  const auto& accepted = load.packages;
  FUZZ_CHECK(static_cast<int>(accepted.size()) == settings.m_acceptedByRules);
  FUZZ_CHECK(static_cast<long long>(accepted.size()) <=
             std::max(0LL, static_cast<long long>(settings.m_maxOffers) + settings.m_offerFlowCount));
  for (std::size_t i = 0; i < accepted.size(); ++i) {
    FUZZ_CHECK(accepted[i]->m_position == static_cast<int>(i));
    FUZZ_CHECK(!accepted[i]->m_exclusive || accepted.size() == 1);
    for (std::size_t j = 0; j < i; ++j) FUZZ_CHECK(accepted[j]->m_vertical != accepted[i]->m_vertical);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  DescribedMachine machine;
  const std::string_view text =
      DescribeMachine(std::string_view(reinterpret_cast<const char*>(data), size), machine);
  // The request throws before parsing a blank reply.
  if (IsBlank(text)) return 0;
  nlohmann::json reply;
  try {
    reply = nlohmann::json::parse(text, nullptr, true, false);
  } catch (const nlohmann::json::exception&) {
    return 0;
  }
  for (const char* wizardType : {"ISV", "DLM"}) Load(reply, wizardType, machine);
  return 0;
}
