#include "system/AdvancedRegistry.h"

#include <utility>


std::string RelativeKeyPath(const std::string& path) {
  std::string relative;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) {
      if (!relative.empty()) relative += '\\';
      relative.append(path, start, end - start);
    }
    start = end + 1;
  }
  return relative;
}

LONG OpenRegistryKey(HKEY root, const std::string& path, REGSAM access, TRegistryKeyHandle& key) {
  HKEY opened = nullptr;
  const LONG rc = RegOpenKeyExA(root, RelativeKeyPath(path).c_str(), 0, access, &opened);
  key.Reset(rc == ERROR_SUCCESS ? opened : nullptr);
  return rc;
}

LONG CreateRegistryKey(HKEY root, const std::string& path, TRegistryKeyHandle& key) {
  HKEY opened = nullptr;
  const LONG rc = RegCreateKeyExA(root, RelativeKeyPath(path).c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr,
                                  &opened, nullptr);
  key.Reset(rc == ERROR_SUCCESS ? opened : nullptr);
  return rc;
}

LONG DeleteRegistryTree(HKEY root, const std::string& path) {
  const std::string relative = RelativeKeyPath(path);
  // An empty path would name the root itself.
  if (relative.empty()) return ERROR_INVALID_PARAMETER;
  {
    TRegistryKeyHandle key;
    LONG rc = OpenRegistryKey(root, relative, KEY_READ, key);
    if (rc != ERROR_SUCCESS) return rc;
    // Always take the first subkey: each pass removes it, so the index never moves on.
    for (;;) {
      char name[512];
      DWORD length = sizeof name;
      rc = RegEnumKeyExA(key.Get(), 0, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      if (rc != ERROR_SUCCESS) return rc;
      rc = DeleteRegistryTree(key.Get(), std::string(name, length));
      if (rc != ERROR_SUCCESS) return rc;
    }
  }
  return RegDeleteKeyA(root, relative.c_str());
}

std::string RegistryErrorText(LONG code) {
  char buffer[1024];
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(code), 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, length);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  if (text.empty()) text = "Error " + std::to_string(code);
  return text;
}

LONG QueryStringValue(HKEY key, const std::string& name, std::string& text) {
  text.clear();
  for (;;) {
    DWORD type = 0;
    DWORD size = 0;
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size);
    if (rc != ERROR_SUCCESS) return rc;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATATYPE;
    std::string data(size, '\0');
    rc = RegQueryValueExA(key, name.c_str(), nullptr, &type,
                          reinterpret_cast<BYTE*>(data.data()), &size);
    // Another program may have grown the value in between; ask again.
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) return rc;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATATYPE;
    data.resize(size);
    // Stored strings need not be terminated, and a terminator ends the text.
    text = data.substr(0, data.find('\0'));
    return ERROR_SUCCESS;
  }
}

LONG QueryDwordValue(HKEY key, const std::string& name, DWORD& value) {
  value = 0;
  DWORD type = 0;
  DWORD data = 0;
  DWORD size = sizeof data;
  const LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type,
                                   reinterpret_cast<BYTE*>(&data), &size);
  if (rc == ERROR_MORE_DATA) return ERROR_INVALID_DATATYPE;
  if (rc != ERROR_SUCCESS) return rc;
  if (type != REG_DWORD || size != sizeof data) return ERROR_INVALID_DATATYPE;
  value = data;
  return ERROR_SUCCESS;
}

HKEY PredefinedKey(TRegistryKey root) {
  switch (root) {
    case TRegistryKey::hkCLASSES_ROOT: return HKEY_CLASSES_ROOT;
    case TRegistryKey::hkCURRENT_USER: return HKEY_CURRENT_USER;
    case TRegistryKey::hkLOCAL_MACHINE: return HKEY_LOCAL_MACHINE;
    case TRegistryKey::hkUSERS: return HKEY_USERS;
    case TRegistryKey::hkPERFORMANCE_DATA: return HKEY_PERFORMANCE_DATA;
    case TRegistryKey::hkCURRENT_CONFIG: return HKEY_CURRENT_CONFIG;
    case TRegistryKey::hkDYN_DATA: return HKEY_DYN_DATA;
  }
  return HKEY_CURRENT_USER;
}

