/* Placeholder for a library of the suite that the setup only copies (the TLS and regular
   expression libraries, the control-panel applet, the web-server and PHP modules, and
   ldap32.dll while its stand-in is not built). A real DLL that loads and unloads and exports
   nothing: whatever looks up an entry point in it finds none and leaves the feature out, as
   it would for a missing library. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}
