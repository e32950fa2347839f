// campaign-check.exe against the wizard's own rules on the same machine: the test
// writes keys in both registry views, files and an App Paths entry, describes them
// and the machine's own facts in a profile, loads one campaign as the loading task
// does (the real Win32Machine, the wizard's settings and offer sources), runs the
// tool on the profile, and compares the accepted offers and the reported reasons.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "eligibility/campaign_loader.h"
#include "eligibility/machine_profile.h"
#include "eligibility/win32_machine.h"
#include "system/system_facts.h"
#include "system/text_convert.h"
#include "testing/fake_server_link.h"
#include "testing/scratch_registry.h"
#include "testing/settings_cleanup.h"
#include "winui/unique_handle.h"
#include "testing/kit_paths.h"

namespace ostrane {
namespace {

using nlohmann::json;
using testing::ScratchRegistry;

const auto* const kCleanup = ::testing::AddGlobalTestEnvironment(new testing::SettingsWorkFolderCleanup);

using Reports = std::vector<std::pair<std::string, std::string>>;  // (offer id, reason), in offer order

std::wstring TempPath() {
  wchar_t temp[MAX_PATH + 1] = {};
  ::GetTempPathW(MAX_PATH + 1, temp);
  return temp;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A file of this run, gone when the test ends.
class ScratchFile {
 public:
  explicit ScratchFile(std::wstring path, const std::string& content = {}) : path_(std::move(path)) {
    std::ofstream(std::filesystem::path(path_), std::ios::binary) << content;
  }
  ~ScratchFile() { ::DeleteFileW(path_.c_str()); }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

class CampaignCheckWinTest : public ::testing::Test {
 protected:
  // A hardware fact as the profile writes it: the number, or the failed query's code.
  static json Fact(const Measured& measured) {
    return measured.value ? json(*measured.value) : json{{"error", measured.error}};
  }

  // The key in each view the real machine opens it in.
  json Key(RegistryRoot root, const char* rootName, const std::wstring& path, const json& values) {
    static const std::pair<RegistryView, const char*> kViews[] = {{RegistryView::Default, "default"},
                                                                   {RegistryView::Native64, "native64"}};
    json entries = json::array();
    for (const auto& [view, name] : kViews) {
      if (real_.KeyOpens(root, path, view))
        entries.push_back({{"key", std::string(rootName) + "\\" + WideToUtf8(path)}, {"view", name}, {"values", values}});
    }
    return entries;
  }

  // The campaign as the wizard's loading task loads it on this machine.
  std::pair<std::vector<std::string>, Reports> WizardLoad(const json& reply) { return Load(reply, real_); }

  // The campaign loaded as the loading task does, against a machine.
  static std::pair<std::vector<std::string>, Reports> Load(const json& reply, Machine& machine) {
    const auto settings = ConfigurationManager::Instance();
    settings->m_acceptedByRules = 0;
    settings->m_offerFlowCount = 0;
    auto link = std::make_shared<testing::FakeServerLink>();
    std::vector<std::shared_ptr<Package>> built;
    OfferFactory factory;
    factory.makeContext = MakeRequestContext;
    factory.makeSources = MakeOfferSources;
    factory.prepare = [&](Package& package) {
      package.SetServerLink(link);
      built.push_back(package.shared_from_this());
    };
    const CampaignLoad load = LoadCampaign(reply, *settings, machine, factory);
    for (const auto& package : built) package->WaitForSends();
    std::vector<std::string> accepted;
    for (const auto& package : load.packages) accepted.push_back(package->m_analyticsId);
    Reports reported;
    const auto posts = link->posts();
    for (const auto& package : built) {
      for (const auto& post : posts) {
        const json record = json::parse(json::parse(post.body)["data"].get<std::string>());
        if (record["5"] == package->m_analyticsId && record["6"] == "2")
          reported.emplace_back(package->m_analyticsId, record["13"].get<std::string>());
      }
    }
    return {accepted, reported};
  }

  // campaign-check.exe's JSON report.
  json RunTool(const std::wstring& profile, const std::wstring& reply) {
    const std::wstring exe = testing::TestFilePath(OSTRANE_CHECK_EXE);
    const ScratchFile output(TempPath() + name_ + L".out.json");
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    win::UniqueFileHandle out(::CreateFileW(output.path().c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(out);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out.get();
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    std::wstring command = L"\"" + exe + L"\" --json --machine \"" + profile + L"\" \"" + reply + L"\"";
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &process)) {
      ADD_FAILURE() << "campaign-check.exe did not start: " << ::GetLastError();
      return nullptr;
    }
    win::UniqueKernelHandle processHandle(process.hProcess), threadHandle(process.hThread);
    EXPECT_EQ(::WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
    DWORD code = 0;
    ::GetExitCodeProcess(process.hProcess, &code);
    out.reset();
    std::ifstream in(std::filesystem::path(output.path()), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(code, 0u) << text;
    return json::parse(text);
  }

  const std::wstring name_ = L"OstraneCheck-" + std::to_wstring(::GetCurrentProcessId());
  const std::string narrow_ = WideToUtf8(name_);
  Win32Machine real_;
  ScratchRegistry registry_;
};

TEST_F(CampaignCheckWinTest, TheToolOnAProfileOfThisMachineAgreesWithTheWizard) {
  ASSERT_TRUE(real_.IsWow64()) << "the test expects a 32-bit process on 64-bit Windows";
  const auto settings = ConfigurationManager::Instance();

  // What the offers ask about: keys in the 64-bit and the 32-bit view and in HKCU, a
  // file in the user's folder, an installed program.
  const std::wstring software = L"Software\\" + name_;
  ASSERT_TRUE(registry_.Create(HKEY_LOCAL_MACHINE, software, KEY_WOW64_64KEY));
  ASSERT_TRUE(registry_.Create(HKEY_LOCAL_MACHINE, software + L"\\App", KEY_WOW64_64KEY));
  auto key32 = registry_.Create(HKEY_LOCAL_MACHINE, software, KEY_WOW64_32KEY);
  ASSERT_TRUE(key32);
  const DWORD level = 7, nextOffer = 29991231;
  ScratchRegistry::SetRaw(key32.get(), L"Level", REG_DWORD, &level, sizeof level);
  ScratchRegistry::SetRaw(key32.get(), L"NextOffer", REG_DWORD, &nextOffer, sizeof nextOffer);
  auto user = registry_.Create(HKEY_CURRENT_USER, software);
  ASSERT_TRUE(user);
  ScratchRegistry::SetString(user.get(), L"Edition", L"Pro");
  const std::uint64_t removedAt = static_cast<std::uint64_t>(real_.NowSeconds()) - 86400;
  ScratchRegistry::SetRaw(user.get(), L"RemovedAt", REG_QWORD, &removedAt, sizeof removedAt);

  const ScratchFile present(settings->ExpandPathPlaceholders(L"{localappdata}\\") + name_ + L".txt", "here");
  const ScratchFile program(TempPath() + name_ + L".exe", "MZ");
  const std::wstring entry = L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name_ + L".exe";
  auto app = registry_.Create(HKEY_LOCAL_MACHINE, entry, KEY_WOW64_64KEY);
  ASSERT_TRUE(app);
  ScratchRegistry::SetString(app.get(), L"", program.path());

  wchar_t self[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::string selfName = WideToUtf8(std::wstring(self).substr(std::wstring(self).rfind(L'\\') + 1));
  const std::string lowerName = Lower(narrow_);

  const auto offer = [](const std::string& id, int vertical, json ps) {
    ps.update({{"i", id + ".png"}, {"dn", id}, {"u", "https://localhost/f/" + id + ".exe"}, {"v", vertical}});
    return json{{"ad", {{"o", id}, {"f", "wine"}}}, {"ps", ps}};
  };
  const json reply = {
      {"l", "US"},
      {"f", {{"a", "wine-publisher"}, {"m", 30}}},
      {"o",
       {offer("plain", 1, json::object()),
        offer("key-64", 2, {{"r", {narrow_ + "\\App"}}}),
        offer("key-missing", 3, {{"ir", {narrow_ + "\\Missing"}}}),
        offer("dword-32", 4, {{"rvd", {narrow_ + "\\Level\\7"}}}),
        offer("text-hkcu", 5, {{"rvd", {"hkcu\\software\\" + narrow_ + "\\edition\\pro"}}}),
        offer("value-absent", 6, {{"rvn", {narrow_ + "\\Nothing"}}}),
        offer("file-present", 7, {{"fe", {"{localappdata}\\" + narrow_ + ".txt"}}}),
        offer("file-needed", 8, {{"ife", {"{localappdata}\\" + narrow_ + ".txt"}}}),
        offer("running", 9, {{"a", {selfName}}}),
        offer("app-excluded", 10, {{"eapp", {lowerName + ".exe"}}}),
        offer("app-required", 11, {{"iapp", {lowerName + ".exe"}}}),
        offer("ram-huge", 12, {{"ram", 100000000}}),
        offer("disk-small", 13, {{"disk", 1}}),
        offer("cpu-slow", 14, {{"cpu", 1}}),
        offer("windows-10", 15, {{"ov", 100}}),
        offer("windows-64", 16, {{"win64", true}}),
        offer("platform", 17, {{"pv", "99.0"}}),
        offer("chrome", 18, {{"x", 12}}),
        offer("partner-date", 19, {{"pn", true}, {"pnr", "SOFTWARE\\" + narrow_ + "\\NextOffer"}}),
        offer("uninstalled", 20,
              {{"cmdu", {{{"utr", "hkey_current_user"}, {"utk", "software\\" + lowerName}, {"utvn", "removedat"},
                          {"utvt", "REG_QWORD"}, {"umd", 30}}}}})}}};

  // The machine as the profile describes it: its own facts and what the test wrote.
  const Win32Machine::CpuSpeed cpu = real_.ProcessorMhz();
  // Keys as the test wrote them; the HKCU one wherever this Windows shows it.
  json registry = json::array({
      {{"key", "HKLM\\" + WideToUtf8(software) + "\\App"}, {"view", "native64"}},
      {{"key", "HKLM\\" + WideToUtf8(software)},
       {"view", "default"},
       {"values", {{"Level", {{"dword", level}}}, {"NextOffer", {{"dword", nextOffer}}}}}}});
  for (const json& key :
       Key(RegistryRoot::CurrentUser, "HKCU", software, {{"Edition", "Pro"}, {"RemovedAt", {{"qword", removedAt}}}}))
    registry.push_back(key);
  json processes = json::array();
  for (const auto& process : real_.RunningProcesses()) processes.push_back(WideToUtf8(process));
  json folders = json::object();
  const PathPlaceholders placeholders = settings->GetPathPlaceholders();
  for (const auto& [name, value] : placeholders.entries())
    if (name != L"commonpf") folders[WideToUtf8(name)] = WideToUtf8(value);
  const json profile = {
      {"windows", OsVersionText()},
      {"wow64", real_.IsWow64()},
      {"memoryMb", Fact(real_.PhysicalMemoryMb())},
      {"freeDiskMb", Fact(real_.FreeDiskMb())},
      {"processorMhz", cpu.mhz ? json(*cpu.mhz) : json{{"error", cpu.openFailed ? "open" : "read"}}},
      {"now", real_.NowSeconds()},
      {"today", real_.TodayLocal()},
      {"files", {WideToUtf8(present.path()), WideToUtf8(program.path())}},
      {"processes", processes},
      {"registry", registry},
      {"appPaths", {{{"name", narrow_ + ".exe"}, {"path", WideToUtf8(program.path())}, {"view", "native64"}}}},
      {"installer",
       {{"version", WideToUtf8(settings->m_fileVersion)},
        {"machineGuid", settings->GetMachineGuid()},
        {"timestamp", settings->GetTimestamp()}}},
      {"folders", folders}};
  const ScratchFile profileFile(TempPath() + name_ + L".profile.json", profile.dump(2));
  const ScratchFile replyFile(TempPath() + name_ + L".reply.json", reply.dump(2));

  const json report = RunTool(profileFile.path(), replyFile.path());
  ASSERT_TRUE(report.is_object());
  std::vector<std::string> toolAccepted;
  Reports toolReported;
  for (const auto& item : report["offers"]) {
    if (item["outcome"] == "accepted") toolAccepted.push_back(item["id"].get<std::string>());
    if (item["outcome"] == "rejected")
      toolReported.emplace_back(item["id"].get<std::string>(), item["reason"].get<std::string>());
  }
  const auto [wizardAccepted, wizardReported] = WizardLoad(reply);

  EXPECT_EQ(toolAccepted, wizardAccepted);
  EXPECT_EQ(toolReported, wizardReported);
  // The machine is what the offers were written for, not a machine that rejects nothing.
  for (const auto& expected : Reports{{"key-64", "REGISTRY KEY EXISTS"},
                                      {"key-missing", "NONE OF THE REGISTRY KEYS EXISTS"},
                                      {"dword-32", "REGISTRY VALUE DATA MATCHES"},
                                      {"text-hkcu", "REGISTRY VALUE DATA MATCHES"},
                                      {"file-present", "FILE EXISTS"},
                                      {"running", "APPLICATION RUNNING"},
                                      {"app-excluded", "REGISTRY EXCLUDE APP FOUND"},
                                      {"platform", "UNSUPPORTED PLATFORM VERSION"},
                                      {"partner-date", "PN NO SHOW"},
                                      {"uninstalled", "MIN DAYS UNINSTALL CHECKER"}})
    EXPECT_NE(std::find(wizardReported.begin(), wizardReported.end(), expected), wizardReported.end()) << expected.first;
  for (const char* id : {"plain", "value-absent", "file-needed", "app-required", "windows-64"})
    EXPECT_NE(std::find(wizardAccepted.begin(), wizardAccepted.end(), id), wizardAccepted.end()) << id;
}


// The registry and file facts of a profile, written to this machine where Windows
// puts them: a key as 64-bit regedit shows it (HKLM\SOFTWARE\WOW6432Node is the
// 32-bit branch), or in the view the profile names; HKCU as one tree.
class ProfileOnThisMachine {
 public:
  ProfileOnThisMachine(const json& registry, ScratchRegistry& scratch) {
    for (const json& entry : registry) {
      const std::string key = entry["key"];
      const auto slash = key.find('\\');
      const std::string rootName = key.substr(0, slash);
      const std::wstring path = Utf8ToWide(key.substr(slash + 1));
      const HKEY root = rootName == "HKCU" ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
      REGSAM view = rootName == "HKCU" ? 0 : KEY_WOW64_64KEY;
      if (entry.contains("view")) view = entry["view"] == "default" ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
      auto made = scratch.Create(root, path, view);
      ok_ = ok_ && static_cast<bool>(made);
      if (!entry.contains("values")) continue;
      for (const auto& [name, value] : entry["values"].items()) {
        const std::wstring wideName = Utf8ToWide(name);
        const std::string type = value.begin().key();
        const json& data = value.begin().value();
        if (type == "sz" || type == "expand_sz") {
          const std::wstring text = Utf8ToWide(data.get<std::string>());
          ScratchRegistry::SetRaw(made.get(), wideName.c_str(), type == "sz" ? REG_SZ : REG_EXPAND_SZ, text.c_str(),
                                  static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
        } else if (type == "dword") {
          const DWORD number = data.get<DWORD>();
          ScratchRegistry::SetRaw(made.get(), wideName.c_str(), REG_DWORD, &number, sizeof number);
        } else {
          ADD_FAILURE() << "the test writes no " << type << " values";
        }
      }
    }
  }
  bool ok() const { return ok_; }

 private:
  bool ok_ = true;
};

// Profiles whose facts the test writes to the registry and files of the prefix: the
// offer rules must give the same verdict on each offer through the real machine
// (Win32Machine) and through the profile. A 32-bit Windows cannot be compared here,
// since this prefix is 64-bit: the machine profile tests hold its single view.
TEST_F(CampaignCheckWinTest, EachProfileGivesTheVerdictsOfTheMachineItDescribes) {
  ASSERT_TRUE(real_.IsWow64()) << "the test expects a 32-bit process on 64-bit Windows";
  const std::string name = narrow_, lower = Lower(narrow_);
  const std::string temp = WideToUtf8(TempPath());  // ends with a backslash
  std::string tempSlashes = temp;
  std::replace(tempSlashes.begin(), tempSlashes.end(), '\\', '/');
  const ScratchFile file(TempPath() + name_ + L".txt", "here");
  const ScratchFile program(TempPath() + name_ + L".exe", "MZ");
  // The expand-string below names a variable of this process, as a user's would be.
  ::SetEnvironmentVariableW(L"OSTRANE_DIFF_FOLDER", TempPath().c_str());
  const std::string appPaths = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + name + ".exe";
  // HKCU\Software\WOW6432Node, when the test makes it, goes again with the test.
  ScratchRegistry hkcuNode;
  if (!real_.KeyOpens(RegistryRoot::CurrentUser, L"Software\\WOW6432Node", RegistryView::Default))
    hkcuNode.Create(HKEY_CURRENT_USER, L"Software\\WOW6432Node");

  const auto offer = [](const std::string& id, json ps) {
    static int vertical = 0;
    ps.update({{"i", id + ".png"}, {"dn", id}, {"u", "https://localhost/f/" + id + ".exe"}, {"v", ++vertical}});
    return json{{"ad", {{"o", id}, {"f", "diff"}}}, {"ps", ps}};
  };
  const struct {
    const char* what;
    json registry;
    json offers;
    // The verdicts the machine must give: rejections by reason; the rest is accepted.
    Reports rejected;
    bool readsHkcuSoftware32 = false;  // its verdicts depend on how HKCU\Software has 32-bit views
  } cases[] = {
      {"default placements in both views",
       {{{"key", "HKLM\\SOFTWARE\\" + name}, {"values", {{"Edition", {{"sz", "Pro"}}}}}},
        {{"key", "HKLM\\SOFTWARE\\" + name + "\\Only64"}},
        {{"key", "HKLM\\SOFTWARE\\WOW6432Node\\" + name + "\\Only32"}},
        {{"key", "HKLM\\SOFTWARE\\WOW6432Node\\" + name}, {"values", {{"Level", {{"dword", 7}}}}}}},
       {offer("only-64", {{"r", {name + "\\Only64"}}}), offer("only-32", {{"r", {name + "\\Only32"}}}),
        offer("64-bit-path", {{"r", {"hklm\\software\\" + lower + "\\only32"}}}),
        offer("32-bit-value", {{"rvd", {name + "\\Level\\7"}}}), offer("64-bit-value", {{"rvd", {name + "\\Edition\\pro"}}}),
        offer("missing", {{"ir", {name + "\\Missing"}}})},
       {{"only-64", "REGISTRY KEY EXISTS"},
        {"only-32", "REGISTRY KEY EXISTS"},
        {"32-bit-value", "REGISTRY VALUE DATA MATCHES"},
        {"64-bit-value", "REGISTRY VALUE DATA MATCHES"},
        {"missing", "NONE OF THE REGISTRY KEYS EXISTS"}}},
      {"HKCU is one tree",
       {{{"key", "HKCU\\Software\\" + name + "\\Shared"}},
        {{"key", "HKCU\\Software\\WOW6432Node\\" + name + "\\Literal"}, {"values", {{"Level", {{"dword", 7}}}}}}},
       {offer("shared", {{"r", {name + "\\Shared"}}}), offer("wow-name", {{"r", {name + "\\Literal"}}}),
        offer("wow-value", {{"rvd", {"hkcu\\software\\" + lower + "\\literal\\level\\7"}}}),
        offer("wow-literal", {{"r", {"hkcu\\software\\wow6432node\\" + lower + "\\literal"}}})},
       // On Windows 7 and later HKCU\Software is shared: the 32-bit candidate of a
       // relative path, and a WOW6432Node path, reach Software\<name>\Literal, not
       // Software\WOW6432Node\<name>\Literal.
       {{"shared", "REGISTRY KEY EXISTS"}},
       true},
      {"an expand-string App Paths entry",
       {{{"key", appPaths}, {"values", {{"", {{"expand_sz", "%OSTRANE_DIFF_FOLDER%" + name + ".exe"}}}}}}},
       {offer("app-excluded", {{"eapp", {lower + ".exe"}}}), offer("app-required", {{"iapp", {lower + ".exe"}}})},
       {{"app-excluded", "REGISTRY EXCLUDE APP FOUND"}}},
      {"file paths with / and ..",
       json::array(),
       {offer("slashes", {{"fe", {tempSlashes + name + ".txt"}}}),
        offer("dot-dot", {{"fe", {temp + "none\\..\\" + name + ".txt"}}}),
        offer("dot", {{"fe", {temp + ".\\" + name + ".txt"}}}),
        offer("missing-file", {{"ife", {temp + name + ".missing"}}})},
       {{"slashes", "FILE EXISTS"},
        {"dot-dot", "FILE EXISTS"},
        {"dot", "FILE EXISTS"},
        {"missing-file", "NONE OF THE FILES EXISTS"}}},
  };
  // Wine 8 gives 32-bit programs HKCU\Software\WOW6432Node for HKCU\Software, where
  // Windows shares the key: there the profile, which follows Windows, is held to the
  // verdicts Windows gives rather than to this machine's.
  bool hkcuSoftwareShared = true;
  {
    ScratchRegistry probe;
    ASSERT_TRUE(probe.Create(HKEY_CURRENT_USER, L"Software\\WOW6432Node\\" + name_));
    hkcuSoftwareShared = !real_.KeyOpens(RegistryRoot::CurrentUser, L"Software\\" + name_, RegistryView::Default);
  }
  if (!hkcuSoftwareShared)
    std::printf("note: this machine redirects HKCU\\Software for 32-bit programs, as Wine does and Windows does "
                "not; the HKCU case is held to Windows' verdicts only\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchRegistry scratch;
    // The tops of the trees first: the scratch registry removes what it made.
    using Top = std::tuple<HKEY, std::wstring, REGSAM>;
    for (const auto& [root, top, view] : {Top{HKEY_LOCAL_MACHINE, L"Software\\" + name_, KEY_WOW64_64KEY},
                                          Top{HKEY_LOCAL_MACHINE, L"Software\\" + name_, KEY_WOW64_32KEY},
                                          Top{HKEY_CURRENT_USER, L"Software\\" + name_, 0},
                                          Top{HKEY_CURRENT_USER, L"Software\\WOW6432Node\\" + name_, 0}})
      ASSERT_TRUE(scratch.Create(root, top, view));
    const ProfileOnThisMachine written(c.registry, scratch);
    ASSERT_TRUE(written.ok());
    const json profile = {
        {"wow64", true},
        {"environment", {{"OSTRANE_DIFF_FOLDER", temp}}},
        {"files", {WideToUtf8(file.path()), WideToUtf8(program.path())}},
        {"registry", c.registry}};
    MachineProfile described = ReadMachineProfile(profile);
    const json reply = {{"f", {{"m", 30}}}, {"o", c.offers}};

    const auto [profileAccepted, profileRejected] = Load(reply, described.machine);
    EXPECT_EQ(profileRejected, c.rejected) << "the profile's verdicts are not Windows'";
    EXPECT_EQ(profileAccepted.size() + profileRejected.size(), c.offers.size());
    if (c.readsHkcuSoftware32 && !hkcuSoftwareShared) continue;
    const auto [realAccepted, realRejected] = Load(reply, real_);
    EXPECT_EQ(profileRejected, realRejected);
    EXPECT_EQ(profileAccepted, realAccepted);
  }
  ::SetEnvironmentVariableW(L"OSTRANE_DIFF_FOLDER", nullptr);
}

}  // namespace
}  // namespace ostrane
