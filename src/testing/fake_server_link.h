// A server in memory for native tests: answers posts from a script, records what was
// sent and every pause asked for, and never sleeps.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "net/ostrane_exception.h"
#include "net/server_link.h"

namespace ostrane::testing {

class FakeServerLink : public ServerLink {
 public:
  struct Reply {
    std::uint32_t status = 200;
    std::string body = "{}";
    bool transportFails = false;  // the post throws OstraneException
  };
  struct Post {
    std::wstring url;
    std::string body;
    HeaderList headers;
  };

  // Replies in order; once they are used up, every post gets the fallback.
  FakeServerLink() = default;
  explicit FakeServerLink(std::vector<Reply> replies) : replies_(replies.begin(), replies.end()) {}
  FakeServerLink(std::vector<Reply> replies, Reply fallback)
      : replies_(replies.begin(), replies.end()), fallback_(std::move(fallback)) {}

  bool PostJson(const std::wstring& url, const std::string& body, HeaderList headers, std::string& response,
                std::uint32_t& status) override {
    std::unique_lock lock(mutex_);
    posts_.push_back({url, body, headers});
    Reply reply = fallback_;
    if (!replies_.empty()) {
      reply = replies_.front();
      replies_.pop_front();
    }
    // A held post gets no answer until the server is released.
    const Post& post = posts_.back();
    const bool held = hold_ && (!holdWhich_ || holdWhich_(post));
    if (held) released_.wait(lock, [this] { return !hold_; });
    if (reply.transportFails) throw OstraneException();
    response += reply.body;
    status = reply.status;
    return true;
  }
  void Pause(std::chrono::milliseconds duration) override {
    std::lock_guard lock(mutex_);
    pauses_.push_back(duration);
  }

  // Posts from now on (those that `which` picks, or all) wait for Release.
  void Hold(std::function<bool(const Post&)> which = {}) {
    std::lock_guard lock(mutex_);
    hold_ = true;
    holdWhich_ = std::move(which);
  }
  void Release() {
    {
      std::lock_guard lock(mutex_);
      hold_ = false;
    }
    released_.notify_all();
  }

  std::vector<Post> posts() const {
    std::lock_guard lock(mutex_);
    return posts_;
  }
  std::vector<std::chrono::milliseconds> pauses() const {
    std::lock_guard lock(mutex_);
    return pauses_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable released_;
  std::deque<Reply> replies_;
  Reply fallback_;
  bool hold_ = false;
  std::function<bool(const Post&)> holdWhich_;
  std::vector<Post> posts_;
  std::vector<std::chrono::milliseconds> pauses_;
};

}  // namespace ostrane::testing
