// Libraries come from the system folder or a full path, never from a search that includes
// the program's or the current folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/SafeLibrary.h"
#include "tests/ImportHook.h"

namespace {

TEST(SafeLibrary, SystemLibrariesOnlyFromTheSystemFolder) {
  const std::string system = SystemLibraryFolder();
  ASSERT_FALSE(system.empty());
  EXPECT_EQ(system.back(), '\\');

  HMODULE psapi = LoadSystemLibrary("psapi.dll");
  ASSERT_NE(psapi, nullptr);
  char path[MAX_PATH] = {};
  GetModuleFileNameA(psapi, path, MAX_PATH);
  EXPECT_EQ(lstrcmpiA(path, (system + "psapi.dll").c_str()), 0) << path;
  FreeLibrary(psapi);

  // Names with a folder part are refused; missing ones are simply not there.
  const char* refused[] = {"..\\psapi.dll", "sub\\x.dll", "C:\\x.dll", "a/b.dll"};
  for (const char* name : refused) {
    EXPECT_EQ(LoadSystemLibrary(name), nullptr) << name;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << name;
  }
  EXPECT_EQ(LoadSystemLibrary("no-such-library-here.dll"), nullptr);
}

TEST(SafeLibrary, SuiteLibrariesOnlyByFullPath) {
  const char* refused[] = {"db.dll", "lib\\db.dll", ".\\db.dll", "", "C:db.dll"};
  for (const char* name : refused) {
    EXPECT_EQ(LoadLibraryAt(name), nullptr) << name;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << name;
  }
  HMODULE library = LoadLibraryAt(SystemLibraryFolder() + "psapi.dll");
  EXPECT_NE(library, nullptr);
  if (library != nullptr) FreeLibrary(library);
}

// A suite library's own dependencies (setiface.dll's, LDAP32.Dll's) come from its folder and the
// system folder, never along PATH, where any user may have put a folder of their own.
TEST(SafeLibrary, DependenciesAreNotSearchedAlongPath) {
  using TLoad = HMODULE(WINAPI*)(LPCSTR, HANDLE, DWORD);
  static DWORD flags = 0;
  static TLoad original = nullptr;
  struct TRecord {
    static HMODULE WINAPI Load(LPCSTR name, HANDLE file, DWORD how) {
      flags = how;
      return original(name, file, how);
    }
  };
  TImportHook hook("kernel32.dll", "LoadLibraryExA", reinterpret_cast<void*>(&TRecord::Load));
  ASSERT_TRUE(hook.Installed());
  original = hook.Original<TLoad>();
  HMODULE library = LoadLibraryAt(SystemLibraryFolder() + "psapi.dll");
  EXPECT_NE(library, nullptr);
  if (library != nullptr) FreeLibrary(library);
  const bool searchFlagsKnown = GetProcAddress(GetModuleHandleA("kernel32.dll"), "AddDllDirectory") != nullptr;
  EXPECT_EQ(flags, searchFlagsKnown ? 0x00000900u : static_cast<DWORD>(LOAD_WITH_ALTERED_SEARCH_PATH));
  library = LoadSystemLibrary("psapi.dll");
  if (library != nullptr) FreeLibrary(library);
  EXPECT_EQ(flags, searchFlagsKnown ? 0x00000800u : static_cast<DWORD>(LOAD_WITH_ALTERED_SEARCH_PATH));
}

TEST(SafeLibrary, HardeningKeepsSystemLibrariesLoadable) {
  HardenLibrarySearch();
  HMODULE library = LoadLibraryA("version.dll");  // a system library by bare name still loads
  EXPECT_NE(library, nullptr);
  if (library != nullptr) FreeLibrary(library);
}

}  // namespace
