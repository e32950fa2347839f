#include <windows.h>

#include "app/dll_search.h"
#include "app/ostrane_app.h"

// The one application object; its destructor runs at process exit, after the
// wizard window and every image it showed are gone.
static ostrane::COstraneApp theApp;

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  ostrane::RestrictDllSearchToSystemFolder();
  theApp.InitInstance();
  return 0;
}
