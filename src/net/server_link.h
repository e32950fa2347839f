// How the core reaches its servers and waits between attempts. The installer posts
// through WinHTTP and sleeps for real; native tests answer and wait in memory, so
// retry logic is tested without the network and without sleeping.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "net/abort_signal.h"
#include "net/header_list.h"

namespace ostrane {

class ServerLink {
 public:
  virtual ~ServerLink() = default;

  // PostJson's contract (net/post_json.h): true whenever a reply arrived, whatever
  // its status; a failed exchange throws OstraneException.
  virtual bool PostJson(const std::wstring& url, const std::string& body, HeaderList headers, std::string& response,
                        std::uint32_t& status) = 0;
  // Blocks the calling thread.
  virtual void Pause(std::chrono::milliseconds duration) = 0;

  // The same, ended early from another thread through `abort`: once it is given, both
  // throw OstraneException. A link that cannot break a running exchange lets it end,
  // then throws.
  virtual bool PostJsonUntilAborted(const std::wstring& url, const std::string& body, HeaderList headers,
                                    std::string& response, std::uint32_t& status, AbortSignal& abort);
  virtual void PauseUntilAborted(std::chrono::milliseconds duration, AbortSignal& abort);
};

// This program's link: WinHTTP on Windows. Natively there is no network: every post
// fails as an unreachable server would. Shared, so detached senders may keep it.
std::shared_ptr<ServerLink> DefaultServerLink();

}  // namespace ostrane
