#pragma once

#include <string>

#include "ui_driver.h"

namespace ostrane::e2e {

// The installer under test.
extern std::wstring g_installerPath;

// The wizard window's caption in the ISV build.
inline constexpr wchar_t kWizardCaption[] = L"Quillara Web ";

}  // namespace ostrane::e2e
