// Campaign load: from the reply's bytes to the accepted offers, as the loading task
// does it (parse, then LoadCampaign through the offer rules), against parsing the same
// bytes alone. Replies of 10 to 10,000 offers, each with placeholders in its texts and
// rules that run: registry keys and values, files, running programs, hardware, OS and
// platform versions, uninstall age, partner blocks with show limits. The machine is a
// DescribedMachine in both builds: the figures are the core's cost, not Windows' (the
// rules read hardware, processes and App Paths once per load, as they do on Windows).
// Events go to a link that accepts and drops them, so no network is involved; each
// iteration waits for its sends outside the timed part.
#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "eligibility/campaign_loader.h"
#include "eligibility/described_machine.h"
#include "net/request_context.h"
#include "settings/configuration_manager.h"
#include "testing/fake_system_environment.h"

namespace ostrane {
namespace {

using nlohmann::json;

// How many distinct vendors the machine knows: its facts do not grow with the reply.
constexpr int kVendors = 40;

class DroppingLink : public ServerLink {
 public:
  bool PostJson(const std::wstring&, const std::string&, HeaderList, std::string& response,
                std::uint32_t& status) override {
    response = "{}";
    status = 200;
    return true;
  }
  void Pause(std::chrono::milliseconds) override {}
};

std::string Text(const char* format, int value) {
  char text[256];
  std::snprintf(text, sizeof text, format, value, value, value);
  return text;
}

// Offer i: one in five passes every rule; the others fail one rule each, in turn a
// registry key, a file, a running program, the disk and an uninstall age. Every tenth
// has a partner block with show limits that never bite.
json MakeOffer(int i) {
  const int vendor = i % kVendors;
  json ps = {
      {"i", Text("offer%d", i)},
      {"dn", Text("Offer %d for {cc}", i)},
      {"u", Text("https://cdn.test/{cc}/offer%d.exe?u={userid}&s={sessionid}&p={pubid}&b={ispb}", i)},
      {"p", "/S /aflt={aflt} /pxl={pxl} /of={of} /acc={account_md5}"},
      {"c", Text("ch%d", i % 5)},
      {"cp", "https://p.test/privacy?cc={cc}&u={userid}"},
      {"ctu", "https://p.test/terms?cc={cc}"},
      {"v", i + 1},
      {"ram", 1024},
      {"cpu", 1000},
      {"ov", 61},
      {"pv", "1.0.0.0"},
      {"r", {Text("Other%d\\App", i)}},
      {"rvn", {Text("hkcu\\software\\other%d\\installed", i)}},
      {"fe", {Text("{commonpf}\\Other%d\\app.exe", i)}},
      {"a", {Text("other%d.exe", i)}},
      {"eapp", {Text("other%d.exe", i)}},
  };
  switch (i % 5) {
    case 1:
      ps["r"].push_back(Text("Vendor%d\\App", vendor));
      break;
    case 2:
      ps["fe"].push_back(Text("{commonpf}\\Vendor%d\\app.exe", vendor));
      break;
    case 3:
      ps["a"].push_back(Text("vendor%d.exe", vendor));
      break;
    case 4:
      ps["cmdu"] = {{{"utr", "HKEY_CURRENT_USER"}, {"utk", Text("Software\\Vendor%d", vendor)}, {"utvn", "Removed"},
                     {"utvt", "REG_SZ"}, {"umd", 30}}};
      break;
    default:
      ps["disk"] = 500;
      break;
  }
  if (i % 10 == 0) {
    ps["pn"] = true;
    ps["pnr"] = Text("SOFTWARE\\Partner%d\\NextShow", vendor);
    ps["pnau"] = "https://pn.test/api";
    ps["pnak"] = Text("key%d", i);
    ps["pnrp"] = {{"default", "d"}, {"10.0", "ten"}};
    ps["sp"] = "/pn={pnrparam} /cc={cc}";
    ps["cfs"] = {{"mb", 1000000}, {"ma", 1000000}};
  }
  return {{"ad", {{"o", Text("o%d", i)}, {"f", Text("flow%d", i % 7)}}}, {"ps", ps}};
}

std::string MakeReply(int offers) {
  json reply = {{"l", "DE"}, {"f", {{"a", "pub-7"}, {"m", offers}}}, {"o", json::array()}};
  for (int i = 0; i < offers; ++i) reply["o"].push_back(MakeOffer(i));
  return reply.dump();
}

void Describe(DescribedMachine& machine) {
  for (int k = 0; k < kVendors; ++k) {
    machine.AddKey(RegistryRoot::LocalMachine, RegistryView::Native64, L"SOFTWARE\\Vendor" + std::to_wstring(k) + L"\\App");
    machine.AddFile(L"C:\\Program Files\\Vendor" + std::to_wstring(k) + L"\\app.exe");
    machine.processes.push_back(L"vendor" + std::to_wstring(k) + L".exe");
    // Uninstalled a day before "now": within every offer's 30 days.
    machine.SetValue(RegistryRoot::CurrentUser, RegistryView::Default, L"Software\\Vendor" + std::to_wstring(k),
                     L"Removed", {kRegSz, std::to_wstring(machine.nowSeconds - 86400), 0});
  }
  // Windows always has these; without them every key check would fail its enumeration.
  for (const RegistryView view : {RegistryView::Default, RegistryView::Native64}) {
    machine.AddKey(RegistryRoot::LocalMachine, view, L"SOFTWARE\\Microsoft");
    machine.AddKey(RegistryRoot::CurrentUser, view, L"Software\\Microsoft");
  }
  for (const wchar_t* name : {L"explorer.exe", L"svchost.exe", L"winlogon.exe", L"csrss.exe", L"dwm.exe"})
    machine.processes.push_back(name);
}

struct LoadSetup {
  testing::FakeSystemEnvironment environment;
  std::unique_ptr<ConfigurationManager> settings;
  DescribedMachine machine;
  std::shared_ptr<DroppingLink> link = std::make_shared<DroppingLink>();
  std::vector<std::shared_ptr<Package>> built;
  OfferFactory factory;

