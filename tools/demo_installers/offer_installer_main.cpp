// A partner offer's installer for the demo. The test server serves copies of it under
// each offer's name, so the run is recorded under the name this copy has on disk.
#include <windows.h>

#include "demo_run_log.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  ostrane::demo::RecordRun(ostrane::demo::ModuleFileName());
  return 0;
}
