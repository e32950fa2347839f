#pragma once

#include <string>

namespace ostrane {

// Milliseconds since 1970-01-01 UTC, in decimal.
std::string CurrentTimeMillis();

}  // namespace ostrane
