// Numbers from the campaign reply, converted as the JSON library converts them.
#pragma once

#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>

namespace ostrane {

// A JSON number (or, for an int, a boolean) as T, as the JSON library converts it,
// except that a floating-point value outside T's range is held at its ends instead
// of being undefined. Other types raise the library's type error.
template <typename T>
T NumberAs(const nlohmann::json& value) {
  if (value.is_number_float()) {
    const double d = value.get<double>();
    if (std::isnan(d)) return 0;
    if (d <= static_cast<double>(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
    if (d >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
    return static_cast<T>(d);
  }
  return value.get<T>();
}

}  // namespace ostrane
