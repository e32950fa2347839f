#include "net/abort_signal.h"

#include "threads/detached_thread.h"

namespace ostrane {

void AbortSignal::Abort() {
  std::lock_guard lock(mutex_);
  aborted_ = true;
  if (onAbort_) {
    onAbort_();
    onAbort_ = nullptr;
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

bool AbortSignal::Register(std::function<void()> onAbort) {
  std::lock_guard lock(mutex_);
  if (aborted_) return false;
  onAbort_ = std::move(onAbort);
  return true;
}

void AbortSignal::Unregister() {
  std::lock_guard lock(mutex_);
  onAbort_ = nullptr;
}

struct ExchangeTicket::State {
  std::mutex mutex;
  std::condition_variable changed;
  bool ended = false;
  bool abandoned = false;
};

bool ExchangeTicket::abandoned() const {
  std::lock_guard lock(state_->mutex);
  return state_->abandoned;
}

bool RunUntilAborted(AbortSignal& abort, std::function<void(const ExchangeTicket&)> exchange) {
  auto state = std::make_shared<ExchangeTicket::State>();
  const auto abandon = [state] {
    std::lock_guard lock(state->mutex);
    state->abandoned = true;
    state->changed.notify_all();
  };
  if (!abort.Register(abandon)) return false;
  struct Registration {
    AbortSignal& abort;
    ~Registration() { abort.Unregister(); }
  } const registration{abort};

  StartDetachedThread([state, exchange = std::move(exchange)] {
    try {
      exchange(ExchangeTicket(state));
    } catch (...) {
      // Ended all the same; what it leaves tells its caller that it failed.
    }
    std::lock_guard lock(state->mutex);
    state->ended = true;
    state->changed.notify_all();
  });
  std::unique_lock lock(state->mutex);
  state->changed.wait(lock, [&] { return state->ended || state->abandoned; });
  // A signal given before the caller took the result wins, even over an exchange
  // that has just ended: it may have ended because it saw the signal.
  return !state->abandoned;
}

}  // namespace ostrane
