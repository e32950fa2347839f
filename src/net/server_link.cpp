#include "net/server_link.h"

#include "net/ostrane_exception.h"

namespace ostrane {

bool ServerLink::PostJsonUntilAborted(const std::wstring& url, const std::string& body, HeaderList headers,
                                      std::string& response, std::uint32_t& status, AbortSignal& abort) {
  if (abort.aborted()) throw OstraneException();
  const bool answered = PostJson(url, body, std::move(headers), response, status);
  if (abort.aborted()) throw OstraneException();
  return answered;
}

void ServerLink::PauseUntilAborted(std::chrono::milliseconds duration, AbortSignal& abort) {
  if (abort.aborted()) throw OstraneException();
  Pause(duration);
  if (abort.aborted()) throw OstraneException();
}

}  // namespace ostrane
