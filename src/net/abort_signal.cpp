#include "net/abort_signal.h"

namespace ostrane {

void AbortSignal::Abort() {
  std::lock_guard lock(mutex_);
  aborted_ = true;
  // Under the lock: the exchange cannot unregister and close the same handle meanwhile.
  if (breaker_) {
    breaker_();
    breaker_ = nullptr;
    broken_ = true;
  }
  given_.notify_all();
}

bool AbortSignal::aborted() const {
  std::lock_guard lock(mutex_);
  return aborted_;
}

bool AbortSignal::WaitFor(std::chrono::milliseconds duration) const {
  std::unique_lock lock(mutex_);
  return given_.wait_for(lock, duration, [this] { return aborted_; });
}

bool AbortSignal::Register(std::function<void()> breakExchange) {
  std::lock_guard lock(mutex_);
  if (aborted_) return false;
  breaker_ = std::move(breakExchange);
  broken_ = false;
  return true;
}

bool AbortSignal::Unregister() {
  std::lock_guard lock(mutex_);
  breaker_ = nullptr;
  return broken_;
}

}  // namespace ostrane
