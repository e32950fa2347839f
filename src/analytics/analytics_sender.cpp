// Delivery of a package's events: a detached thread per event, two attempts, and a
// per-package count of sends in flight that the wizard waits on when the user quits.
#include <chrono>

#include "analytics/analytics_record.h"
#include "campaign/package.h"
#include "settings/configuration_manager.h"
#include "threads/detached_thread.h"

namespace ostrane {
namespace {

constexpr int kAttempts = 2;
constexpr std::chrono::milliseconds kRetryPause{5000};

}  // namespace

void Package::SendEvent(int code, const nlohmann::json& parameters) {
  {
    std::lock_guard lock(m_eventMutex);
    if (m_stopSending) return;
    ++m_pendingEvents;
  }
  // The sender works on copies and keeps the package alive until it ends, so the
  // wizard may go away first. The URL and the headers are read now, on the caller's
  // thread: the wizard may refresh the package's context while the send runs.
  std::wstring url = ConfigurationManager::Instance()->m_analyticsUrl;
  try {
    std::function<void()> send = [package = shared_from_this(), code, parameters, record = m_baseEvent,
                                  url = std::move(url), headers = m_requestTemplate.headers, link = m_link] {
      SendEventThread(package, code, parameters, record, url, headers, link);
    };
    if (m_startThread) {
      m_startThread(std::move(send));
    } else {
      StartDetachedThread(std::move(send));
    }
  } catch (...) {
    // No thread for it: the event is lost, as an undeliverable one is. Callers are
    // closing windows and removing folders; a throw here would stop that half-way.
    std::lock_guard lock(m_eventMutex);
    if (--m_pendingEvents == 0) m_eventsIdle.notify_all();
  }
}

void Package::SendEventThread(std::shared_ptr<Package> package, int code, nlohmann::json parameters,
                              nlohmann::json record, std::wstring url, HeaderList headers,
                              std::shared_ptr<ServerLink> link) {
  try {
    const std::string body = MakeAnalyticsBody(MakeEventRecord(record, code, parameters));
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      std::string response;
      std::uint32_t status = 0;
      if (link->PostJson(url, body, headers, response, status) && status >= 200 && status <= 399) {
        // Once stopped, a package stays stopped: a slow start event delivered after
        // a terminal one must not open it again.
        std::lock_guard lock(package->m_eventMutex);
        if (IsTerminalEvent(code)) package->m_stopSending = true;
        break;
      }
      // The second failure waits too, as the first does.
      link->Pause(kRetryPause);
    }
  } catch (...) {
    // Lost: a transport failure or no memory. Whatever it was, the count below drops.
  }
  std::lock_guard lock(package->m_eventMutex);
  if (--package->m_pendingEvents == 0) package->m_eventsIdle.notify_all();
}

void Package::WaitForSends() {
  std::unique_lock lock(m_eventMutex);
  m_eventsIdle.wait(lock, [this] { return m_pendingEvents == 0; });
}

}  // namespace ostrane
