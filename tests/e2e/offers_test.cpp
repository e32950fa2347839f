// A campaign from the test server, through the loading page, the rules and the offer
// pages: which pages appear, in which order, and what the analytics server hears.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "e2e_environment.h"
#include "e2e_server.h"

namespace ostrane::e2e {
namespace {

using namespace uidriver;
using nlohmann::json;
using testing::ServedFile;
using testing::ServerRecords;
using testing::ServerRules;

constexpr int kOfferImage = 1023, kBack = 1051, kErrorTitle = 1036, kErrorText = 1037;
constexpr int kNext = 1010, kAgree = 1050, kAccept = 1021, kDecline = 1022, kSkipAll = 1048, kDisclaimer = 1042;

json Offer(const std::string& id, json extra = json::object()) {
  json ps = {{"i", id + ".png"},
             {"dn", "Offer " + id},
             {"u", "https://localhost/f/" + id + ".exe"},
             {"cp", "https://localhost/privacy/" + id},
             {"ctu", "https://localhost/terms/" + id}};
  ps.update(extra);
  return json{{"ad", {{"o", id}, {"f", "flow-" + id}}}, {"ps", ps}};
}

// Requests for offer pictures.
std::size_t Pictures(const ServerRecords& records) {
  const auto paths = RequestedPaths(records, "/f/");
  return std::count_if(paths.begin(), paths.end(), [](const std::string& path) { return path.ends_with(".png"); });
}

// (id, code, reason, position) of an event, for comparing lists in any order.
using EventKey = std::tuple<std::string, std::string, std::string, std::string>;

std::vector<EventKey> Keys(const std::vector<Event>& events) {
  std::vector<EventKey> keys;
  for (const auto& event : events) keys.emplace_back(event.id(), event.code(), event.reason(), event.position());
  std::sort(keys.begin(), keys.end());
  return keys;
}

class OffersTest : public ::testing::Test {
 protected:
  // Starts the wizard with this campaign and goes past the language page.
  void Start(const json& campaign, const std::wstring& installer = {}) {
    // The product's download takes its time: the tests quit on the download page.
    rules_ = std::make_unique<ServerRules>(json{{"/o", {{"body", campaign.dump()}}},
                                                {"/endpoint/qlweb/os/riserollout/track/beta", {{"delay_ms", 1500}}}});
    installer_ = std::make_unique<Installer>(installer.empty() ? g_installerPath : installer);
    wizard_ = installer_->WaitForWindow([](HWND window) { return ClassName(window) == L"#32770"; });
    ASSERT_NE(wizard_, nullptr);
    HWND language = WaitForPage(wizard_, L"LanguagePageQL");
    ASSERT_NE(language, nullptr);
    Click(language, kNext);
  }

  // The page after the loading page.
  HWND LicensePage() { return WaitForPage(wizard_, L"LicensePage"); }

  // Presses a button and waits for the page that follows; null when none does.
  HWND Press(HWND page, int button, std::chrono::milliseconds patience = kPatience) {
    Click(page, button);
    return WaitForNextPage(wizard_, page, patience);
  }

  // Ends the wizard, answering its question if it asks one.
  void Quit() {
    ::PostMessageW(wizard_, WM_CLOSE, 0, 0);
    if (HWND question = WaitForMessageBox(installer_->pid(), wizard_, 2s)) Click(question, IDOK);
    EXPECT_EQ(installer_->WaitForExit(), DWORD{0});
  }

