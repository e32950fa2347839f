// The configuration request, analytics delivery and offer pictures against the local
// HTTPS test server, through WinHTTP and with real waits.
#include <windows.h>

#include <gtest/gtest.h>

#include <future>
#include <optional>

#include "analytics/analytics_record.h"
#include "campaign/api_manager.h"
#include "campaign/package.h"
#include "system/digest.h"
#include "net/ostrane_exception.h"
#include "system/system_facts.h"
#include "settings/configuration_manager.h"
#include "testing/settings_cleanup.h"
#include "testing/test_server.h"
#include "winui/gdiplus_image.h"
#include "testing/wine_check.h"

namespace ostrane {
namespace {

using nlohmann::json;
using testing::ServerRecords;
using testing::ServerRules;
using Clock = std::chrono::steady_clock;

const auto* const kCleanup = ::testing::AddGlobalTestEnvironment(new testing::SettingsWorkFolderCleanup);

// The settings' URLs pointed elsewhere for one scope.
class ScopedUrl {
 public:
  ScopedUrl(std::wstring ConfigurationManager::*member, const std::wstring& url)
      : settings_(ConfigurationManager::Instance()), member_(member), saved_((*settings_).*member) {
    (*settings_).*member_ = url;
  }
  ~ScopedUrl() { (*settings_).*member_ = saved_; }

 private:
  std::shared_ptr<ConfigurationManager> settings_;
  std::wstring ConfigurationManager::*member_;
  std::wstring saved_;
};

std::shared_ptr<Package> MakeOffer(const std::string& id) {
  const json offer = {{"ad", {{"o", id}, {"f", "flow-" + id}}},
                      {"ps", {{"i", id + ".png"}, {"dn", "Offer " + id}, {"u", "https://localhost/f/" + id + ".exe"}}}};
  return std::make_shared<Package>(MakeRequestContext(), offer, MakeOfferSources(), 0);
}

std::vector<json> AnalyticsRecords(const ServerRecords& records, const std::string& path = "/zbd") {
  std::vector<json> sent;
  for (const auto& record : records.New())
    if (record["path"] == path) sent.push_back(record);
  return sent;
}

std::string Header(const json& record, const std::string& name) {
  for (const auto& header : record["headers"])
    if (header[0] == name) return header[1];
  return {};
}

bool Stopped(Package& package) {
  std::lock_guard lock(package.m_eventMutex);
  return package.m_stopSending;
}

TEST(ConfigRequestWinTest, SendsTheFactsOfThisInstallerAndParsesTheCampaign) {
  ServerRecords records;
  ServerRules rules(json{{"/o", {{"body", R"({"l": "US", "f": {"m": 3}})"}}}});
  const auto document = ApiManager::Instance()->RequestConfig();
  ASSERT_NE(document, nullptr);
  EXPECT_EQ(*document, json::parse(R"({"l": "US", "f": {"m": 3}})"));

  const auto sent = records.New();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0]["method"], "POST");
  const json body = json::parse(sent[0]["body"].get<std::string>());
  EXPECT_EQ(body["prv"], "0.1");
  EXPECT_EQ(body["plv"], InstallerVersionText());
  EXPECT_EQ(body["o"], OsVersionText());
  EXPECT_EQ(body["a"], "Quillara");
  EXPECT_EQ(body["u"], "");  // this program's name holds no campaign code
  EXPECT_EQ(sent[0]["body"].get<std::string>().substr(0, 5), R"({"a":)");
}

