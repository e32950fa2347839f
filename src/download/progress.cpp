#include "download/progress.h"

#include <algorithm>

namespace ostrane {

std::optional<unsigned> ProgressThrottle::Add(std::uint64_t bytes) {
  if (length_ == 0) return std::nullopt;
  fraction_ += static_cast<double>(bytes) / static_cast<double>(length_);
  if (fraction_ - lastPosted_ <= 0.01) return std::nullopt;
  lastPosted_ = fraction_;
  // A body longer than its announced length must not read as "above 100" (marquee).
  return static_cast<unsigned>(std::min(fraction_ * 100.0, 100.0));
}

}  // namespace ostrane