TRegistryResult TRegistryResult::Failure(LONG code, bool openFailed) {
  TRegistryResult result;
  result.code = code;
  result.message = RegistryErrorText(code);
  result.openFailed = openFailed;
  return result;
}

TAdvancedRegistry::TAdvancedRegistry(TRegistryKey root, std::string area, std::string section)
    : root_(root), area_(std::move(area)), section_(std::move(section)) {}

std::string TAdvancedRegistry::KeyPath() const { return RelativeKeyPath(area_ + "\\" + section_); }

void TAdvancedRegistry::RaiseError(LONG code, bool openFailed) {
  lastError_ = TRegistryResult::Failure(code, openFailed);
  if (OnError) OnError(*this);
}

bool TAdvancedRegistry::OpenForReading(TRegistryKeyHandle& key) {
  const LONG rc = OpenRegistryKey(Root(), KeyPath(), KEY_READ, key);
  if (rc != ERROR_SUCCESS) {
    RaiseError(rc, true);
    return false;
  }
  return true;
}

std::string TAdvancedRegistry::ReadString(const std::string& name) {
  TRegistryKeyHandle key;
  if (!OpenForReading(key)) return {};
  std::string text;
  const LONG rc = QueryStringValue(key.Get(), name, text);
  // A missing string is simply empty; only a value that cannot be read is an error.
  if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) RaiseError(rc, false);
  return rc == ERROR_SUCCESS ? text : std::string();
}

bool TAdvancedRegistry::ReadBool(const std::string& name) {
  TRegistryKeyHandle key;
  if (!OpenForReading(key)) return false;
  DWORD value = 0;
  const LONG rc = QueryDwordValue(key.Get(), name, value);
  if (rc != ERROR_SUCCESS) {
    RaiseError(rc, false);
    return false;
  }
  return value != 0;
}

LONG TAdvancedRegistry::StoreValue(HKEY key, const std::string& name, DWORD type,
                                   const void* data, DWORD size) {
  return RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
}

TRegistryResult TAdvancedRegistry::Write(const std::string& name, DWORD type, const void* data,
                                         DWORD size) {
  TRegistryKeyHandle key;
  const LONG opened = CreateRegistryKey(Root(), KeyPath(), key);
  if (opened != ERROR_SUCCESS) {
    RaiseError(opened, true);
    return lastError_;
  }
  const LONG rc = StoreValue(key.Get(), name, type, data, size);
  if (rc != ERROR_SUCCESS) return TRegistryResult::Failure(rc, false);
  return {};
}

TRegistryResult TAdvancedRegistry::WriteString(const std::string& name, const std::string& text) {
  // The stored string carries its terminator.
  return Write(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

TRegistryResult TAdvancedRegistry::WriteInteger(const std::string& name, std::int32_t value) {
  const DWORD data = static_cast<DWORD>(value);
  return Write(name, REG_DWORD, &data, sizeof data);
}

TRegistryResult TAdvancedRegistry::WriteBool(const std::string& name, bool value) {
  return WriteInteger(name, value ? 1 : 0);
}

TRegistryResult TAdvancedRegistry::GetValueNames(std::vector<std::string>& names) {
  names.clear();
  TRegistryKeyHandle key;
  const LONG opened = CreateRegistryKey(Root(), KeyPath(), key);
  if (opened != ERROR_SUCCESS) {
    RaiseError(opened, true);
    return lastError_;
  }
  DWORD longestName = 0;
  LONG rc = RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                             nullptr, &longestName, nullptr, nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return TRegistryResult::Failure(rc, false);
  std::string name(longestName + 1, '\0');
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(name.size());
    rc = RegEnumValueA(key.Get(), index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_MORE_DATA) {
      // A longer name was added meanwhile: make room and take the same index again.
      name.resize(name.size() * 2);
      --index;
      continue;
    }
    if (rc != ERROR_SUCCESS) return TRegistryResult::Failure(rc, false);
    names.emplace_back(name.data(), length);
  }
  return {};
}

TRegistryResult TAdvancedRegistry::DeleteKey(const std::string& path) {
  const LONG rc = DeleteRegistryTree(Root(), path);
  if (rc != ERROR_SUCCESS) {
    RaiseError(rc, false);
    return lastError_;
  }
  return {};
}

