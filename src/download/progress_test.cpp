#include "download/progress.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace ostrane {
namespace {

// The percentages posted for a body of `length` bytes read in these chunks.
std::vector<unsigned> Posts(std::uint64_t length, const std::vector<std::uint64_t>& chunks) {
  ProgressThrottle throttle(length);
  std::vector<unsigned> posts;
  for (auto chunk : chunks)
    if (auto percent = throttle.Add(chunk)) posts.push_back(*percent);
  return posts;
}

TEST(ProgressThrottleTest, PostsOnlyGrowthOfMoreThanOnePercentTruncated) {
  const struct {
    const char* what;
    std::uint64_t length;
    std::vector<std::uint64_t> chunks;
    std::vector<unsigned> posts;
  } cases[] = {
      // 0.005, then exactly 0.01 since the last post: neither is more than 0.01.
      {"5, 5, 990 of 1000", 1000, {5, 5, 990}, {100}},
      {"one whole chunk", 1000, {1000}, {100}},
      {"just over a step", 1000, {11, 11, 11}, {1, 2, 3}},
      {"truncated, not rounded", 1000, {19, 980}, {1, 99}},
      // The reference point is the last post, not the last chunk.
      {"small chunks add up", 1000, {6, 6, 6, 6}, {1, 2}},
      {"length unknown", 0, {10, 1000}, {}},
      {"longer than announced", 100, {90, 60}, {90, 100}},
      {"beyond 32 bits", 5'000'000'000ULL, {2'500'000'000ULL, 2'500'000'000ULL}, {50, 100}},
  };
  for (const auto& c : cases) EXPECT_EQ(Posts(c.length, c.chunks), c.posts) << c.what;
}

TEST(ProgressThrottleTest, ManySmallChunksPostAboutAHundredTimes) {
  const std::vector<std::uint64_t> chunks(100'000, 10);  // 1,000,000 bytes in 10-byte reads
  const auto posts = Posts(1'000'000, chunks);
  EXPECT_LE(posts.size(), 100u);
  EXPECT_GE(posts.size(), 90u);
  EXPECT_TRUE(std::is_sorted(posts.begin(), posts.end()));
  // The last point may come short of 100: the completion message sends that.
  EXPECT_GE(posts.back(), 99u);
}

}  // namespace
}  // namespace ostrane
