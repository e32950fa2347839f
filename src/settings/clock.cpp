#include "settings/clock.h"

#include <chrono>

namespace ostrane {

std::string CurrentTimeMillis() {
  using namespace std::chrono;
  return std::to_string(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

}  // namespace ostrane
