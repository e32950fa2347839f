// Each thread starts just as the one before it is ending: the moment at which
// detaching a std::thread lost the next thread under Wine.
#include "threads/detached_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace ostrane {
namespace {

using Clock = std::chrono::steady_clock;

bool RunsWithin(const std::atomic<int>& ran, int expected) {
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  while (ran < expected) {
    if (Clock::now() > deadline) return false;
    std::this_thread::yield();
  }
  return true;
}

TEST(DetachedThreadTest, EveryThreadRunsItsWork) {
  std::atomic<int> ran{0};
  std::atomic<int> busy{0};
  int started = 0;
  // How long the caller works between one thread's work and the next thread: from
  // "still ending" to "long gone".
  for (const int spins : {0, 300, 1000, 3000}) {
    for (int round = 0; round < 300; ++round) {
      StartDetachedThread([&ran] { ++ran; });
      ASSERT_TRUE(RunsWithin(ran, ++started)) << "thread " << started << " never ran (spins " << spins << ")";
      for (int i = 0; i < spins; ++i) busy.fetch_add(1, std::memory_order_relaxed);
    }
  }
}

}  // namespace
}  // namespace ostrane
