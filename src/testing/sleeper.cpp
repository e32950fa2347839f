// A process for tests to find running: it waits a minute, or until it is ended.
#include <windows.h>

int main() {
  ::Sleep(60000);
  return 0;
}
