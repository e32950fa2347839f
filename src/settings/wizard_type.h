#pragma once

#include <string_view>

namespace ostrane {

enum WizardType : int { kWizardUnknown = 0, kWizardDlm = 1, kWizardIsv = 2 };

// The wizard-type table: "DLM" is 1, "ISV" is 2, any other name 0.
inline int WizardTypeFromName(std::string_view name) {
  if (name == "DLM") return kWizardDlm;
  if (name == "ISV") return kWizardIsv;
  return kWizardUnknown;
}

}  // namespace ostrane
