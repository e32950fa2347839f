// The offer page in a window of the test's own: the disclaimer naming the offer with
// its links, which open in the browser, Skip All where something could follow, and
// what each button records and reports.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "pages/product_page.h"
#include "testing/accessible_name.h"
#include "res/resource.h"
#include "testing/browser_capture.h"
#include "testing/fake_server_link.h"
#include "testing/page_host.h"
#include "testing/sample_request.h"
#include "testing/setup_log_lines.h"

namespace ostrane {
namespace {

using nlohmann::json;

class ProductPageTest : public testing::PageHostTest {
 protected:
  void SetUp() override {
    PageHostTest::SetUp();
    settings_ = ConfigurationManager::Instance();
    saved_ = {settings_->m_acceptedByRules, settings_->m_acceptedPackages, settings_->m_shownPackages,
              settings_->m_offerDeclined};
  }
  void TearDown() override {
    page_.reset();
    settings_->m_acceptedByRules = saved_.acceptedByRules;
    settings_->m_acceptedPackages = saved_.accepted;
    settings_->m_shownPackages = saved_.shown;
    settings_->m_offerDeclined = saved_.declined;
    PageHostTest::TearDown();
  }

  // An offer at this position of three the rules kept.
  std::shared_ptr<Package> Offer(int position, const json& extra = json::object()) {
    json ps = {{"i", "p.png"},
               {"dn", "Nimbus \"Notes\""},
               {"u", "https://localhost/f/n.exe"},
               {"cp", "https://localhost/privacy/n"},
               {"ctu", "https://localhost/terms/n"}};
    ps.update(extra);
    auto package = std::make_shared<Package>(testing::SampleRequestContext(),
                                             json{{"ad", {{"o", "nimbus"}, {"f", "f"}}}, {"ps", ps}}, OfferSources(),
                                             position);
    package->SetServerLink(link_);
    return package;
  }

  void Open(std::shared_ptr<Package> package, int acceptedByRules = 3) {
    settings_->m_acceptedByRules = acceptedByRules;
    page_ = std::make_unique<ProductPage>(languages_, std::move(package));
    page_->SetButtonHandler([this](ButtonType button) { pressed_.push_back(button); });
    ASSERT_TRUE(page_->Create(host_));
    ::ShowWindow(page_->hwnd(), SW_SHOW);
  }

  HWND Item(int id) const { return ::GetDlgItem(page_->hwnd(), id); }

  std::wstring LinkUrl(int index) const {
    LITEM item{};
    item.mask = LIF_ITEMINDEX | LIF_URL;
    item.iLink = index;
    if (!::SendMessageW(Item(IDC_OFFER_DISCLAIMER), LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item))) return {};
    return item.szUrl;
  }

