// The signal that ends the wait for a blocking exchange from another thread, and the
// exchange run on a thread of its own that nobody but itself touches.
#include "net/abort_signal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace ostrane {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(AbortSignalTest, AbortCallsTheRegisteredOnAbortOnceAndOnlyWhileRegistered) {
  AbortSignal signal;
  int calls = 0;
  ASSERT_TRUE(signal.Register([&] { ++calls; }));
  signal.Unregister();
  signal.Abort();
  EXPECT_EQ(calls, 0) << "an exchange that has ended is not told";

  AbortSignal given;
  ASSERT_TRUE(given.Register([&] { ++calls; }));
  given.Abort();
  given.Abort();
  EXPECT_EQ(calls, 1);
  given.Unregister();
  EXPECT_FALSE(given.Register([&] { ++calls; })) << "no exchange begins after the signal";
  EXPECT_EQ(calls, 1);
}

TEST(AbortSignalTest, APauseEndsWhenTheSignalIsGiven) {
  AbortSignal signal;
  EXPECT_FALSE(signal.WaitFor(10ms));
  auto pause = std::async(std::launch::async, [&] { return signal.WaitFor(60s); });
  std::this_thread::sleep_for(50ms);
  signal.Abort();
  ASSERT_EQ(pause.wait_for(10s), std::future_status::ready) << "the pause went on";
  EXPECT_TRUE(pause.get());
  EXPECT_TRUE(signal.WaitFor(60s)) << "a given signal ends every later pause at once";
}

// What one exchange shares with its caller: the caller reads it only when the
// exchange ended; the exchange may write it after the caller has gone.
struct Shared {
  std::atomic<bool> began{false};
  std::string reply;
  std::atomic<bool> ended{false};
  std::atomic<bool> sawAbandoned{false};
};

// Stands for a server that takes `takes` to answer, answering in pieces and looking
// at the ticket before each piece, as the POST client reads a reply.
std::function<void(const ExchangeTicket&)> Exchange(std::shared_ptr<Shared> shared, std::chrono::milliseconds takes) {
  return [shared, takes](const ExchangeTicket& ticket) {
    shared->began = true;
    const auto end = Clock::now() + takes;
    while (Clock::now() < end) {
      if (ticket.abandoned()) {
        shared->sawAbandoned = true;
        break;
      }
      shared->reply += "piece,";
      std::this_thread::sleep_for(1ms);
    }
    shared->ended = true;
  };
}

TEST(RunUntilAbortedTest, TheCallerTakesWhatAnExchangeBroughtOnlyWhenItEnded) {
  AbortSignal signal;
  auto shared = std::make_shared<Shared>();
  EXPECT_TRUE(RunUntilAborted(signal, Exchange(shared, 20ms)));
  EXPECT_TRUE(shared->ended);
  EXPECT_FALSE(shared->reply.empty()) << "written on the exchange's thread, read on the caller's";

  signal.Abort();
  auto never = std::make_shared<Shared>();
  EXPECT_FALSE(RunUntilAborted(signal, Exchange(never, 20ms)));
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(never->began) << "an exchange never begins once the signal is given";
}

// Many aborts racing exchanges that take their time, each signal gone before its
// exchange ends: the caller's wait ends at once, the exchange ends on its own when it
// sees it was abandoned, and nothing it touches is the caller's. ThreadSanitizer
// (the native-tsan build) sees any access to the caller's state that is not ordered.
TEST(RunUntilAbortedTest, AbortsRacingExchangesEndTheWaitAtOnceAndLeaveTheExchangeItsOwn) {
  constexpr int kRounds = 200;
  std::vector<std::shared_ptr<Shared>> left;
  Clock::duration longestWait{};
  int ended = 0;
  for (int round = 0; round < kRounds; ++round) {
    auto shared = std::make_shared<Shared>();
    auto signal = std::make_unique<AbortSignal>();
    std::string taken;
    auto caller = std::async(std::launch::async, [&, shared] {
      const bool done = RunUntilAborted(*signal, Exchange(shared, 10s));
      if (done) taken = shared->reply;
      return done;
    });
    // Before the exchange begins, as it begins and while it runs.
    std::this_thread::sleep_for(std::chrono::microseconds(round * 37 % 3000));
    signal->Abort();
    const auto abortedAt = Clock::now();
    ASSERT_EQ(caller.wait_for(10s), std::future_status::ready);
    longestWait = std::max(longestWait, Clock::now() - abortedAt);
    if (caller.get()) ++ended;
    signal.reset();  // the exchange, if it runs, must not need it
    left.push_back(shared);
  }
  EXPECT_EQ(ended, 0) << "every exchange takes 10 s: none ends before its abort";
  EXPECT_LT(longestWait, 2s) << "the caller's wait ends at once";
  const auto deadline = Clock::now() + 10s;
  int began = 0;
  for (const auto& shared : left) {
    if (!shared->began) continue;  // aborted before it began
    ++began;
    while (!shared->ended && Clock::now() < deadline) std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(shared->ended) << "an abandoned exchange ends at its next look at the ticket";
    EXPECT_TRUE(shared->sawAbandoned);
  }
  EXPECT_GT(began, 0) << "no abort came while an exchange ran";
}

}  // namespace
}  // namespace ostrane
