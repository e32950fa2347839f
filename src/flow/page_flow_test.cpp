#include "flow/page_flow.h"

#include <gtest/gtest.h>

namespace ostrane {
namespace {

// Presses a button and carries out the navigation as the dialog does.
FlowStep Press(PageFlow& flow, ButtonType button, int skipped = 0) {
  FlowStep step = flow.OnButton(button, skipped);
  if (step.navigateTo) flow.NavigateTo(*step.navigateTo);
  return step;
}

TEST(PageFlowTest, FirstNextCreatesTheMainPackageOnce) {
  PageFlow flow;
  flow.SetPageCount(2);  // language and loading pages
  EXPECT_TRUE(Press(flow, ButtonType::Next).createMainPackage);
  EXPECT_EQ(flow.current(), 1);
  flow.SetPageCount(5);  // the campaign added license, download and finish pages
  EXPECT_FALSE(Press(flow, ButtonType::Next).createMainPackage);
  EXPECT_EQ(flow.current(), 2);
}

TEST(PageFlowTest, BackFromTheThirdPageSkipsTheLoadingPageBothWays) {
  PageFlow flow;
  flow.SetPageCount(6);
  flow.NavigateTo(3);
  Press(flow, ButtonType::Back);
  EXPECT_EQ(flow.current(), 2);
  Press(flow, ButtonType::Back);
  EXPECT_EQ(flow.current(), 0);
  const FlowStep next = Press(flow, ButtonType::Next);
  EXPECT_FALSE(next.createMainPackage) << "the campaign is not loaded again";
  EXPECT_EQ(flow.current(), 2);
}

TEST(PageFlowTest, NavigationOutsideTheListIsIgnored) {
  PageFlow flow;
  flow.SetPageCount(3);
  Press(flow, ButtonType::Back);  // from page 0 to -1
  EXPECT_EQ(flow.current(), 0);
  flow.NavigateTo(2);
  Press(flow, ButtonType::Next);
  EXPECT_EQ(flow.current(), 2);
  EXPECT_FALSE(flow.NavigateTo(3));
  EXPECT_FALSE(flow.NavigateTo(-5));
  EXPECT_EQ(flow.current(), 2);
}

TEST(PageFlowTest, OfferButtonsPassOverSkippedOfferPages) {
  const struct {
    ButtonType button;
    int skipped;
    int expected;
  } cases[] = {{ButtonType::Accept, 0, 4}, {ButtonType::Accept, 2, 6}, {ButtonType::Decline, 1, 5},
               {ButtonType::SkipAll, 3, 7}};
  for (const auto& c : cases) {
    PageFlow flow;
    flow.SetPageCount(10);
    flow.NavigateTo(3);
    Press(flow, c.button, c.skipped);
    EXPECT_EQ(flow.current(), c.expected) << static_cast<int>(c.button);
  }
}

// The error page's Close leaves nothing behind either.
TEST(PageFlowTest, CloseAndFinishEndTheWizardAndCleanUp) {
  PageFlow flow;
  flow.SetPageCount(4);
  const FlowStep close = flow.OnButton(ButtonType::Close);
  EXPECT_EQ(close.endDialog, 1);
  EXPECT_TRUE(close.cleanUpWorkFolder);
  EXPECT_FALSE(close.navigateTo);
  const FlowStep finish = flow.OnButton(ButtonType::Finish);
  EXPECT_EQ(finish.endDialog, 1);
  EXPECT_TRUE(finish.cleanUpWorkFolder);
  EXPECT_FALSE(flow.OnButton(static_cast<ButtonType>(42)).navigateTo);
}

TEST(PageFlowTest, ExitAsksExceptOnTheLastPageOrAfterAnError) {
  const struct {
    std::size_t pages;
    int current;
    bool error;
    bool asks;
  } cases[] = {
      {2, 0, false, true},  {2, 1, false, true},  // only language and loading pages
      {6, 0, false, true},  {6, 4, false, true},  {6, 5, false, false},  // last page: the finish page
      {6, 2, true, false},  {0, 0, false, false},
  };
  for (const auto& c : cases) {
    PageFlow flow;
    flow.SetPageCount(c.pages);
    flow.NavigateTo(c.current);
    if (c.error) flow.SetErrorShown();
    EXPECT_EQ(flow.ShouldConfirmExit(), c.asks) << c.pages << " pages, on " << c.current;
  }
}

TEST(PageFlowTest, SystemMenuFollowsDownloadAndFinishPages) {
  EXPECT_EQ(SystemMenuChangeFor(L"DownloadPageISV"), SystemMenuChange::RemoveClose);
  EXPECT_EQ(SystemMenuChangeFor(L"DownloadPageDLM"), SystemMenuChange::RemoveClose);
  EXPECT_EQ(SystemMenuChangeFor(L"FinishPageISV"), SystemMenuChange::RestoreClose);
  EXPECT_EQ(SystemMenuChangeFor(L"FinishPageDLM"), SystemMenuChange::RestoreClose);
  EXPECT_EQ(SystemMenuChangeFor(L"LicensePage"), SystemMenuChange::None);
}

}  // namespace
}  // namespace ostrane
