#include "base/SafeLibrary.h"

namespace {

bool IsFullPath(const std::string& path) {
  const bool drive = path.size() >= 3 && path[1] == ':' && (path[2] == '\\' || path[2] == '/');
  const bool unc = path.size() >= 3 && path[0] == '\\' && path[1] == '\\';
  return drive || unc;
}

}  // namespace

void HardenLibrarySearch() {
  // Newer systems: default search = system folder only (plus folders added explicitly).
  // Older ones: at least the current folder leaves the search.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  using SetDllDirectoryFn = BOOL(WINAPI*)(LPCSTR);
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr) return;
  // Through void*: entry points looked up at run time have their own signatures.
  auto setDllDirectory = reinterpret_cast<SetDllDirectoryFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDllDirectoryA")));
  if (setDllDirectory != nullptr) setDllDirectory("");
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  if (setDefault != nullptr) setDefault(kSearchSystem32);
}

std::string SystemLibraryFolder() {
  char buffer[MAX_PATH + 1] = {};
  const UINT length = GetSystemDirectoryA(buffer, MAX_PATH);
  if (length == 0 || length > MAX_PATH) return {};
  std::string folder(buffer, length);
  if (folder.back() != '\\') folder += '\\';
  return folder;
}

DWORD LibrarySearchFlags(bool ownFolderFirst) {
  // LOAD_LIBRARY_SEARCH_* (Windows 8, or 7 with its update, which brought AddDllDirectory with
  // them): dependencies come from the library's own folder and the system folder only. Older
  // systems know only the altered search, which goes on along PATH.
  constexpr DWORD kSearchDllLoadDir = 0x00000100;  // LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR
  constexpr DWORD kSearchSystem32 = 0x00000800;    // LOAD_LIBRARY_SEARCH_SYSTEM32
  static const bool searchFlagsKnown = [] {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel != nullptr && GetProcAddress(kernel, "AddDllDirectory") != nullptr;
  }();
  if (!searchFlagsKnown) return LOAD_WITH_ALTERED_SEARCH_PATH;
  return ownFolderFirst ? kSearchDllLoadDir | kSearchSystem32 : kSearchSystem32;
}

HMODULE LoadSystemLibrary(const std::string& fileName) {
  if (fileName.find_first_of("\\/:") != std::string::npos) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::string folder = SystemLibraryFolder();
  if (folder.empty()) return nullptr;
  return LoadLibraryExA((folder + fileName).c_str(), nullptr, LibrarySearchFlags(false));
}

HMODULE LoadLibraryAt(const std::string& fullPath) {
  if (!IsFullPath(fullPath)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return LoadLibraryExA(fullPath.c_str(), nullptr, LibrarySearchFlags(true));
}
