#include "system/ProcessUnit.h"

#include <functional>

#include "base/HandleTypes.h"
#include "base/SafeLibrary.h"
#include "base/StringUnit.h"

namespace {

using TEnumProcesses = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
using TEnumProcessModules = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
using TGetModuleBaseNameA = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
using TGetModuleFileNameExA = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
using TGetProcessMemoryInfo = BOOL(WINAPI*)(HANDLE, void*, DWORD);

constexpr DWORD kCheckAccess = PROCESS_QUERY_INFORMATION | PROCESS_VM_READ;
// SYNCHRONIZE: the end is waited for.
constexpr DWORD kCheckAndEndAccess = kCheckAccess | PROCESS_TERMINATE | SYNCHRONIZE;

// Loaded once per run and kept until the program ends.
struct TProcessApi {
  TLibrary library;
  TEnumProcesses EnumProcesses = nullptr;
  TEnumProcessModules EnumProcessModules = nullptr;
  TGetModuleBaseNameA GetModuleBaseNameA = nullptr;
  TGetModuleFileNameExA GetModuleFileNameExA = nullptr;
  TGetProcessMemoryInfo GetProcessMemoryInfo = nullptr;
};

TProcessApi& ProcessApi() {
  static TProcessApi api;
  return api;
}

// The process's main module: the first entry of its module list.
HMODULE MainModule(HANDLE process) {
  TProcessApi& api = ProcessApi();
  DWORD needed = 0;
  if (!api.EnumProcessModules(process, nullptr, 0, &needed) || needed < sizeof(HMODULE)) return nullptr;
  std::vector<HMODULE> modules(needed / sizeof(HMODULE) + 1, nullptr);
  if (!api.EnumProcessModules(process, modules.data(), static_cast<DWORD>(modules.size() * sizeof(HMODULE)),
                              &needed))
    return nullptr;
  return modules[0];
}

std::string ModuleBaseName(HANDLE process, HMODULE module) {
  char name[256] = {};
  const DWORD length = ProcessApi().GetModuleBaseNameA(process, module, name, sizeof name);
  return std::string(name, length < sizeof name ? length : 0);
}

std::string ModuleFullPath(HANDLE process, HMODULE module) {
  if (ProcessApi().GetModuleFileNameExA == nullptr) return {};
  char path[MAX_PATH * 2] = {};
  const DWORD length = ProcessApi().GetModuleFileNameExA(process, module, path, sizeof path);
  return std::string(path, length < sizeof path ? length : 0);
}

// A path in its long form and lower case, so "C:\PROGRA~1\..." and "c:\Program Files\..."
// name the same file.
std::string ComparablePath(const std::string& path) {
  char longPath[MAX_PATH * 2] = {};
  const DWORD length = GetLongPathNameA(path.c_str(), longPath, sizeof longPath);
  return LowerCase(length > 0 && length < sizeof longPath ? std::string(longPath, length) : path);
}

// Ends the process and waits until it is gone: the caller's next step replaces the program
// file, which is only free once the process has really ended.
bool TerminateAndWait(HANDLE process) {
  if (!TerminateProcess(process, 0)) return false;
  WaitForSingleObject(process, 5000);
  return true;
}

bool IsMatch(HANDLE process, const std::function<bool(HANDLE, HMODULE)>& matches) {
  const HMODULE module = MainModule(process);
  return module != nullptr && matches(process, module);
}

// Terminates every process whose main module the predicate accepts; the result of the last
// matching process, false when nothing matched. A process is ended through the very handle
// its module was checked on: reopened by id, the id could by then name another process.
bool KillMatchingProcesses(const std::function<bool(HANDLE, HMODULE)>& matches) {
  if (!LoadProcessApi()) return false;
  const std::vector<DWORD> ids = EnumerateProcessIds();
  if (ids.empty()) return false;
  SetPrivilege(SE_DEBUG_NAME, true);
  const DWORD self = GetCurrentProcessId();
  bool result = false;
  for (const DWORD id : ids) {
    if (id == 0 || id == self) continue;
    const TKernelHandle process(OpenProcess(kCheckAndEndAccess, FALSE, id));
    if (process) {
      if (IsMatch(process.Get(), matches)) result = TerminateAndWait(process.Get());
      continue;
    }
    // Not ours to end (another user's or a protected process): a match still counts, as a
    // failure, when it can at least be recognised.
    const TKernelHandle visible(OpenProcess(kCheckAccess, FALSE, id));
    if (visible && IsMatch(visible.Get(), matches)) result = false;
  }
  return result;
}

}  // namespace

