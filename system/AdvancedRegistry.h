// The registry component through which the setup reads and writes its own settings, the
// Start-menu folder and the uninstall entry.
//
// One instance addresses exactly one key: RegistryArea + "\" + RegistrySection under the
// root. The key is opened per operation and closed before it returns. Open and read
// failures raise OnError and give the cleared default (empty text, false); a write that
// fails is reported to the caller as a result carrying the system's error text, never as
// an exception.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/HandleTypes.h"

struct TRegistryKeyTraits {
  static HKEY None() { return nullptr; }
  static bool Valid(HKEY h) { return h != nullptr; }
  static void Close(HKEY h) { RegCloseKey(h); }
};
// An open registry key (never a predefined root, which is not ours to close).
using TRegistryKeyHandle = TUniqueHandle<HKEY, TRegistryKeyTraits>;

// Key paths may be written with a leading '\' ("\Software\Quenfor"); the system wants them
// relative to the root, without empty parts.
std::string RelativeKeyPath(const std::string& path);

// Opens root\path for reading (and writing), without creating it.
LONG OpenRegistryKey(HKEY root, const std::string& path, REGSAM access, TRegistryKeyHandle& key);
// Opens root\path, creating it and its missing parents.
LONG CreateRegistryKey(HKEY root, const std::string& path, TRegistryKeyHandle& key);
// Deletes root\path with all its subkeys.
LONG DeleteRegistryTree(HKEY root, const std::string& path);
// The system's message for a Win32 error code, without the trailing line break.
std::string RegistryErrorText(LONG code);
// Reads a REG_SZ or REG_EXPAND_SZ value (unexpanded); ERROR_FILE_NOT_FOUND when missing,
// ERROR_INVALID_DATATYPE for a value of another type.
LONG QueryStringValue(HKEY key, const std::string& name, std::string& text);
// Reads a REG_DWORD value; ERROR_INVALID_DATATYPE for any other type or size.
LONG QueryDwordValue(HKEY key, const std::string& name, DWORD& value);

enum class TRegistryKey {
  hkCLASSES_ROOT = 0,
  hkCURRENT_USER = 1,
  hkLOCAL_MACHINE = 2,
  hkUSERS = 3,
  hkPERFORMANCE_DATA = 4,
  hkCURRENT_CONFIG = 5,
  hkDYN_DATA = 6,
};

HKEY PredefinedKey(TRegistryKey root);

// Outcome of a write: success, or the Win32 code with the system's text for it.
struct TRegistryResult {
  LONG code = ERROR_SUCCESS;
  std::string message;
  // The key itself could not be opened or created (OnError was raised as well).
  bool openFailed = false;

  bool Succeeded() const { return code == ERROR_SUCCESS; }
  explicit operator bool() const { return Succeeded(); }
  static TRegistryResult Failure(LONG code, bool openFailed);
};

class TAdvancedRegistry {
 public:
  using TErrorEvent = std::function<void(TAdvancedRegistry& sender)>;

  // Created in code, area and section are empty; callers set them before use.
  explicit TAdvancedRegistry(TRegistryKey root = TRegistryKey::hkCURRENT_USER,
                             std::string area = {}, std::string section = {});
  virtual ~TAdvancedRegistry() = default;

  TRegistryKey RegistryRootKey() const { return root_; }
  void SetRegistryRootKey(TRegistryKey root) { root_ = root; }
  const std::string& RegistryArea() const { return area_; }
  void SetRegistryArea(const std::string& area) { area_ = area; }
  const std::string& RegistrySection() const { return section_; }
  void SetRegistrySection(const std::string& section) { section_ = section; }

  // Raised on every open and read failure and on a failed DeleteKey; LastError tells which.
  TErrorEvent OnError;
  const TRegistryResult& LastError() const { return lastError_; }

  // The addressed key, relative to the root: area + "\" + section.
  std::string KeyPath() const;

  // Empty when the key or value is missing or the value is not a string.
  std::string ReadString(const std::string& name);
  // True for a non-zero REG_DWORD; false when missing or of another type.
  bool ReadBool(const std::string& name);

  TRegistryResult WriteString(const std::string& name, const std::string& text);
  TRegistryResult WriteInteger(const std::string& name, std::int32_t value);
  TRegistryResult WriteBool(const std::string& name, bool value);
  // Lists the value names of the addressed key (created when missing).
  TRegistryResult GetValueNames(std::vector<std::string>& names);
  // Deletes path (from the root, not from the addressed key) with all its subkeys.
  TRegistryResult DeleteKey(const std::string& path);

 protected:
  // The one place a value is stored; gives the Win32 result.
  virtual LONG StoreValue(HKEY key, const std::string& name, DWORD type, const void* data,
                          DWORD size);

 private:
  HKEY Root() const { return PredefinedKey(root_); }
  void RaiseError(LONG code, bool openFailed);
  // Opens the addressed key for reading; raises OnError when it does not exist.
  bool OpenForReading(TRegistryKeyHandle& key);
  TRegistryResult Write(const std::string& name, DWORD type, const void* data, DWORD size);

  TRegistryKey root_;
  std::string area_;
  std::string section_;
  TRegistryResult lastError_;
};