// Both slow cases run side by side: together they sleep 15 s instead of 25 s.
TEST(ConfigRequestWinTest, RetriesWithRealPausesAndFailsOnABlankReply) {
  ServerRecords records;
  ServerRules rules(json{
      {"/o-busy", {{"status", 503}, {"body", "busy"}, {"times", 2}}},
      {"/o-busy*", {{"body", R"({"f": {"m": 1}})"}}},
      {"/o-down", {{"status", 500}, {"body", "{}"}}},
      {"/o-blank", {{"body", " \r\n\t "}}},
  });
  const auto settings = ConfigurationManager::Instance();
  const ConfigRequestFacts facts = ConfigRequestFactsFrom(*settings, "", OsVersionText());

  const auto requestAt = [&](const std::wstring& path) {
    ConfigurationManager copy(DefaultSystemEnvironment(), CompiledBuildOptions());
    ::RemoveDirectoryW(copy.m_workFolder.c_str());
    copy.m_configUrl = L"https://localhost" + path;
    const auto start = Clock::now();
    auto document = ApiManager(DefaultServerLink()).RequestConfig(copy, facts);
    return std::make_pair(std::move(document), Clock::now() - start);
  };
  auto busy = std::async(std::launch::async, requestAt, L"/o-busy");
  auto down = std::async(std::launch::async, requestAt, L"/o-down");
  EXPECT_THROW(requestAt(L"/o-blank"), OstraneException);

  // Two 503s, then the campaign document: only the last reply is parsed.
  auto [campaign, busyTime] = busy.get();
  ASSERT_NE(campaign, nullptr);
  EXPECT_EQ(*campaign, json::parse(R"({"f": {"m": 1}})"));
  EXPECT_GE(busyTime, std::chrono::milliseconds(9900));
  // Three 500s whose body is "{}": a pause after each, then the body is the campaign.
  auto [empty, downTime] = down.get();
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(*empty, json::object());
  EXPECT_GE(downTime, std::chrono::milliseconds(14900));

  std::map<std::string, int> attempts;
  for (const auto& record : records.New()) ++attempts[record["path"]];
  EXPECT_EQ(attempts["/o-busy"], 3);
  EXPECT_EQ(attempts["/o-down"], 3);
  EXPECT_EQ(attempts["/o-blank"], 1);
}

TEST(AnalyticsWinTest, ADeclineArrivesOnceSignedAndEndsThePackagesEvents) {
  ServerRecords records;
  auto offer = MakeOffer("offer-a");
  offer->SendEvent(kEventDeclined, nullptr);
  offer->WaitForSends();
  EXPECT_TRUE(Stopped(*offer));
  offer->SendEvent(kEventUserQuit, nullptr);
  offer->WaitForSends();

  const auto sent = AnalyticsRecords(records);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0]["body"], MakeAnalyticsBody(MakeEventRecord(offer->m_baseEvent, 4, nullptr)));
  const auto settings = ConfigurationManager::Instance();
  EXPECT_EQ(Header(sent[0], "Authorization"),
            "Signature=" + Sha256Hex(settings->GetMachineGuid() + settings->GetTimestamp()));
  const json body = json::parse(sent[0]["body"].get<std::string>());
  EXPECT_EQ(body["table"], "zb_analytics");
  const json record = json::parse(body["data"].get<std::string>());
  EXPECT_EQ(record["6"], "4");
  EXPECT_EQ(record["10"], 2);
  EXPECT_EQ(record["5"], "offer-a");
  EXPECT_EQ(record["1"], settings->GetMachineGuid());
}

