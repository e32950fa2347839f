// The arithmetic behind the download progress messages, apart from the transfer so
// that it can be checked without a network.
#pragma once

#include <cstdint>
#include <optional>

namespace ostrane {

// Adds up the bytes of a transfer of known length and says when a percentage is due:
// only once the fraction done has grown by more than 0.01 since the last one, so a
// transfer posts about a hundred messages however many chunks it reads.
class ProgressThrottle {
 public:
  // A length of 0 (unknown) never gives a percentage.
  explicit ProgressThrottle(std::uint64_t length) : length_(length) {}

  // Counts one chunk; the percentage to post (truncated toward zero), or nothing.
  std::optional<unsigned> Add(std::uint64_t bytes);

 private:
  std::uint64_t length_;
  double fraction_ = 0.0;
  double lastPosted_ = 0.0;
};

}  // namespace ostrane
