// Lets one thread end another's blocking exchange with a server: quitting must not
// wait for a campaign server that takes its time. Abort ends the wait for an
// exchange at once, and cuts short a pause between attempts.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace ostrane {

class AbortSignal {
 public:
  // From any thread, any number of times; the signal stays given.
  void Abort();
  bool aborted() const;

  // Blocks for the duration or until the signal is given; true when it was.
  bool WaitFor(std::chrono::milliseconds duration) const;

  // Abort calls onAbort once, on its own thread and under the signal's lock, while it
  // is registered: it must be quick and must not call the signal. False, with
  // nothing kept, when the signal has been given already.
  bool Register(std::function<void()> onAbort);
  void Unregister();

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable given_;
  bool aborted_ = false;
  std::function<void()> onAbort_;
};

// What an exchange run by RunUntilAborted learns of its caller.
class ExchangeTicket {
 public:
  struct State;
  explicit ExchangeTicket(std::shared_ptr<State> state) : state_(std::move(state)) {}

  // True once the caller has stopped waiting: the exchange ends as soon as it can,
  // and nobody takes what it brings.
  bool abandoned() const;

 private:
  std::shared_ptr<State> state_;
};

// Runs exchange on a thread of its own and waits until it ends or the signal is
// given, whichever comes first. True when it ended: what it wrote is the caller's.
// False when the signal came first (it wins a tie); if it came before the exchange
// began, the exchange never runs, else it goes on alone until it sees abandoned().
// Whatever an exchange uses must therefore be its own or shared with the caller
// through what it captured, never the caller's stack or the signal. Throws
// std::system_error when no thread can be made.
bool RunUntilAborted(AbortSignal& abort, std::function<void(const ExchangeTicket&)> exchange);

}  // namespace ostrane
