#include <windows.h>

#include "net/ostrane_exception.h"
#include "net/post_json.h"
#include "net/server_link.h"

namespace ostrane {
namespace {

class WinHttpServerLink : public ServerLink {
 public:
  bool PostJson(const std::wstring& url, const std::string& body, HeaderList headers, std::string& response,
                std::uint32_t& status) override {
    return ostrane::PostJson(url, body, std::move(headers), response, status);
  }
  void Pause(std::chrono::milliseconds duration) override { ::Sleep(static_cast<DWORD>(duration.count())); }

  bool PostJsonUntilAborted(const std::wstring& url, const std::string& body, HeaderList headers,
                            std::string& response, std::uint32_t& status, AbortSignal& abort) override {
    const bool answered = ostrane::PostJson(url, body, std::move(headers), response, status, &abort);
    if (abort.aborted()) throw OstraneException();  // an answer that came as the user quit is not taken
    return answered;
  }
  void PauseUntilAborted(std::chrono::milliseconds duration, AbortSignal& abort) override {
    if (abort.WaitFor(duration)) throw OstraneException();
  }
};

}  // namespace

std::shared_ptr<ServerLink> DefaultServerLink() {
  static const auto* link = new std::shared_ptr<ServerLink>(std::make_shared<WinHttpServerLink>());
  return *link;
}

}  // namespace ostrane
