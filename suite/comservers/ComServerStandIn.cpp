// Stand-in COM server: only the self-registration entry points the setup calls.
//
// DllRegisterServer writes HKEY_CURRENT_USER\Software\Quenfor\StandIn\<name> with the value
// Module = this library's full path; DllUnregisterServer removes that key. <name> is the
// library's file name without extension, so one source serves api.dll and quenforcom.dll.
// Test switch: when the environment value ZAREL_COMSERVER_FAIL names this library (or is
// "*"), both entries fail with E_FAIL and touch nothing.
#include <windows.h>
#include <olectl.h>

#include <algorithm>
#include <cctype>
#include <string>

namespace {

HMODULE gModule = nullptr;

std::string ModulePath() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(gModule, path, sizeof path);
  return std::string(path, length);
}

std::string LowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string ModuleName() {
  std::string name = ModulePath();
  name.erase(0, name.find_last_of("\\/") + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return LowerCase(name);
}

std::string RegistrationKey() { return "Software\\Quenfor\\StandIn\\" + ModuleName(); }

bool ToldToFail() {
  char value[256];
  const DWORD length = GetEnvironmentVariableA("ZAREL_COMSERVER_FAIL", value, sizeof value);
  if (length == 0 || length >= sizeof value) return false;
  const std::string names = LowerCase(std::string(value, length));
  if (names == "*") return true;
  // A list separated by ',' or ';'.
  std::size_t start = 0;
  while (start <= names.size()) {
    std::size_t end = names.find_first_of(",;", start);
    if (end == std::string::npos) end = names.size();
    if (names.compare(start, end - start, ModuleName()) == 0) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) gModule = instance;
  return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
  if (ToldToFail()) return E_FAIL;
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, RegistrationKey().c_str(), 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
    return SELFREG_E_CLASS;
  const std::string path = ModulePath();
  const LONG rc = RegSetValueExA(key, "Module", 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(path.c_str()),
                                 static_cast<DWORD>(path.size() + 1));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
  if (ToldToFail()) return E_FAIL;
  const LONG rc = RegDeleteKeyA(HKEY_CURRENT_USER, RegistrationKey().c_str());
  // Already unregistered is not an error.
  return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
}
