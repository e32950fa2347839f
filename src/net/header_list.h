// Request headers in the order they are sent.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace ostrane {

using HeaderList = std::vector<std::pair<std::wstring, std::wstring>>;

}  // namespace ostrane
