// The demo product: the wizard's finish page starts it from the roaming profile.
// It records the run and ends at once, so that no test or demo leaves it running.
#include <windows.h>

#include "demo_run_log.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  ostrane::demo::RecordRun(L"qlweb");
  return 0;
}
