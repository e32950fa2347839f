// What the installer sent to the local test server, as the end-to-end tests read it.
#pragma once

#include <nlohmann/json.hpp>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "testing/test_server.h"
#include "ui_driver.h"

namespace ostrane::e2e {

// One analytics event as the server received it.
struct Event {
  nlohmann::json record;  // the "data" text, parsed
  std::string table;
  std::string authorization;

  std::string id() const { return record.value("5", ""); }
  std::string code() const { return record.value("6", ""); }
  std::string reason() const { return record.value("13", ""); }
  std::string position() const { return record.value("17", ""); }
};

inline std::vector<Event> AnalyticsEvents(const testing::ServerRecords& records) {
  std::vector<Event> events;
  for (const auto& request : records.New()) {
    if (request["path"] != "/zbd") continue;
    const auto body = nlohmann::json::parse(request["body"].get<std::string>());
    Event event{nlohmann::json::parse(body.at("data").get<std::string>()), body.at("table"), ""};
    for (const auto& header : request["headers"])
      if (header[0] == "Authorization") event.authorization = header[1];
    events.push_back(std::move(event));
  }
  return events;
}

// Waits until the server has recorded at least `count` analytics events.
inline std::vector<Event> WaitForEvents(const testing::ServerRecords& records, std::size_t count,
                                        std::chrono::milliseconds timeout = uidriver::kPatience) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  auto events = AnalyticsEvents(records);
  while (events.size() < count && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    events = AnalyticsEvents(records);
  }
  return events;
}

// Paths of the requests recorded since `records` was made, of one kind ("/f/" ...).
inline std::vector<std::string> RequestedPaths(const testing::ServerRecords& records, const std::string& prefix) {
  std::vector<std::string> paths;
  for (const auto& path : records.NewPaths())
    if (path.compare(0, prefix.size(), prefix) == 0) paths.push_back(path);
  return paths;
}

}  // namespace ostrane::e2e