  LoadSetup() {
    environment.UseTypicalFolders();
    environment.machineGuidReads = {"{8a3e4f1c-0000-4b6e-9d2a-5f1e2d3c4b5a}"};
    settings = std::make_unique<ConfigurationManager>(environment,
                                                      BuildOptions{"ISV", true, false, L"c.test", L"d.test", L"w.test"});
    settings->m_fileVersion = L"2.1.0.5";
    Describe(machine);
    // What the loading task's factory makes for every offer, from the settings.
    factory.makeContext = [this] { return BuildRequestContext(RequestFactsFrom(*settings, "10.0.19045", true)); };
    factory.makeSources = [this] {
      OfferSources sources = OfferSourcesFrom(*settings, "0cc175b9c0f1b6a831c399e269772661", "10.0");
      sources.currentTimeMillis = [] { return std::string("1700000000000"); };
      return sources;
    };
    factory.prepare = [this](Package& package) {
      package.SetServerLink(link);
      built.push_back(package.shared_from_this());
    };
  }

  CampaignLoad Load(const std::string& bytes) {
    settings->m_acceptedByRules = 0;
    settings->m_offerFlowCount = 0;
    const json reply = json::parse(bytes);
    return LoadCampaign(reply, *settings, machine, factory);
  }

  void WaitForSends() {
    for (const auto& package : built) package->WaitForSends();
    built.clear();
  }
};

void BM_CampaignLoad(benchmark::State& state) {
  const int offers = static_cast<int>(state.range(0));
  const std::string bytes = MakeReply(offers);
  LoadSetup setup;
  // Check once, untimed, that the rules ran as designed: one in five accepted.
  {
    const CampaignLoad load = setup.Load(bytes);
    setup.WaitForSends();
    if (static_cast<int>(load.packages.size()) != (offers + 4) / 5) {
      state.SkipWithError("the rules did not accept one offer in five");
      return;
    }
  }
  std::size_t accepted = 0;
  for (auto _ : state) {
    CampaignLoad load = setup.Load(bytes);
    accepted = load.packages.size();
    benchmark::DoNotOptimize(load);
    state.PauseTiming();
    setup.WaitForSends();
    load.packages.clear();
    state.ResumeTiming();
  }
  state.counters["offers"] = offers;
  state.counters["accepted"] = static_cast<double>(accepted);
  state.counters["bytes"] = static_cast<double>(bytes.size());
}

void BM_ParseOnly(benchmark::State& state) {
  const std::string bytes = MakeReply(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    json reply = json::parse(bytes);
    benchmark::DoNotOptimize(reply);
  }
  state.counters["offers"] = static_cast<double>(state.range(0));
  state.counters["bytes"] = static_cast<double>(bytes.size());
}

// Where the load's time goes: the parse and every offer's package made as the loader
// makes it (context, sources, placeholders, base record), without the rules and
// without events. The rest of BM_CampaignLoad is the rules and their event sends.
void BM_ParseAndPackages(benchmark::State& state) {
  const std::string bytes = MakeReply(static_cast<int>(state.range(0)));
  LoadSetup setup;
  for (auto _ : state) {
    const json reply = json::parse(bytes);
    std::vector<std::shared_ptr<Package>> packages;
    for (const json& offer : reply["o"]) {
      packages.push_back(std::make_shared<Package>(setup.factory.makeContext(), offer, setup.factory.makeSources(),
                                                   static_cast<int>(packages.size())));
    }
    benchmark::DoNotOptimize(packages);
  }
  state.counters["offers"] = static_cast<double>(state.range(0));
}

// Side by side at each size: the parse, the parse with the packages, the whole load.
BENCHMARK(BM_ParseOnly)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ParseAndPackages)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CampaignLoad)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace ostrane

BENCHMARK_MAIN();
