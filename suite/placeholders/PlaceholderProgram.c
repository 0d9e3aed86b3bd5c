/* Placeholder for a program of the suite that the setup only copies, links to or starts
   (the administration console config.exe, dnsquery.exe, tool.exe). It starts and ends at
   once with exit code 0 and never opens a window, so a finish action that starts it, or a
   person who clicks its shortcut, sees nothing happen and nothing hang. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
  (void)instance;
  (void)previous;
  (void)commandLine;
  (void)show;
  return 0;
}
