// What setup.exe carries besides its code: the manifest, the version and the icon groups in
// the order the shortcuts pick them by index.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class SetupResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExA(SETUP_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr) << SETUP_EXE << " " << GetLastError();
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  HMODULE module_ = nullptr;
};

BOOL CALLBACK CollectName(HMODULE, LPCSTR, LPSTR name, LONG_PTR param) {
  auto* names = reinterpret_cast<std::vector<std::string>*>(param);
  if (IS_INTRESOURCE(name)) {
    names->push_back(std::to_string(reinterpret_cast<UINT_PTR>(name)));  // unnamed: its number
  } else {
    names->push_back(name);
  }
  return TRUE;
}

TEST_F(SetupResourcesTest, IconGroupsInShortcutOrder) {
  std::vector<std::string> names;
  EnumResourceNamesA(module_, RT_GROUP_ICON, CollectName, reinterpret_cast<LONG_PTR>(&names));
  EXPECT_EQ(names, (std::vector<std::string>{"MAINICON", "UNINSTALLICON", "XICON1", "XICON2"}));
}

TEST_F(SetupResourcesTest, ManifestAsksForAdministratorAndCommonControls6) {
  HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(found, nullptr);
  const char* data = static_cast<const char*>(LockResource(LoadResource(module_, found)));
  const std::string manifest(data, SizeofResource(module_, found));
  for (const char* part : {"requireAdministrator", "Microsoft.Windows.Common-Controls",
                           "version=\"6.0.0.0\"", "<dpiAware", "supportedOS"}) {
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  }
}

TEST_F(SetupResourcesTest, VersionNamesTheProduct) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(SETUP_EXE, &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoA(SETUP_EXE, 0, size, info.data()));
  char* value = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904E4\\ProductVersion",
                             reinterpret_cast<void**>(&value), &length));
  EXPECT_STREQ(value, "8.2.0");
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904E4\\ProductName",
                             reinterpret_cast<void**>(&value), &length));
  EXPECT_STREQ(value, "Zarel Mail Server");
}

}  // namespace
