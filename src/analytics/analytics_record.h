// The analytics record of one event and the body that carries it to the server.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace ostrane {

inline constexpr char kAnalyticsTable[] = "zb_analytics";

// The package's base record with the event code in "6" and the parameters laid
// over it; parameter keys the record does not have are dropped.
nlohmann::json MakeEventRecord(const nlohmann::json& baseRecord, int code, const nlohmann::json& parameters);

// {"data": <the record as compact JSON text>, "table": "zb_analytics"}, compact.
// Throws the JSON library's error for text that is not valid UTF-8.
std::string MakeAnalyticsBody(const nlohmann::json& record);

}  // namespace ostrane
