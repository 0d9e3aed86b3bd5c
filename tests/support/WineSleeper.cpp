// Runs for the given number of seconds (default 600), then exits. The test script keeps one
// running under Wine so that each test program starts against a warm wineserver.
//   sleeper.exe [SECONDS] [--ready]
// With --ready it prints "ready" once it runs: by then the wineserver is up, the prefix's
// boot has finished and the desktop process runs, so no later program of the prefix starts
// any of them.
//
// The desktop process (explorer.exe /desktop) is started by the first program that needs the
// desktop window, inherits that program's standard error, and stays while any program of the
// prefix has a window. Started by a test program, it would keep that test's output pipe open
// for as long as another test's servers keep windows, and CTest would wait for the pipe. So
// the sleeper owns a hidden window from the start, and answers messages sent to every window.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HWND CreateHiddenWindow() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "ZarelTestSleeper";
  RegisterClassA(&windowClass);
  return CreateWindowExA(0, windowClass.lpszClassName, "sleeper", WS_OVERLAPPED, 0, 0, 1, 1, nullptr, nullptr,
                         windowClass.hInstance, nullptr);
}

// Handles messages until the time is up.
void PumpMessagesFor(DWORD milliseconds) {
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= milliseconds) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed, QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) return;
      DispatchMessageA(&message);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 600;
  const HWND window = CreateHiddenWindow();
  if (argc > 2 && std::strcmp(argv[2], "--ready") == 0) {
    std::puts(window != nullptr ? "ready" : "no window");
    std::fflush(stdout);
  }
  PumpMessagesFor(static_cast<DWORD>(seconds > 0 ? seconds : 600) * 1000);
  return 0;
}
