#include "system/ConvertRegistryUnit.h"

#include <windows.h>

#include <string>

#include "system/AdvancedRegistry.h"

namespace {

const char kNewRoot[] = "Software\\Quenfor";
const char kOldSuiteKey[] = "Software\\Zarel";
const char kNewSuiteKey[] = "Software\\Quenfor\\Zarel Mail Server";
const char kOldWebMailKey[] = "Software\\QWEBMAIL";
const char kNewWebMailKey[] = "Software\\Quenfor\\Quenfor Web Mail";

bool KeyExists(const char* path) {
  TRegistryKeyHandle key;
  return OpenRegistryKey(HKEY_LOCAL_MACHINE, path, KEY_READ, key) == ERROR_SUCCESS;
}

// A missing string is carried over as an empty one.
bool CopyString(HKEY from, HKEY to, const char* name) {
  std::string text;
  const LONG rc = QueryStringValue(from, name, text);
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) return false;
  return RegSetValueExA(to, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

// Strings and integers are not binary settings; any other stored type is taken as bytes.
bool IsBinaryType(DWORD type) {
  return type != REG_SZ && type != REG_EXPAND_SZ && type != REG_DWORD;
}

// Copied only when present and not empty; longer than the buffer is an error.
bool CopyBinary(HKEY from, HKEY to, const char* name, const char* newName) {
  BYTE buffer[kMigratedBinaryMax];
  DWORD type = 0;
  DWORD size = sizeof buffer;
  const LONG rc = RegQueryValueExA(from, name, nullptr, &type, buffer, &size);
  if (rc == ERROR_FILE_NOT_FOUND) return true;
  if (rc != ERROR_SUCCESS || !IsBinaryType(type)) return false;
  if (size == 0) return true;
  return RegSetValueExA(to, newName, 0, REG_BINARY, buffer, size) == ERROR_SUCCESS;
}

bool CopySuiteKey() {
  TRegistryKeyHandle from;
  TRegistryKeyHandle to;
  if (OpenRegistryKey(HKEY_LOCAL_MACHINE, kOldSuiteKey, KEY_READ, from) != ERROR_SUCCESS) return false;
  if (CreateRegistryKey(HKEY_LOCAL_MACHINE, kNewSuiteKey, to) != ERROR_SUCCESS) return false;
  return CopyString(from.Get(), to.Get(), "InstallDir") &&
         CopyString(from.Get(), to.Get(), "Version") &&
         CopyBinary(from.Get(), to.Get(), "DNSQuery", "DNSQuery") &&
         CopyBinary(from.Get(), to.Get(), "Settings", "Settings") &&
         CopyBinary(from.Get(), to.Get(), "SMTPTest", "SMTPTest") &&
         CopyBinary(from.Get(), to.Get(), "ZARELNotify", "Notify");
}

bool CopyWebMailKey() {
  TRegistryKeyHandle from;
  TRegistryKeyHandle to;
  if (OpenRegistryKey(HKEY_LOCAL_MACHINE, kOldWebMailKey, KEY_READ, from) != ERROR_SUCCESS) return false;
  if (CreateRegistryKey(HKEY_LOCAL_MACHINE, kNewWebMailKey, to) != ERROR_SUCCESS) return false;
  return CopyString(from.Get(), to.Get(), "InstallDir") &&
         CopyString(from.Get(), to.Get(), "Version");
}

}  // namespace

bool ConvertRegistry(bool deleteOld) {
  if (KeyExists(kNewRoot)) return true;
  if (KeyExists(kOldSuiteKey)) {
    if (!CopySuiteKey()) return false;
    // A key that cannot be deleted stays; the copy is what matters.
    if (deleteOld) DeleteRegistryTree(HKEY_LOCAL_MACHINE, kOldSuiteKey);
  }
  if (KeyExists(kOldWebMailKey)) {
    if (!CopyWebMailKey()) return false;
    if (deleteOld) DeleteRegistryTree(HKEY_LOCAL_MACHINE, kOldWebMailKey);
  }
  return true;
}