TEST(AnalyticsWinTest, StatusesDecideDelivery) {
  ServerRecords records;
  // WinHTTP follows redirects itself: an event is delivered when the target answers.
  // A 302 turns the POST into a GET, which Wine's WinHTTP fails to read back, so the
  // 302 is sent on Windows only; a status of 300-399 reaching the sender is covered
  // by the native tests.
  ServerRules rules(json{
      {"/zbd-moved", {{"status", 307}, {"location", "/zbd-target"}}},
      {"/zbd-found", {{"status", 302}, {"location", "/zbd-target"}}},
      {"/zbd-target", {{"status", 200}, {"body", "{}"}}},
      {"/zbd-gone", {{"status", 404}}},
      {"/zbd", {{"delay_ms", 1500}}},
  });
  struct Case {
    const char* path;
    std::size_t attempts;
    bool delivered;
  };
  std::vector<Case> cases = {{"/zbd-moved", 1, true}, {"/zbd-gone", 2, false}, {"/zbd", 1, true}};
  if (!testing::RunningUnderWine()) cases.push_back({"/zbd-found", 1, true});
  // The sends run side by side; the lost one takes two attempts and two 5 s pauses.
  std::vector<std::shared_ptr<Package>> offers;
  const auto start = Clock::now();
  for (const auto& c : cases) {
    ScopedUrl url(&ConfigurationManager::m_analyticsUrl, L"https://localhost" + std::wstring(c.path, c.path + std::strlen(c.path)));
    offers.push_back(MakeOffer(std::string("offer") + c.path));
    offers.back()->SendEvent(kEventDeclined, nullptr);
  }
  // WaitForSends waits for the slow server.
  offers[2]->WaitForSends();
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(1400));
  EXPECT_TRUE(Stopped(*offers[2]));
  for (auto& offer : offers) offer->WaitForSends();
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(9900));

  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(AnalyticsRecords(records, cases[i].path).size(), cases[i].attempts) << cases[i].path;
    EXPECT_EQ(Stopped(*offers[i]), cases[i].delivered) << cases[i].path;
  }
}

// A 1x1 PNG.
const std::string kPicture(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x01\x00\x00\x00\x01"
    "\x08\x06\x00\x00\x00\x1f\x15\xc4\x89\x00\x00\x00\x0d\x49\x44\x41\x54\x78\x9c\x63\xf8\xcf\xc0\xf0"
    "\x1f\x00\x05\x00\x01\xff\x89\x99\x3d\x1d\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
    70);

class PictureTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(gdiplus_.started()); }

  // Starts the download and returns what done was given (false: not called in 30 s).
  static std::optional<bool> DownloadGivesAPicture(const std::shared_ptr<Package>& offer) {
    auto called = std::make_shared<std::promise<bool>>();
    offer->DownloadImage([called](std::shared_ptr<Gdiplus::Bitmap> picture) { called->set_value(picture != nullptr); });
    auto future = called->get_future();
    if (future.wait_for(std::chrono::seconds(30)) != std::future_status::ready) return std::nullopt;
    return future.get();
  }

  win::GdiplusSession gdiplus_;
};

TEST_F(PictureTest, ThePictureOrNoneAndDoneEitherWay) {
  testing::ServedFile picture(L"pic-ok.png", kPicture);
  testing::ServedFile notAPicture(L"pic-bad.png", "not a picture");
  const struct {
    const char* id;
    bool hasPicture;
  } cases[] = {{"pic-ok", true}, {"pic-bad", false}, {"pic-missing", false}};
  for (const auto& c : cases) {
    auto offer = MakeOffer(c.id);
    EXPECT_EQ(DownloadGivesAPicture(offer), c.hasPicture) << c.id;
    EXPECT_EQ(offer->m_image, nullptr) << "the fetching thread leaves the package's picture alone";
  }
}

// The wizard may drop its offers while a picture is on its way.
TEST_F(PictureTest, AStalledPictureKeepsItsPackageUntilItArrives) {
  testing::ServedFile picture(L"pic-slow.png", kPicture);
  ServerRules rules(json{{"/f/pic-slow.png", {{"delay_ms", 1500}}}});
  auto offer = MakeOffer("pic-slow");
  const std::weak_ptr<Package> watch = offer;
  auto called = std::make_shared<std::promise<bool>>();
  offer->DownloadImage([called, watch](std::shared_ptr<Gdiplus::Bitmap> picture) {
    called->set_value(!watch.expired() && picture != nullptr);
  });
  offer.reset();
  EXPECT_FALSE(watch.expired());
  auto future = called->get_future();
  ASSERT_EQ(future.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_TRUE(future.get()) << "the picture came while the package that nobody else held lived";
}

}  // namespace
}  // namespace ostrane
