#pragma once

#include <string>

#include "winui/dialog.h"

namespace ostrane {

// The About box of the system menu: icon, version line, a fixed line and OK.
class CAboutDlg : public win::Dialog {
 public:
  explicit CAboutDlg(std::wstring fileVersion);

 protected:
  bool OnInitDialog() override;

 private:
  std::wstring fileVersion_;
};

}  // namespace ostrane