  std::shared_ptr<testing::FakeServerLink> link_ = std::make_shared<testing::FakeServerLink>();
  std::shared_ptr<ConfigurationManager> settings_;
  struct {
    int acceptedByRules;
    PackageList accepted, shown;
    bool declined;
  } saved_;
  std::unique_ptr<ProductPage> page_;
};

// The window classes and the settings' clean-up are registered once for the
// program, in pages_win_test.cpp.

TEST_F(ProductPageTest, TheDisclaimerNamesTheOfferAndItsLinks) {
  Open(Offer(0));
  std::wstring text(512, L'\0');
  text.resize(::GetWindowTextW(Item(IDC_OFFER_DISCLAIMER), text.data(), static_cast<int>(text.size())));
  EXPECT_NE(text.find(L"\"Nimbus \"Notes\"\""), std::wstring::npos) << "the name as it is, quotation marks and all";
  EXPECT_EQ(text.find(L"[PACKAGE_"), std::wstring::npos);
  EXPECT_EQ(LinkUrl(0), L"https://localhost/terms/n");
  EXPECT_EQ(LinkUrl(1), L"https://localhost/privacy/n");

  testing::BrowserCapture browser;
  ASSERT_TRUE(browser.ready());
  ::SetFocus(Item(IDC_OFFER_DISCLAIMER));
  ::SendMessageW(Item(IDC_OFFER_DISCLAIMER), WM_KEYDOWN, VK_RETURN, 0x001C0001);
  // Each link starts a browser of its own; the second could report first.
  ASSERT_EQ(browser.WaitForUrls(1).size(), 1u);
  ::SendMessageW(Item(IDC_OFFER_DISCLAIMER), WM_KEYDOWN, VK_TAB, 0x000F0001);
  ::SendMessageW(Item(IDC_OFFER_DISCLAIMER), WM_KEYDOWN, VK_RETURN, 0x001C0001);
  EXPECT_EQ(browser.WaitForUrls(2),
            (std::vector<std::wstring>{L"https://localhost/terms/n", L"https://localhost/privacy/n"}));
}

// A campaign link without its scheme opens nothing; the setup log says which link
// it was (without the query the placeholders filled) and why.
TEST_F(ProductPageTest, ALinkThatIsNoWebPageIsLoggedNotOpened) {
  Open(Offer(0, {{"ctu", "www.example.com/terms?u={machineguid}"}}));
  testing::BrowserCapture browser;
  ASSERT_TRUE(browser.ready());
  ::SetFocus(Item(IDC_OFFER_DISCLAIMER));
  ::SendMessageW(Item(IDC_OFFER_DISCLAIMER), WM_KEYDOWN, VK_RETURN, 0x001C0001);
  const auto lines = testing::SetupLogLinesOfThisTest();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "link: not opened (does not begin with http:// or https://): www.example.com/terms"),
            lines.end());
  for (const auto& line : lines) EXPECT_EQ(line.find('?'), std::string::npos) << line;
  ::SendMessageW(Item(IDC_OFFER_DISCLAIMER), WM_KEYDOWN, VK_TAB, 0x000F0001);
  ::SendMessageW(Item(IDC_OFFER_DISCLAIMER), WM_KEYDOWN, VK_RETURN, 0x001C0001);
  EXPECT_EQ(browser.WaitForUrls(1), std::vector<std::wstring>{L"https://localhost/privacy/n"})
      << "the other link opens";
}

// The campaign's name and links go into the disclaimer's link markup: a name or a URL
// that carries markup of its own adds no link, and the links stay where they were.
TEST_F(ProductPageTest, CampaignTextAddsNoLinksToTheDisclaimer) {
  Open(Offer(0, {{"dn", "<a href=\"file:///c:/windows/win.ini\">Nimbus</a>"},
                 {"cp", "https://localhost/p\"><a href=\"file:///c:/x"}}));
  EXPECT_EQ(LinkUrl(0), L"https://localhost/terms/n");
  EXPECT_EQ(LinkUrl(1), L"https://localhost/p%22%3E%3Ca%20href=%22file:///c:/x");
  EXPECT_EQ(LinkUrl(2), L"") << "no third link";
  std::wstring text(512, L'\0');
  text.resize(::GetWindowTextW(Item(IDC_OFFER_DISCLAIMER), text.data(), static_cast<int>(text.size())));
  EXPECT_NE(text.find(L"Nimbus"), std::wstring::npos) << "the name still shows";
}

TEST_F(ProductPageTest, SkipAllOnlyWhereAnotherOfferCouldFollow) {
  const struct {
    const char* what;
    int position;
    int acceptedByRules;
    json extra;
    bool skipAll;
  } cases[] = {
      {"first of three", 0, 3, json::object(), true},
      {"the last the rules kept", 2, 3, json::object(), false},
      {"the only one", 0, 1, json::object(), false},
      {"its own limit ends the flow after it", 1, 3, {{"pn", true}, {"cfs", {{"mo", 2}}}}, false},
      {"a limit further on", 0, 3, {{"pn", true}, {"cfs", {{"mo", 2}}}}, true},
  };
  for (const auto& c : cases) {
    Open(Offer(c.position, c.extra), c.acceptedByRules);
    EXPECT_EQ(::IsWindowVisible(Item(IDC_SKIP_ALL)) != FALSE, c.skipAll) << c.what;
  }
}

