// Delivery of events through an in-memory server: attempts, pauses, the stop after a
// delivered terminal event, and the count of sends in flight.
#include <gtest/gtest.h>

#include <cstdlib>
#include <future>
#include <new>
#include <system_error>
#include <thread>

#include "analytics/analytics_record.h"
#include "campaign/package.h"
#include "settings/configuration_manager.h"
#include "testing/fake_server_link.h"
#include "testing/sample_request.h"

namespace ostrane {

// Set on a thread, the next allocation there fails (operator new below): a thread that
// runs out of memory at a chosen point.
thread_local bool t_nextAllocationFails = false;

namespace {

using nlohmann::json;
using testing::FakeServerLink;
using Reply = FakeServerLink::Reply;
using std::chrono::milliseconds;

RequestContext Context() { return testing::SampleRequestContext(); }

std::shared_ptr<Package> Offer(std::shared_ptr<ServerLink> link) {
  const json offer = {{"ad", {{"o", "offer-a"}, {"f", "flow-a"}}},
                      {"ps", {{"i", "a.png"}, {"dn", "A"}, {"u", "https://p.test/a.exe"}}}};
  auto package = std::make_shared<Package>(Context(), offer, OfferSources(), 0);
  package->SetServerLink(std::move(link));
  return package;
}

bool Stopped(Package& package) {
  std::lock_guard lock(package.m_eventMutex);
  return package.m_stopSending;
}

int Pending(Package& package) {
  std::lock_guard lock(package.m_eventMutex);
  return package.m_pendingEvents;
}

TEST(AnalyticsSenderTest, AttemptsPausesAndWhetherThePackageStops) {
  const struct {
    const char* what;
    int code;
    std::vector<Reply> replies;
    std::size_t posts;
    std::size_t pauses;
    bool stopped;
  } cases[] = {
      {"delivered terminal", 4, {{200}}, 1, 0, true},
      {"302 is delivered", 2, {{302}}, 1, 0, true},
      {"delivered start event", 1, {{200}}, 1, 0, false},
      {"404 then 200", 3, {{404}, {200}}, 2, 1, true},
      // Lost after two answers outside 200-399, each followed by a pause.
      {"404 twice", 4, {{404}, {404}}, 2, 2, false},
      {"500 twice", -1, {{500}, {500}}, 2, 2, false},
      // A transport failure ends the send at once.
      {"transport failure", 5, {{200, "", true}}, 1, 0, false},
  };
  for (const auto& c : cases) {
    auto link = std::make_shared<FakeServerLink>(c.replies);
    auto package = Offer(link);
    package->SendEvent(c.code, nullptr);
    package->WaitForSends();
    EXPECT_EQ(link->posts().size(), c.posts) << c.what;
    EXPECT_EQ(link->pauses(), std::vector<milliseconds>(c.pauses, milliseconds(5000))) << c.what;
    EXPECT_EQ(Stopped(*package), c.stopped) << c.what;
    EXPECT_EQ(Pending(*package), 0) << c.what;
  }
}

// When no thread can be made (the process is out of them, or of memory), the event is
// lost and the caller goes on: quitting sends events and then removes the work folder.
TEST(AnalyticsSenderTest, ASendThatCannotStartIsLostWithoutThrowing) {
  auto link = std::make_shared<FakeServerLink>(std::vector<Reply>{{200}});
  auto package = Offer(link);
  package->SetThreadStarter(
      [](std::function<void()>) { throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again)); });
  EXPECT_NO_THROW(package->SendEvent(5, nullptr));
  EXPECT_EQ(Pending(*package), 0);
  package->WaitForSends();  // returns: nothing is in flight
  EXPECT_TRUE(link->posts().empty());
  EXPECT_FALSE(Stopped(*package));
}

