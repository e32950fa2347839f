// The signal that breaks a blocking exchange off from another thread.
#include "net/abort_signal.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace ostrane {
namespace {

using namespace std::chrono_literals;

TEST(AbortSignalTest, AbortBreaksTheRegisteredExchangeOnceAndOnlyWhileRegistered) {
  AbortSignal signal;
  int breaks = 0;
  ASSERT_TRUE(signal.Register([&] { ++breaks; }));
  EXPECT_FALSE(signal.Unregister()) << "nothing was broken";
  signal.Abort();
  EXPECT_EQ(breaks, 0) << "an exchange that has ended is not broken";

  AbortSignal given;
  ASSERT_TRUE(given.Register([&] { ++breaks; }));
  given.Abort();
  given.Abort();
  EXPECT_EQ(breaks, 1);
  EXPECT_TRUE(given.Unregister()) << "the owner must not close what the breaker closed";
  EXPECT_FALSE(given.Register([&] { ++breaks; })) << "no exchange begins after the signal";
  EXPECT_EQ(breaks, 1);
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

}  // namespace
}  // namespace ostrane