  ServerRecords records_;
  std::unique_ptr<ServerRules> rules_;  // the campaign, and the product's slow download
  std::unique_ptr<Installer> installer_;
  HWND wizard_ = nullptr;
};

TEST_F(OffersTest, RulesKeepSomeOffersAndTheUserAnswersTheRest) {
  const json campaign = {
      {"l", "US"},
      {"f", {{"m", 4}}},
      {"o",
       {Offer("alpha", {{"v", 1}}), Offer("beta", {{"v", 1}}), Offer("gamma", {{"v", 2}}),
        Offer("delta", {{"v", 3}, {"ov", 64}}), Offer("epsilon", {{"v", 4}, {"pn", true}, {"cfs", {{"sied", true}}}}),
        Offer("zeta", {{"v", 5}})}},
  };
  Start(campaign);
  HWND page = LicensePage();
  ASSERT_NE(page, nullptr);

  // The pages shown: alpha, gamma, zeta (epsilon is passed over after a decline).
  std::vector<std::wstring> shown;
  const auto offerName = [](HWND offerPage) {
    const std::wstring text = ControlText(offerPage, kDisclaimer);
    const auto start = text.find(L"\"Offer ");
    return start == std::wstring::npos ? text : text.substr(start + 7, text.find(L'"', start + 1) - start - 7);
  };
  page = Press(page, kAgree);
  ASSERT_EQ(PageName(page), L"ProductPage");
  shown.push_back(offerName(page));
  EXPECT_TRUE(ControlVisible(page, kSkipAll));
  page = Press(page, kAccept);
  ASSERT_EQ(PageName(page), L"ProductPage");
  shown.push_back(offerName(page));
  page = Press(page, kDecline);
  ASSERT_EQ(PageName(page), L"ProductPage");
  shown.push_back(offerName(page));
  EXPECT_FALSE(ControlVisible(page, kSkipAll)) << "no Skip All on the last offer the rules kept";
  EXPECT_EQ(shown, (std::vector<std::wstring>{L"alpha", L"gamma", L"zeta"}));
  page = Press(page, kDecline);
  EXPECT_EQ(PageName(page), L"DownloadPageISV");

  // Declines, rejections and the passed-over offer, then the quit events.
  WaitForEvents(records_, 6);
  Quit();
  const std::vector<EventKey> expected = {
      {"Quillara Web", "1", "", ""},
      {"Quillara Web", "5", "", ""},
      {"alpha", "5", "", "1"},  // shown, never answered with a terminal event
      {"beta", "2", "SAME VERTICAL OFFER ALREADY PRESENT", "2"},
      {"delta", "2", "UNSUPPORTED OS VERSION", "3"},
      {"epsilon", "2", "SKIPPED BECAUSE OF EARLIER DECLINE", "3"},
      {"gamma", "4", "", "2"},
      {"zeta", "4", "", "4"},
  };
  EXPECT_EQ(Keys(AnalyticsEvents(records_)), expected);
  // Every accepted offer's picture was asked for, once per attempt.
  EXPECT_EQ(Pictures(records_), 8u);
}

// A double-click with the mouse on Agree: the second click lands where the first
// offer's Accept appears, and must not answer it.
TEST_F(OffersTest, ADoubleClickOnAgreeLeavesTheFirstOfferUnanswered) {
  Start(json{{"f", {{"m", 3}}}, {"o", {Offer("first", {{"v", 1}}), Offer("second", {{"v", 2}})}}});
  HWND license = LicensePage();
  ASSERT_NE(license, nullptr);
  ::SetForegroundWindow(wizard_);
  RECT agree{};
  ASSERT_TRUE(::GetWindowRect(::GetDlgItem(license, kAgree), &agree));
  const int x = (agree.left + agree.right) / 2, y = (agree.top + agree.bottom) / 2;
  ASSERT_TRUE(::SetCursorPos(x, y));
  const auto click = [] {
    INPUT press[2] = {};
    press[0].type = press[1].type = INPUT_MOUSE;
    press[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    press[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(2, press, sizeof press[0]);
  };
  click();
  // The second click once the offer page is there, well within the double-click time.
  HWND offer = WaitForNextPage(wizard_, license, std::chrono::milliseconds(::GetDoubleClickTime()));
  ASSERT_EQ(PageName(offer), L"ProductPage") << "the first click agreed";
  RECT accept{};
  ::GetWindowRect(::GetDlgItem(offer, kAccept), &accept);
  ASSERT_TRUE(::PtInRect(&accept, POINT{x, y})) << "Accept sits where Agree was";
  click();
  ::Sleep(::GetDoubleClickTime() + 500);
  EXPECT_EQ(VisiblePage(wizard_), offer) << "the first offer is still on screen, unanswered";
  Quit();
}

TEST_F(OffersTest, SkipAllOnTheFirstOfThreePassesOverTheOthers) {
  Start({{"f", {{"m", 3}}}, {"o", {Offer("a", {{"v", 1}}), Offer("b", {{"v", 2}}), Offer("c", {{"v", 3}})}}});
  HWND license = LicensePage();
  ASSERT_NE(license, nullptr);
  HWND first = Press(license, kAgree);
  ASSERT_EQ(PageName(first), L"ProductPage");
  ASSERT_TRUE(ControlVisible(first, kSkipAll));
  Click(first, kSkipAll);
  const auto events = WaitForEvents(records_, 4);
  EXPECT_EQ(Keys(events), (std::vector<EventKey>{{"Quillara Web", "1", "", ""},
                                                 {"a", "4", "", "1"},
                                                 {"b", "2", "SKIP ALL CLICKED", "2"},
                                                 {"c", "2", "SKIP ALL CLICKED", "3"}}));
  Quit();
}

// An ISV wizard goes on without offers whatever happened to the campaign.
TEST_F(OffersTest, ACampaignThatCannotBeReadLeavesNoOffers) {
  const struct {
    const char* what;
    json rule;
  } cases[] = {
      {"no offers", {{"body", R"({"l": "US"})"}}},
      {"offers without f", {{"body", json{{"o", {Offer("a")}}}.dump()}}},
      {"malformed", {{"body", "{\"o\": ["}}},
      {"connection reset", {{"reset_after", 0}}},
  };
  for (const auto& c : cases) {
    ServerRules rules(json{{"/o", c.rule}});
    Installer installer(g_installerPath);
    HWND wizard = installer.WaitForWindow([](HWND window) { return ClassName(window) == L"#32770"; });
    ASSERT_NE(wizard, nullptr) << c.what;
    HWND language = WaitForPage(wizard, L"LanguagePageQL");
    ASSERT_NE(language, nullptr) << c.what;
    Click(language, kNext);
    HWND license = WaitForPage(wizard, L"LicensePage");
    ASSERT_NE(license, nullptr) << c.what;
    Click(license, kAgree);
    EXPECT_EQ(PageName(WaitForNextPage(wizard, license)), L"DownloadPageISV") << c.what << ": no offer page";
    ::PostMessageW(wizard, WM_CLOSE, 0, 0);
    if (HWND question = WaitForMessageBox(installer.pid(), wizard, 2s)) Click(question, IDOK);
    EXPECT_TRUE(installer.WaitForExit().has_value()) << c.what;
  }
}

TEST_F(OffersTest, MissingPicturesStillHandOverOnce) {
  Start({{"f", {{"m", 3}}}, {"o", {Offer("p1", {{"v", 1}}), Offer("p2", {{"v", 2}}), Offer("p3", {{"v", 3}})}}});
  HWND page = LicensePage();
  ASSERT_NE(page, nullptr);
  int offerPages = 0;
  for (page = Press(page, kAgree, 3s); page != nullptr && PageName(page) == L"ProductPage";
       page = Press(page, kAccept, 3s))
    ++offerPages;
  EXPECT_EQ(offerPages, 3) << "one page per offer: the offers were handed over once";
  EXPECT_EQ(Pictures(records_), 6u) << "each missing picture tried twice";
  Quit();
}

// The offer page shows the picture the campaign named, fetched from the server: a
// one-pixel picture of one colour fills the picture's place. The screen is read, as
// the user would see it.
TEST_F(OffersTest, AnOfferPageShowsItsFetchedPicture) {
  constexpr COLORREF kColour = RGB(0xC0, 0x20, 0xA0);
  const ServedFile picture(L"tinted.png",  // 16 x 16 pixels of that colour
                           std::string("\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x10"
                                       "\x00\x00\x00\x10\x08\x02\x00\x00\x00\x90\x91\x68\x36\x00\x00\x00\x16\x49\x44\x41"
                                       "\x54\x78\xda\x63\x38\xa0\xb0\x80\x24\xc4\x30\xaa\x61\x54\xc3\xf0\xd5\x00\x00\x45"
                                       "\x84\x80\x10\x32\xd4\x8d\xe3\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
                                       79));
  Start({{"f", {{"m", 2}}}, {"o", {Offer("shown", {{"v", 1}, {"i", "tinted.png"}}), Offer("bare", {{"v", 2}})}}});
  HWND license = LicensePage();
  ASSERT_NE(license, nullptr);
  HWND first = Press(license, kAgree);
  ASSERT_EQ(PageName(first), L"ProductPage");
  ::SetForegroundWindow(wizard_);
  ::Sleep(500);  // painted
  const auto centre = [](HWND control) {
    RECT rect{};
    ::GetWindowRect(control, &rect);
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
  };
  const auto screenColour = [](POINT point) {
    HDC screen = ::GetDC(nullptr);
    const COLORREF colour = ::GetPixel(screen, point.x, point.y);
    ::ReleaseDC(nullptr, screen);
    return colour;
  };
  EXPECT_EQ(screenColour(centre(::GetDlgItem(first, kOfferImage))), kColour);
  HWND second = Press(first, kDecline);
  ASSERT_EQ(PageName(second), L"ProductPage");
  ::Sleep(500);
  EXPECT_NE(screenColour(centre(::GetDlgItem(second, kOfferImage))), kColour) << "an offer without its picture";
  Quit();
}

// Quitting while the pictures are on their way: the hand-over finds the wizard gone.
TEST_F(OffersTest, QuittingWhilePicturesStallEndsCleanly) {
  ServerRules stall(json{{"/o", {{"body", json{{"f", {{"m", 2}}}, {"o", {Offer("s1", {{"v", 1}}), Offer("s2", {{"v", 2}})}}}.dump()}}},
                         {"/f/*", {{"delay_ms", 1500}}},
                         {"/zbd", {{"delay_ms", 2500}}}});
  Installer installer(g_installerPath);
  HWND wizard = installer.WaitForWindow([](HWND window) { return ClassName(window) == L"#32770"; });
  ASSERT_NE(wizard, nullptr);
  HWND language = WaitForPage(wizard, L"LanguagePageQL");
  ASSERT_NE(language, nullptr);
  Click(language, kNext);
  ASSERT_NE(WaitForPage(wizard, L"LoadingPage"), nullptr);
  // Wait until the pictures have been asked for, then quit.
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (RequestedPaths(records_, "/f/").empty() && std::chrono::steady_clock::now() < deadline) ::Sleep(20);
  ASSERT_FALSE(RequestedPaths(records_, "/f/").empty());
  CloseAndConfirm(installer, wizard);
  EXPECT_EQ(installer.WaitForExit(30s), DWORD{0});
}

// The DLM wizard takes its product from the campaign; the main package's events
// carry the campaign's flow and channel once the campaign is loaded.
TEST_F(OffersTest, DlmMainEventsCarryTheCampaignFlowAndChannel) {
  Start({{"i", {{"ct", "Tool"}, {"cu", "https://localhost/f/tool.exe"}, {"cfl", "flow-9"}, {"ch", "ch-9"}}}},
        VariantPath(L"DLM"));
  HWND license = LicensePage();
  ASSERT_NE(license, nullptr);
  EXPECT_EQ(Text(wizard_), L"Tool Setup");
  WaitForEvents(records_, 1);
  Quit();
  const auto events = AnalyticsEvents(records_);
  ASSERT_EQ(events.size(), 2u);
  for (const auto& event : events) {
    const bool start = event.code() == "1";
    EXPECT_EQ(event.record["19"], start ? "" : "flow-9") << event.code();
    EXPECT_EQ(event.record["21"], start ? "" : "ch-9") << event.code();
    EXPECT_EQ(event.record["5"], start ? "" : "Tool") << event.code();
  }
}

// Back from the license page leads to the language page; Next there returns to the
// license page without loading the campaign again or starting a second run.
TEST_F(OffersTest, BackAndNextAgainSkipTheLoadingPage) {
  Start({{"f", {{"m", 1}}}, {"o", {Offer("b1")}}});
  HWND license = LicensePage();
  ASSERT_NE(license, nullptr);
  HWND language = Press(license, kBack);
  ASSERT_EQ(PageName(language), L"LanguagePageQL");
  license = Press(language, kNext);
  ASSERT_EQ(PageName(license), L"LicensePage");
  EXPECT_EQ(PageName(Press(license, kAgree)), L"ProductPage");
  EXPECT_EQ(RequestedPaths(records_, "/o").size(), 1u) << "the campaign was requested once";
  const auto events = WaitForEvents(records_, 1);
  EXPECT_EQ(std::count_if(events.begin(), events.end(), [](const Event& e) { return e.code() == "1"; }), 1)
      << "one start event";
  Quit();
}

// A DLM campaign whose product block lacks what DLM needs stops at the error page.
TEST_F(OffersTest, DlmWithoutAProductShowsTheConfigurationError) {
  Start({{"i", {{"ct", ""}, {"cu", "https://localhost/f/tool.exe"}}}}, VariantPath(L"DLM"));
  HWND error = WaitForPage(wizard_, L"ErrorPage");
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(ControlText(error, kErrorTitle), L"Something went wrong");
  EXPECT_FALSE(ControlText(error, kErrorText).empty());
  ::PostMessageW(wizard_, WM_CLOSE, 0, 0);
  EXPECT_TRUE(installer_->WaitForExit(10s).has_value()) << "no question after an error";
}

}  // namespace
}  // namespace ostrane::e2e
