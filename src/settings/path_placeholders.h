// Folder placeholders such as "{commonpf}" in campaign paths and the launch path.
// Entered in an order that lets "{commonpf}" turn into "{commonpf64}" or
// "{commonpf32}" and be expanded again in the same pass.
#pragma once

#include "settings/placeholders.h"

namespace ostrane {

using PathPlaceholders = BasicPlaceholders<std::wstring>;

}  // namespace ostrane
