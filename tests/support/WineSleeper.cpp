// Sleeps for the given number of seconds (default 600), then exits. The test script keeps one
// running under Wine so that each test program starts against a warm wineserver.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 600;
  Sleep(static_cast<DWORD>(seconds > 0 ? seconds : 600) * 1000);
  return 0;
}
