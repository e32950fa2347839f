// Lets one thread end another's blocking exchange with a server: quitting must not
// wait for a campaign server that takes its time. The exchange registers how to
// break its connection; Abort breaks it, now or as soon as it registers, and cuts
// short a pause between attempts.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace ostrane {

class AbortSignal {
 public:
  // From any thread, any number of times; the signal stays given.
  void Abort();
  bool aborted() const;

  // Blocks for the duration or until the signal is given; true when it was.
  bool WaitFor(std::chrono::milliseconds duration) const;

  // Abort calls breakExchange once, on its own thread, while it is registered. False,
  // with nothing kept, when the signal has been given already.
  bool Register(std::function<void()> breakExchange);
  // Ends the registration; true when Abort called the breaker meanwhile (whatever it
  // closed must not be closed again).
  bool Unregister();

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable given_;
  bool aborted_ = false;
  bool broken_ = false;
  std::function<void()> breaker_;
};

}  // namespace ostrane
