// The server-request layer's one exception: it says that a request failed, not why.
#pragma once

#include <exception>

namespace ostrane {

class OstraneException : public std::exception {
 public:
  const char* what() const noexcept override { return ""; }
};

}  // namespace ostrane