bool LoadProcessApi() {
  TProcessApi& api = ProcessApi();
  if (api.library) return true;
  TLibrary library(LoadSystemLibrary("psapi.dll"));
  if (!library) return false;
  api.EnumProcesses = LibraryEntry<TEnumProcesses>(library, "EnumProcesses");
  api.EnumProcessModules = LibraryEntry<TEnumProcessModules>(library, "EnumProcessModules");
  api.GetModuleBaseNameA = LibraryEntry<TGetModuleBaseNameA>(library, "GetModuleBaseNameA");
  api.GetModuleFileNameExA = LibraryEntry<TGetModuleFileNameExA>(library, "GetModuleFileNameExA");
  api.GetProcessMemoryInfo = LibraryEntry<TGetProcessMemoryInfo>(library, "GetProcessMemoryInfo");
  if (api.EnumProcesses == nullptr || api.EnumProcessModules == nullptr || api.GetModuleBaseNameA == nullptr) {
    api = TProcessApi{};
    return false;
  }
  api.library = std::move(library);
  return true;
}

bool SetPrivilege(const std::string& privilegeName, bool enable) {
  HANDLE rawToken = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &rawToken)) return false;
  const TKernelHandle token(rawToken);
  TOKEN_PRIVILEGES privileges{};
  privileges.PrivilegeCount = 1;
  if (!LookupPrivilegeValueA(nullptr, privilegeName.c_str(), &privileges.Privileges[0].Luid)) return false;
  privileges.Privileges[0].Attributes = enable ? SE_PRIVILEGE_ENABLED : 0;
  return AdjustTokenPrivileges(token.Get(), FALSE, &privileges, sizeof privileges, nullptr, nullptr) != FALSE;
}

bool KillProcess(DWORD processId) {
  SetPrivilege(SE_DEBUG_NAME, true);
  const TKernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
  return process && TerminateAndWait(process.Get());
}

std::vector<DWORD> EnumerateProcessIds(std::size_t initialCapacity) {
  if (!LoadProcessApi()) return {};
  std::vector<DWORD> ids(initialCapacity > 0 ? initialCapacity : 1);
  for (;;) {
    DWORD bytes = 0;
    const DWORD capacity = static_cast<DWORD>(ids.size() * sizeof(DWORD));
    if (!ProcessApi().EnumProcesses(ids.data(), capacity, &bytes)) return {};
    // A full list may have been cut short: grow until there is room to spare.
    if (bytes < capacity) {
      ids.resize(bytes / sizeof(DWORD));
      return ids;
    }
    ids.resize(ids.size() * 2);
  }
}

bool KillProcessByName(const std::string& name) {
  std::string target = LowerCase(name);
  if (target.find('.') == std::string::npos) target += ".exe";
  return KillMatchingProcesses([&target](HANDLE process, HMODULE module) {
    const std::string found = ModuleBaseName(process, module);
    return !found.empty() && LowerCase(found) == target;
  });
}

bool KillProcessByPath(const std::string& path) {
  if (path.empty()) return false;
  const std::string target = ComparablePath(path);
  return KillMatchingProcesses([&target](HANDLE process, HMODULE module) {
    const std::string found = ModuleFullPath(process, module);
    return !found.empty() && ComparablePath(found) == target;
  });
}
