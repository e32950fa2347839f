// The document check against the installer's loader: for every key an offer or the
// reply can hold and every kind of wrong value, the check reports an error exactly
// when LoadCampaign fails, at the place that was changed; and what it reports.
#include "check_report.h"

#include <gtest/gtest.h>

#include "eligibility/campaign_loader.h"
#include "eligibility/described_machine.h"
#include "settings/configuration_manager.h"
#include "settings/wizard_type.h"
#include "testing/fake_server_link.h"
#include "testing/fake_system_environment.h"
#include "testing/sample_request.h"

namespace ostrane::campaign_check {
namespace {

using nlohmann::json;

// An offer with every key the installer reads, each with a value it takes.
json FullOffer() {
  const json none = json::array();
  return {{"ad", {{"o", "full"}, {"f", "flow"}}},
          {"ps",
           {{"i", "full.png"}, {"dn", "Full"}, {"u", "https://p.test/full.exe"},
            {"pn", true}, {"pnau", "https://pn.test"}, {"pnak", "key"}, {"pnr", "SOFTWARE\\Partner\\Next"},
            {"pnop", "op"}, {"pnsi", false}, {"la", "en"}, {"pnrp", {{"default", "d"}, {"10.0", "t"}}},
            {"sp", "/s={pnrparam}"},
            {"cfs", {{"mb", 5}, {"ab", none}, {"ma", 5}, {"aa", none}, {"mo", 5}, {"saad", false}, {"sied", false}}},
            {"p", "/q"}, {"cp", "https://p.test/privacy"}, {"ctu", "https://p.test/terms"}, {"v", 1}, {"exc", false},
            {"c", "ch"}, {"disk", 1}, {"ram", 1}, {"cpu", 1}, {"ov", 61}, {"pv", "0.1"}, {"win64", false}, {"x", 0},
            {"fe", none}, {"ife", none}, {"a", none}, {"r", none}, {"ir", none}, {"rvn", none}, {"rvd", none},
            {"cmdu", {{{"utr", "hkey_current_user"}, {"utk", "software\\partner"}, {"utvn", "removed"},
                       {"utvt", "REG_QWORD"}, {"umd", 30}, {"utms", false}}}},
            {"eapp", none}, {"iapp", none}, {"sha256", std::string(64, 'a')}, {"signer", "Partner Ltd"}}}};
}

json SmallOffer() { return {{"ad", {{"o", "a"}, {"f", "f"}}}, {"ps", {{"i", "a.png"}, {"dn", "A"}, {"u", "https://p.test/a"}}}}; }

json ProductBlock() {
  return {{"ct", "Tool"}, {"cu", "https://d.test/tool.exe"}, {"cl", "l"}, {"cf", "f"}, {"cp", "p"}, {"ctu", "t"},
          {"ch", "ch-1"}, {"cfl", "fl"}, {"cb", "b"}, {"sha256", std::string(64, 'B')}, {"signer", "Tool Maker"}};
}

// Whether the installer's loader takes the reply, on a 64-bit Windows 10 with nothing installed.
bool Loads(const json& reply, const std::string& wizard) {
  testing::FakeSystemEnvironment environment;
  ConfigurationManager settings(environment, BuildOptions{wizard, true, false, L"c", L"d", L"w", true, ""});
  DescribedMachine machine;
  auto link = std::make_shared<testing::FakeServerLink>();
  std::vector<std::shared_ptr<Package>> built;
  OfferFactory factory;
  factory.makeContext = [] { return testing::SampleRequestContext(); };
  factory.makeSources = [&] {
    OfferSources sources;
    sources.osMajorMinor = "10.0";
    sources.pathPlaceholders = settings.GetPathPlaceholders();
    return sources;
  };
  factory.prepare = [&](Package& package) {
    package.SetServerLink(link);
    built.push_back(package.shared_from_this());
  };
  bool loads = false;
  try {
    loads = !LoadCampaign(reply, settings, machine, factory).configurationError;
  } catch (const std::exception&) {
    loads = false;
  }
  for (const auto& package : built) package->WaitForSends();
  return loads;
}

// Every place in the value, as JSON pointers, the value itself first.
void Places(const json& value, const json::json_pointer& at, std::vector<json::json_pointer>& places) {
  places.push_back(at);
  if (value.is_object()) {
    for (const auto& [key, member] : value.items()) Places(member, at / key, places);
  } else if (value.is_array()) {
    for (std::size_t i = 0; i < value.size(); ++i) Places(value[i], at / i, places);
  }
}

// "/o/0/ps/pnrp/10.0" as the check writes places: o[0].ps.pnrp["10.0"].
std::string PathText(const json::json_pointer& pointer, const json& document) {
  std::string text;
  json::json_pointer at;
  const std::string pointerText = pointer.to_string();
  std::size_t start = 1;
  while (!pointerText.empty()) {
    const auto end = pointerText.find('/', start);
    const std::string token = pointerText.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (document.at(at).is_array()) {
      text += "[" + token + "]";
    } else if (token.find('.') != std::string::npos) {
      text += "[" + json(token).dump() + "]";
    } else {
      text += (text.empty() ? "" : ".") + token;
    }
    at /= token;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return text;
}

bool SamePlaceOrAround(const std::string& a, const std::string& b) {
  const std::string& shorter = a.size() < b.size() ? a : b;
  const std::string& longer = a.size() < b.size() ? b : a;
  if (longer.compare(0, shorter.size(), shorter) != 0) return false;
  return longer.size() == shorter.size() || shorter.empty() || longer[shorter.size()] == '.' || longer[shorter.size()] == '[';
}

void ExpectAgreement(const json& reply, const std::vector<json::json_pointer>& places, const std::string& wizard) {
  const std::vector<json> values = {nullptr, true, -1, 2.5, "", "text", json::array(), {"text"}, {1}, json::object()};
  for (const auto& place : places) {
    std::vector<std::pair<std::string, json>> changed;
    if (!place.empty()) {
      json erased = reply;
      json& parent = erased.at(place.parent_pointer());
      if (parent.is_object()) {
        parent.erase(place.back());
      } else {
        parent.erase(static_cast<std::size_t>(std::stoul(place.back())));
      }
      changed.emplace_back("erased", erased);
    }
    for (const json& value : values) {
      json document = reply;
      document[place] = value;
      changed.emplace_back(value.dump(), document);
    }
    const std::string path = PathText(place, reply);
    for (const auto& [what, document] : changed) {
      const auto problems = CheckReply(document, WizardTypeFromName(wizard));
      const bool loads = Loads(document, wizard);
      EXPECT_EQ(HasErrors(problems), !loads) << wizard << " " << path << " " << what;
      if (loads) continue;
      const bool placed = std::any_of(problems.begin(), problems.end(), [&](const Problem& problem) {
        return problem.severity == Problem::Severity::Error && SamePlaceOrAround(problem.path, path);
      });
      EXPECT_TRUE(placed) << wizard << " " << path << " " << what << ": no error there";
    }
  }
}

TEST(ReplyCheckTest, AnErrorInAnOfferExactlyWhenTheLoaderFails) {
  const json reply = {{"f", {{"m", 5}}}, {"o", {FullOffer()}}};
  std::vector<json::json_pointer> places;
  Places(reply["o"][0], json::json_pointer("/o/0"), places);
  ExpectAgreement(reply, places, "ISV");

  // Without "pn" the partner keys are not read, whatever they hold.
  json plain = reply;
  plain["o"][0]["ps"]["pn"] = false;
  ExpectAgreement(plain, {json::json_pointer("/o/0/ps/cfs"), json::json_pointer("/o/0/ps/pnrp/default"),
                          json::json_pointer("/o/0/ps/la")},
                  "ISV");
}

TEST(ReplyCheckTest, AnErrorInTheReplyExactlyWhenTheLoaderFails) {
  const json isv = {{"l", "US"}, {"f", {{"a", "pub"}, {"m", 5}}}, {"o", {SmallOffer()}}};
  ExpectAgreement(isv, {json::json_pointer(""), json::json_pointer("/l"), json::json_pointer("/f"),
                        json::json_pointer("/f/a"), json::json_pointer("/f/m"), json::json_pointer("/o")},
                  "ISV");
  json dlm = isv;
  dlm["i"] = ProductBlock();
  std::vector<json::json_pointer> places = {json::json_pointer(""), json::json_pointer("/f/m"), json::json_pointer("/o")};
  Places(dlm["i"], json::json_pointer("/i"), places);
  ExpectAgreement(dlm, places, "DLM");
}

std::vector<std::string> Summary(const std::vector<Problem>& problems) {
  std::vector<std::string> lines;
  for (const auto& problem : problems) {
    if (problem.severity == Problem::Severity::Warning) {
      lines.push_back("warning " + problem.path);
      continue;
    }
    lines.push_back("error " + problem.path + " " + problem.expected + "/" + problem.found +
                    (problem.condition.empty() ? "" : " (" + problem.condition + ")"));
  }
  return lines;
}

json WithPs(json ps) {
  json offer = SmallOffer();
  offer["ps"].update(ps);
  return offer;
}

TEST(ReplyCheckTest, WhatIsReported) {
  json noName = SmallOffer();
  noName["ps"].erase("dn");
  const struct {
    const char* what;
    json reply;
    int wizard;
    std::vector<std::string> problems;
  } cases[] = {
      {"every problem, not the first",
       {{"f", {{"m", "3"}}}, {"o", {noName, WithPs({{"ram", "512"}, {"fe", {"a", 1, "b", nullptr}}}), "offer"}}},
       kWizardIsv,
       {"error f.m number or boolean/string", "error o[0].ps.dn string/missing", "error o[1].ps.ram number/string",
        "error o[1].ps.fe[1] string/number", "error o[1].ps.fe[3] string/null", "error o[2] object/string"}},
      {"a version's pnrp value fails on that version only",
       {{"f", {{"m", 3}}}, {"o", {WithPs({{"pn", true}, {"pnrp", {{"default", 1}, {"6.1", false}, {"", 2}}}})}}},
       kWizardIsv,
       {"error o[0].ps.pnrp[\"\"] string/number (where the Windows version cannot be read)",
        "error o[0].ps.pnrp[\"6.1\"] string/boolean (on Windows 6.1)", "error o[0].ps.pnrp.default string/number"}},
      {"a short root in an uninstall check",
       {{"f", {{"m", 3}}},
        {"o", {WithPs({{"cmdu", {{{"utr", "HKLM"}, {"utk", "software\\x"}, {"utvn", "t"}, {"utvt", "REG_SZ"}, {"umd", 1}}}}})}}},
       kWizardIsv,
       {"error o[0].ps.cmdu[0].utr hkey_local_machine, hkey_current_user, hkey_classes_root, hkey_users or "
        "hkey_current_config/\"HKLM\" (when the rules reach this check)"}},
      {"keys that do nothing or never let the offer through",
       {{"f", {{"m", 0}}},
        {"o", {WithPs({{"cfs", {{"saad", true}}}, {"ov", 95}, {"disk", -5}}), WithPs({{"pn", true}, {"pnrp", "w10"}}),
               WithPs({{"rvd", {"vendor\\level\\4294967296", "vendor\\edition\\free", "vendor\\level\\4294967295"}}})}}},
       kWizardIsv,
       {"warning f.m", "warning o[0].ps.pn", "warning o[0].ps.disk", "warning o[0].ps.ov", "warning o[1].ps.pnrp",
        "warning o[2].ps.rvd[0]", "warning o[2].ps.rvd[1]"}},
      {"the version codes the rules know",
       {{"f", {{"m", 3}}}, {"o", {WithPs({{"ov", 61}}), WithPs({{"ov", 62}}), WithPs({{"ov", 63}}), WithPs({{"ov", 100}})}}},
       kWizardIsv,
       {}},
      {"links the wizard will not open: warnings, the load goes on",
       {{"f", {{"m", 3}}},
        {"o", {WithPs({{"cp", "www.example.com/privacy"}, {"ctu", "https://p.test/terms?u={pxl}"}}),
               WithPs({{"cp", ""}, {"ctu", "javascript:alert(1)"}}), WithPs({{"cp", "https://p.test/a b"}})}}},
       kWizardIsv,
       {"warning o[0].ps.cp", "warning o[1].ps.cp", "warning o[1].ps.ctu", "warning o[2].ps.cp"}},
      {"DLM: the product's links too",
       {{"i", {{"ct", "T"}, {"cu", "https://d.test"}, {"cp", "https://d.test/privacy"}, {"ctu", "d.test/terms"}}}},
       kWizardDlm,
       {"warning i.ctu"}},
      {"f.a is read without offers", {{"f", {{"a", 7}}}}, kWizardIsv, {"error f.a string/number"}},
      {"not an object: no offers", json::array(), kWizardIsv, {"warning "}},
      {"not an object: no DLM product", json::array(), kWizardDlm, {"error  object/array"}},
      {"DLM without a title",
       {{"i", {{"ct", ""}, {"cu", "https://d.test"}}}},
       kWizardDlm,
       {"error i.ct non-empty string/empty string"}},
      {"DLM channel 00xA: offers not read, broken or not",
       {{"i", {{"ct", "T"}, {"cu", "https://d.test"}, {"ch", "00xA"}}}, {"o", {noName}}},
       kWizardDlm,
       {"warning o"}},
      {"the DLM block is not read by ISV", {{"i", 5}}, kWizardIsv, {}},
      {"a digest that is no digest, an empty signer",
       {{"f", {{"m", 3}}}, {"o", {WithPs({{"sha256", "abc"}, {"signer", ""}})}}},
       kWizardIsv,
       {"error o[0].ps.sha256 64 hexadecimal digits/\"abc\"", "error o[0].ps.signer non-empty string/empty string"}},
      // What placeholders make of a path is for the run, which expands them
      // (campaign_check_test.cpp); without "pn" the path is not read.
      {"a partner date marker the installer will not write",
       {{"f", {{"m", 3}}},
        {"o",
         {WithPs({{"pn", true}, {"pnr", "SOFTWARE\\Policies\\Microsoft\\Windows Defender\\DisableAntiSpyware"}}),
          WithPs({{"pn", true}, {"pnr", "SOFTWARE\\PoliciesX\\Next"}}),
          WithPs({{"pn", true}, {"pnr", "SOFTWARE\\WOW6432Node\\classes\\Next"}}),
          WithPs({{"pn", true}, {"pnr", "SOFTWARE\\{of}\\Next"}}), WithPs({{"pn", true}, {"pnr", ""}}),
          WithPs({{"pnr", "SOFTWARE\\Policies\\Next"}}), WithPs({{"pn", true}, {"pnr", "SOFTWARE\\Policies\\{of}"}})}}},
       kWizardIsv,
       {"warning o[0].ps.pnr", "warning o[2].ps.pnr", "warning o[5].ps.pn", "warning o[6].ps.pnr"}},
      {"a ZIP offer without a digest",
       {{"f", {{"m", 3}}},
        {"o",
         {WithPs({{"u", "https://p.test/pack.ZIP?name=setup.exe"}}),
          WithPs({{"u", "https://p.test/pack.zip"}, {"sha256", std::string(64, 'c')}}),
          WithPs({{"u", "https://p.test/get?file=pack.zip"}}), WithPs({{"u", "https://pack.zip/setup.exe"}}),
          WithPs({{"u", "https://pack.zip"}}), WithPs({{"u", "files/pack.zip#top"}}),
          WithPs({{"u", "https://p.test/pack.zip.exe"}})}}},
       kWizardIsv,
       {"warning o[0].ps.sha256", "warning o[5].ps.sha256"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Summary(CheckReply(c.reply, c.wizard)), c.problems) << c.what;

  const auto link = CheckReply({{"f", {{"m", 3}}}, {"o", {WithPs({{"cp", "www.example.com/privacy"}})}}}, kWizardIsv);
  ASSERT_EQ(link.size(), 1u);
  EXPECT_EQ(link[0].message,
            "not a web page (does not begin with http:// or https://): the wizard will not open this link");
}

}  // namespace
}  // namespace ostrane::campaign_check