TEST_F(ProductPageTest, ButtonsRecordTheAnswerAndReportIt) {
  const struct {
    int button;
    ButtonType reported;
    bool accepted;
    bool declineEvent;
  } cases[] = {
      {IDC_ACCEPT, ButtonType::Accept, true, false},
      {IDC_DECLINE, ButtonType::Decline, false, true},
      {IDC_SKIP_ALL, ButtonType::SkipAll, false, true},
  };
  for (const auto& c : cases) {
    settings_->m_acceptedPackages.clear();
    settings_->m_offerDeclined = false;
    pressed_.clear();
    auto offer = Offer(0);
    Open(offer);
    const std::size_t postsBefore = link_->posts().size();
    testing::Click(Item(c.button));
    offer->WaitForSends();
    EXPECT_EQ(pressed_, std::vector<ButtonType>{c.reported});
    EXPECT_EQ(settings_->m_acceptedPackages == PackageList{offer}, c.accepted);
    EXPECT_EQ(settings_->m_offerDeclined, c.declineEvent);
    const auto posts = link_->posts();
    ASSERT_EQ(posts.size() - postsBefore, c.declineEvent ? 1u : 0u);
    if (c.declineEvent) {
      EXPECT_NE(posts.back().body.find(R"(\"6\":\"4\")"), std::string::npos);
    }
  }
}

// Agree and Accept sit at the same place: the second click of a double-click on Agree
// must not accept the offer that appears under it, nor may Enter on a fresh page.
TEST_F(ProductPageTest, NothingIsAnsweredButOnPurpose) {
  auto offer = Offer(0);
  Open(offer);
  page_->OnNavigateToPage();
  const LRESULT defaultId = ::SendMessageW(page_->hwnd(), DM_GETDEFID, 0, 0);
  EXPECT_FALSE(HIWORD(defaultId) == DC_HASDEFID && LOWORD(defaultId) == IDC_ACCEPT) << "Accept is no default button";
  EXPECT_EQ(::GetFocus(), Item(IDC_OFFER_DISCLAIMER)) << "the focus starts on the offer's text";

  for (const int button : {IDC_ACCEPT, IDC_DECLINE, IDC_SKIP_ALL}) testing::Click(Item(button));
  EXPECT_TRUE(pressed_.empty()) << "clicks within the double-click time answer nothing";
  EXPECT_TRUE(settings_->m_acceptedPackages.empty());
  EXPECT_FALSE(settings_->m_offerDeclined);

  ::Sleep(::GetDoubleClickTime() + 50);
  testing::Click(Item(IDC_ACCEPT));
  EXPECT_EQ(pressed_, std::vector<ButtonType>{ButtonType::Accept}) << "a later click is an answer";
  EXPECT_EQ(settings_->m_acceptedPackages, PackageList{offer});
}

// Declining is as easy to see and to reach as accepting: the three answers are the
// same size on one row, and Tab from the offer's text reaches each of them.
TEST_F(ProductPageTest, EveryAnswerIsAsProminentAndReachable) {
  Open(Offer(0));
  RECT accept{}, decline{}, skipAll{};
  ::GetWindowRect(Item(IDC_ACCEPT), &accept);
  ::GetWindowRect(Item(IDC_DECLINE), &decline);
  ::GetWindowRect(Item(IDC_SKIP_ALL), &skipAll);
  for (const RECT& other : {decline, skipAll}) {
    EXPECT_EQ(other.right - other.left, accept.right - accept.left);
    EXPECT_EQ(other.bottom - other.top, accept.bottom - accept.top);
    EXPECT_EQ(other.top, accept.top);
  }

  page_->OnNavigateToPage();
  std::vector<HWND> visited = {::GetFocus()};
  for (int press = 0; press < 6 && visited.size() < 4; ++press) {  // 4 tab stops and 2 links
    testing::PressKey(page_->hwnd(), ::GetFocus(), VK_TAB);
    if (::GetFocus() != visited.back()) visited.push_back(::GetFocus());
  }
  EXPECT_EQ(visited, (std::vector<HWND>{Item(IDC_OFFER_DISCLAIMER), Item(IDC_DECLINE), Item(IDC_SKIP_ALL),
                                        Item(IDC_ACCEPT)}));
}

TEST_F(ProductPageTest, ThePictureReadsAsTheOffersName) {
  Open(Offer(0));
  const testing::Heard picture = testing::WhatAScreenReaderHears(Item(IDC_OFFER_IMAGE));
  ASSERT_TRUE(picture.answered);
  EXPECT_EQ(picture.name, L"Nimbus \"Notes\"");
}

TEST_F(ProductPageTest, ShowingThePageRecordsTheOfferAsShown) {
  auto offer = Offer(0);
  Open(offer);
  settings_->m_shownPackages.clear();
  page_->OnNavigateToPage();
  EXPECT_EQ(settings_->m_shownPackages, PackageList{offer});
}

}  // namespace
}  // namespace ostrane
