// Delivery of a package's events: a detached thread per event, two attempts, and a
// per-package count of sends in flight that the wizard waits on when the user quits,
// and one count over every package that it waits on when it ends after the last page.
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "analytics/analytics_record.h"
#include "campaign/package.h"
#include "log/setup_log.h"
#include "settings/configuration_manager.h"
#include "threads/detached_thread.h"

namespace ostrane {
namespace {

constexpr int kAttempts = 2;
constexpr std::chrono::milliseconds kRetryPause{5000};

// Sends in flight of every package. Never destroyed: detached senders may end while
// the process exits.
struct AllSends {
  std::mutex mutex;
  std::condition_variable idle;
  int pending = 0;
};

AllSends& EverySend() {
  static auto* sends = new AllSends;
  return *sends;
}

void CountSendStarted() {
  std::lock_guard lock(EverySend().mutex);
  ++EverySend().pending;
}

void CountSendEnded() {
  std::lock_guard lock(EverySend().mutex);
  if (--EverySend().pending == 0) EverySend().idle.notify_all();
}

// One send's place in both counts of sends in flight, given up when it goes however
// the send ends: a count left raised would keep quit and Finish waiting out their
// whole bound for a send that is long over.
class SendInFlight {
 public:
  explicit SendInFlight(Package& package) : package_(package) {}
  SendInFlight(const SendInFlight&) = delete;
  SendInFlight& operator=(const SendInFlight&) = delete;
  ~SendInFlight() {
    {
      std::lock_guard lock(package_.m_eventMutex);
      if (--package_.m_pendingEvents == 0) package_.m_eventsIdle.notify_all();
    }
    CountSendEnded();
  }

 private:
  Package& package_;
};

// Waits on one of the counts, with no time-out for the latest deadline.
template <typename Idle>
bool WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& idle,
               std::chrono::steady_clock::time_point deadline, Idle isIdle) {
  if (deadline == std::chrono::steady_clock::time_point::max()) {
    idle.wait(lock, isIdle);
    return true;
  }
  return idle.wait_until(lock, deadline, isIdle);
}

// How one event's send went.
struct Delivery {
  int attempts = 0;
  bool delivered = false;
  std::string failure;
};

Delivery Deliver(Package& package, int code, const nlohmann::json& parameters, const nlohmann::json& record,
                 const std::wstring& url, const HeaderList& headers, ServerLink& link) {
  Delivery delivery;
  try {
    const std::string body = MakeAnalyticsBody(MakeEventRecord(record, code, parameters));
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      std::string response;
      std::uint32_t status = 0;
      ++delivery.attempts;
      const bool answered = link.PostJson(url, body, headers, response, status);
      if (answered && status >= 200 && status <= 399) {
        // Once stopped, a package stays stopped: a slow start event delivered after
        // a terminal one must not open it again.
        std::lock_guard lock(package.m_eventMutex);
        if (IsTerminalEvent(code)) package.m_stopSending = true;
        delivery.delivered = true;
        break;
      }
      delivery.failure = answered ? "status " + std::to_string(status) : "no answer";
      // The second failure waits too, as the first does.
      link.Pause(kRetryPause);
    }
  } catch (const std::exception& error) {
    // Lost: a transport failure or no memory.
    delivery.failure = *error.what() != '\0' ? error.what() : "the request failed";
  } catch (...) {
    delivery.failure = "unknown failure";
  }
  return delivery;
}

}  // namespace

bool WaitForEverySend(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(EverySend().mutex);
  return WaitUntil(lock, EverySend().idle, deadline, [] { return EverySend().pending == 0; });
}

void Package::SendEvent(int code, const nlohmann::json& parameters) {
  // The sender works on copies and keeps the package alive until it ends, so the
  // wizard may go away first. The record and the headers are copied now, under the
  // lock that RefreshAnalytics takes: the wizard may refresh them meanwhile.
  nlohmann::json record;
  HeaderList headers;
  std::string logName;
  {
    std::lock_guard lock(m_eventMutex);
    if (m_stopSending) return;
    ++m_pendingEvents;
    record = m_baseEvent;
    headers = m_requestTemplate.headers;
    logName = LogName();
  }
  CountSendStarted();
  std::wstring url = ConfigurationManager::Instance()->m_analyticsUrl;
  try {
    std::function<void()> send = [package = shared_from_this(), code, parameters, record = std::move(record),
                                  url = std::move(url), headers = std::move(headers), link = m_link, logName] {
      SendEventThread(package, code, parameters, record, url, headers, link, logName);
    };
    if (m_startThread) {
      m_startThread(std::move(send));
    } else {
      StartDetachedThread(std::move(send));
    }
  } catch (...) {
    // No thread for it: the event is lost, as an undeliverable one is. Callers are
    // closing windows and removing folders; a throw here would stop that half-way.
    const SendInFlight ended(*this);
    try {
      log::LogLine("event", "code " + std::to_string(code) + " of " + logName + ": lost, no thread to send it");
    } catch (...) {
      // No memory for the line either: only the line is lost.
    }
  }
}

void Package::SendEventThread(std::shared_ptr<Package> package, int code, nlohmann::json parameters,
                              nlohmann::json record, std::wstring url, HeaderList headers,
                              std::shared_ptr<ServerLink> link, std::string logName) {
  // Made first, so the counts drop whatever fails below; it goes last, so that a
  // waiting quit or Finish finds this send's line in the log.
  const SendInFlight ended(*package);
  try {
    const Delivery delivery = Deliver(*package, code, parameters, record, url, headers, *link);
    const std::string attemptsText =
        std::to_string(delivery.attempts) + (delivery.attempts == 1 ? " attempt" : " attempts");
    log::LogLine("event", "code " + std::to_string(code) + " of " + logName +
                              (delivery.delivered ? ": delivered after " + attemptsText
                                                  : ": lost after " + attemptsText + " (" + delivery.failure + ")"));
  } catch (...) {
    // No memory for the failure's text or the line: only the line is lost, and
    // nothing leaves this thread.
  }
}

void Package::WaitForSends(std::chrono::steady_clock::time_point deadline) {
  std::unique_lock lock(m_eventMutex);
  WaitUntil(lock, m_eventsIdle, deadline, [this] { return m_pendingEvents == 0; });
}

}  // namespace ostrane