// Answers every post, then leaves the sending thread without memory for what it
// asks for next: the text of its line in the log.
class AnswersThenNoMemory : public ServerLink {
 public:
  bool PostJson(const std::wstring&, const std::string&, HeaderList, std::string&, std::uint32_t& status) override {
    status = 200;
    t_nextAllocationFails = true;
    return true;
  }
  void Pause(std::chrono::milliseconds) override {}
};

// A send that runs out of memory where it describes itself for the log still gives up
// its place in the counts of sends in flight, or quit and Finish would wait out their
// whole bound; and nothing is thrown at the caller or out of the sending thread.
TEST(AnalyticsSenderTest, ASendWithoutMemoryForItsLogLineStillEndsItsCount) {
  const auto noThreadAndNoMemory = [](std::function<void()> send) {
    send = nullptr;  // what it holds goes now, while there is memory to free it with
    const std::system_error error(std::make_error_code(std::errc::resource_unavailable_try_again));
    t_nextAllocationFails = true;
    throw error;
  };
  const struct {
    const char* what;
    bool startsAThread;
  } cases[] = {
      {"no thread to send it, then no memory", false},
      {"no memory once the post is answered", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto package = Offer(c.startsAThread ? std::shared_ptr<ServerLink>(std::make_shared<AnswersThenNoMemory>())
                                         : std::make_shared<FakeServerLink>());
    std::thread sender;
    bool escapedTheThread = false;
    if (c.startsAThread) {
      package->SetThreadStarter([&](std::function<void()> send) {
        sender = std::thread([send = std::move(send), &escapedTheThread] {
          try {
            send();
          } catch (...) {
            escapedTheThread = true;
          }
          t_nextAllocationFails = false;
        });
      });
    } else {
      package->SetThreadStarter(noThreadAndNoMemory);
    }
    const bool threw = [&] {
      try {
        package->SendEvent(kEventUserQuit, nullptr);
      } catch (...) {
        t_nextAllocationFails = false;
        return true;
      }
      t_nextAllocationFails = false;
      return false;
    }();
    if (sender.joinable()) sender.join();
    EXPECT_FALSE(threw);
    EXPECT_FALSE(escapedTheThread);
    EXPECT_EQ(Pending(*package), 0);
    EXPECT_TRUE(WaitForEverySend(std::chrono::steady_clock::now() + milliseconds(100)));
  }
}

TEST(AnalyticsSenderTest, PostsTheEnvelopeWithTheSignatureToTheAnalyticsUrl) {
  auto link = std::make_shared<FakeServerLink>();
  auto package = Offer(link);
  package->SendEvent(kEventPassedOver, json{{"13", "MIN DAYS UNINSTALL CHECKER"}});
  package->WaitForSends();
  const auto posts = link->posts();
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].url, ConfigurationManager::Instance()->m_analyticsUrl);
  EXPECT_EQ(posts[0].headers, Context().headers);
  EXPECT_EQ(posts[0].body,
            MakeAnalyticsBody(MakeEventRecord(package->m_baseEvent, 2, json{{"13", "MIN DAYS UNINSTALL CHECKER"}})));
}

TEST(AnalyticsSenderTest, NothingMoreAfterADeliveredTerminalEvent) {
  auto link = std::make_shared<FakeServerLink>();
  auto package = Offer(link);
  package->SendEvent(kEventDeclined);
  package->WaitForSends();
  package->SendEvent(kEventUserQuit);
  EXPECT_EQ(Pending(*package), 0);  // not even counted
  package->WaitForSends();
  EXPECT_EQ(link->posts().size(), 1u);
}

TEST(AnalyticsSenderTest, ALostDeclineLeavesTheQuitEvent) {
  auto link = std::make_shared<FakeServerLink>(std::vector<Reply>{{404}, {404}});
  auto package = Offer(link);
  package->SendEvent(kEventDeclined);
  package->WaitForSends();
  package->SendEvent(kEventUserQuit);
  package->WaitForSends();
  EXPECT_EQ(link->posts().size(), 3u);
  EXPECT_TRUE(Stopped(*package));
}

