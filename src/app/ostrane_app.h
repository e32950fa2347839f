// The application object: brings up the common controls, lets GDI+ start with the
// first picture, runs the wizard window modally and shuts GDI+ down after the last
// image is gone.
#pragma once

#include <windows.h>

#include <optional>

#include "winui/gdiplus_image.h"

namespace ostrane {

class COstraneApp {
 public:
  COstraneApp();
  ~COstraneApp();
  COstraneApp(const COstraneApp&) = delete;
  COstraneApp& operator=(const COstraneApp&) = delete;

  // Always false: the process ends when the wizard window's modal loop ends.
  bool InitInstance();

 private:
  std::optional<win::GdiplusOnDemand> gdiplus_;
};

}  // namespace ostrane
