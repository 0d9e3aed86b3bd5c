// Sleeps for the given number of seconds (default 600), then exits. The test script keeps one
// running under Wine so that each test program starts against a warm wineserver.
//   sleeper.exe [SECONDS] [--ready]
// With --ready it prints "ready" once it runs: by then the wineserver is up and the prefix's
// boot has finished, so no later program of the prefix starts either of them.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 600;
  if (argc > 2 && std::strcmp(argv[2], "--ready") == 0) {
    std::puts("ready");
    std::fflush(stdout);
  }
  Sleep(static_cast<DWORD>(seconds > 0 ? seconds : 600) * 1000);
  return 0;
}
