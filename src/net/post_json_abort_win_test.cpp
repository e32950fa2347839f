// Aborts racing requests while other requests of the same process run, as quitting
// does while analytics events go out: an abort may end only its own request, and no
// request may read from, or close, a handle that another request owns.
#include "net/post_json.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "net/ostrane_exception.h"
#include "testing/setup_log_lines.h"
#include "testing/test_server.h"

namespace ostrane {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(PostJsonAbortTest, AbortsRacingOtherRequestsEndOnlyTheirOwn) {
  constexpr int kSenders = 4;
  constexpr int kRounds = 40;
  // Each sender's path answers a text of its own, in pieces, so that senders spend
  // most of their time reading. The aborted request's reply trickles too: the abort
  // mostly finds it waiting for its next piece. "Connection: close": a connection
  // left halfway through a reply is never offered to the next request.
  json rules = json::object();
  std::vector<std::string> replies;
  for (int i = 0; i < kSenders; ++i) {
    replies.push_back("{\"sender\":" + std::to_string(i) + ",\"pad\":\"" + std::string(600, char('a' + i)) + "\"}");
    rules["/abort-race/send" + std::to_string(i)] = {{"body", replies.back()}, {"rate", 4000}};
  }
  rules["/abort-race/config"] = {{"body", "{\"pad\":\"" + std::string(2000, 'c') + "\"}"},
                                 {"rate", 2000},
                                 {"headers", {{"Connection", "close"}}}};
  const testing::ServerRules served(rules);

  std::atomic<bool> stop{false};
  std::mutex wrongMutex;
  std::vector<std::string> wrong;  // what a sender got that was not its own reply
  std::vector<int> sent(kSenders, 0);
  std::vector<std::thread> senders;
  for (int i = 0; i < kSenders; ++i) {
    senders.emplace_back([&, i] {
      const std::wstring url = L"https://localhost/abort-race/send" + std::to_wstring(i);
      while (!stop) {
        std::string response;
        std::uint32_t status = 0;
        std::string outcome;
        try {
          PostJson(url, "{}", {}, response, status);
          if (status != 200 || response != replies[i])
            outcome = "status " + std::to_string(status) + ", " + std::to_string(response.size()) + " bytes: " +
                      response.substr(0, 40);
        } catch (const OstraneException&) {
          outcome = "failed";
        }
        ++sent[i];
        if (outcome.empty()) continue;
        std::lock_guard lock(wrongMutex);
        wrong.push_back("sender " + std::to_string(i) + ": " + outcome);
      }
    });
  }

  Clock::duration longestEnd{};
  int answered = 0;
  for (int round = 0; round < kRounds; ++round) {
    AbortSignal abort;  // one per request, gone when its round ends
    auto request = std::async(std::launch::async, [&abort] {
      std::string response;
      std::uint32_t status = 0;
      try {
        PostJson(L"https://localhost/abort-race/config", "{}", {}, response, status, &abort);
        return true;
      } catch (const OstraneException&) {
        return false;
      }
    });
    // From before the request to the end of its reply (about 1 s), in 23 ms steps.
    std::this_thread::sleep_for(std::chrono::milliseconds(round * 23 % 1100));
    abort.Abort();
    const auto abortedAt = Clock::now();
    ASSERT_EQ(request.wait_for(30s), std::future_status::ready) << "round " << round;
    longestEnd = std::max(longestEnd, Clock::now() - abortedAt);
    if (request.get()) ++answered;
  }
  stop = true;
  for (auto& sender : senders) sender.join();

  EXPECT_LT(longestEnd, 2s) << "an aborted request ends at once";
  EXPECT_LT(answered, kRounds) << "no abort came while a request ran";
  for (int i = 0; i < kSenders; ++i) EXPECT_GT(sent[i], 0) << "sender " << i;
  EXPECT_TRUE(wrong.empty()) << wrong.size() << " sends went wrong, the first: " << wrong.front();

  // A WinHTTP call on a handle that another thread closed fails with one of these
  // (the setup log names the call); had its value been handed to a sender's request
  // meanwhile, the call would have read that sender's reply instead.
  std::vector<std::string> closedUnderACall;
  for (const std::string& line : testing::SetupLogLinesOfThisTest()) {
    for (const char* error : {", error 6", ", error 12017", ", error 12018", ", error 12019"}) {
      const std::string_view tail(error);
      if (line.size() >= tail.size() && line.compare(line.size() - tail.size(), tail.size(), tail) == 0)
        closedUnderACall.push_back(line);
    }
  }
  EXPECT_TRUE(closedUnderACall.empty()) << closedUnderACall.size()
                                        << " calls on a closed handle, the first: " << closedUnderACall.front();
}

}  // namespace
}  // namespace ostrane