TEST(AnalyticsSenderTest, ALateStartEventDoesNotReopenAStoppedPackage) {
  auto link = std::make_shared<FakeServerLink>();
  auto package = Offer(link);
  link->Hold([](const FakeServerLink::Post& post) { return post.body.find(R"(\"6\":\"1\")") != std::string::npos; });
  package->SendEvent(kEventStarted);
  package->SendEvent(kEventDeclined);
  while (!Stopped(*package)) std::this_thread::yield();  // the decline is delivered first
  link->Release();
  package->WaitForSends();
  EXPECT_TRUE(Stopped(*package));
  package->SendEvent(kEventUserQuit);
  package->WaitForSends();
  EXPECT_EQ(link->posts().size(), 2u);
}

TEST(AnalyticsSenderTest, WaitForSendsWaitsForASlowServer) {
  auto link = std::make_shared<FakeServerLink>();
  auto package = Offer(link);
  link->Hold();
  package->SendEvent(kEventUserQuit);
  package->SendEvent(kEventStarted);
  auto waited = std::async(std::launch::async, [&] { package->WaitForSends(); });
  EXPECT_EQ(waited.wait_for(milliseconds(200)), std::future_status::timeout);
  EXPECT_EQ(Pending(*package), 2);
  link->Release();
  EXPECT_EQ(waited.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(Pending(*package), 0);
}

TEST(AnalyticsSenderTest, ASendKeepsItsPackageAliveUntilItEnds) {
  auto link = std::make_shared<FakeServerLink>();
  auto package = Offer(link);
  const std::weak_ptr<Package> watch = package;
  link->Hold();
  package->SendEvent(kEventUserQuit);
  package.reset();
  EXPECT_FALSE(watch.expired());
  link->Release();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!watch.expired() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  EXPECT_TRUE(watch.expired());
}

// Events come from the page threads while the wizard's thread gives the product its
// campaign facts and then quits; ThreadSanitizer watches the native build of this.
TEST(AnalyticsSenderTest, SendsFromSeveralThreadsWhileRefreshedAndQuitting) {
  auto link = std::make_shared<FakeServerLink>();
  auto product = std::make_shared<Package>(Context(), L"Product", L"", L"Product", L"");
  product->SetServerLink(link);
  constexpr int kSenders = 4, kEventsEach = 25;
  std::vector<std::thread> senders;
  for (int sender = 0; sender < kSenders; ++sender) {
    senders.emplace_back([&] {
      for (int event = 0; event < kEventsEach; ++event) product->SendEvent(kEventStarted, json{{"12", "x"}});
    });
  }
  for (int refresh = 0; refresh < 20; ++refresh)
    product->RefreshAnalytics(Context(), L"Product " + std::to_wstring(refresh), L"flow", L"Product", L"ch");
  for (auto& sender : senders) sender.join();
  product->SendEvent(kEventUserQuit, json::object());
  product->WaitForSends();
  WaitForEverySend(std::chrono::steady_clock::now() + std::chrono::seconds(30));

  const auto posts = link->posts();
  ASSERT_EQ(posts.size(), std::size_t{kSenders * kEventsEach + 1});
  for (const auto& post : posts) {
    const auto record = json::parse(json::parse(post.body).at("data").get<std::string>());
    EXPECT_EQ(record.at("10"), 1) << "a whole record of the product";
    EXPECT_TRUE(record.at("6") == "1" || record.at("6") == "5") << record.dump();
  }
  EXPECT_TRUE(Stopped(*product));
  EXPECT_EQ(Pending(*product), 0);
}

}  // namespace
}  // namespace ostrane

// Every allocation of this test program comes here, so that a test can make them fail.
void* operator new(std::size_t size) {
  if (ostrane::t_nextAllocationFails) {
    ostrane::t_nextAllocationFails = false;
    throw std::bad_alloc();
  }
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
