// Start-menu links, the uninstall entry and the suite key, against a scratch registry and a
// Programs folder of the test's own; links are read back through the shell-link object.
#include "tests/EngineTestSupport.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <algorithm>

#include "engine/FilePlacementUnit.h"
#include "engine/ShortcutUnit.h"
#include "engine/ExitCodes.h"
#include "texts/TextTable.h"

namespace {

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zarel";
const char kSuiteKey[] = "Software\\Quenfor\\Zarel Mail Server";

struct LinkContents {
  std::string target;
  std::string arguments;
  std::string iconFile;
  int iconIndex = 0;
};

bool ReadLink(const std::string& file, LinkContents& contents) {
  CoInitialize(nullptr);
  IShellLinkA* link = nullptr;
  IPersistFile* persist = nullptr;
  bool ok = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                       reinterpret_cast<void**>(&link)));
  if (ok) ok = SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&persist)));
  std::wstring wide(file.begin(), file.end());
  if (ok) ok = SUCCEEDED(persist->Load(wide.c_str(), STGM_READ));
  char buffer[MAX_PATH * 2] = {};
  if (ok) {
    link->GetPath(buffer, sizeof buffer, nullptr, SLGP_RAWPATH);
    contents.target = buffer;
    buffer[0] = '\0';
    link->GetArguments(buffer, sizeof buffer);
    contents.arguments = buffer;
    buffer[0] = '\0';
    link->GetIconLocation(buffer, sizeof buffer, &contents.iconIndex);
    contents.iconFile = buffer;
  }
  if (persist != nullptr) persist->Release();
  if (link != nullptr) link->Release();
  CoUninitialize();
  return ok;
}

std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  const HANDLE find = FindFirstFileA((folder + "*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(data.cFileName);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

class ShortcutTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    install_ = folder_ / "Program Files\\Zarel\\";
    programs_ = folder_ / "Start Menu\\Programs";
    ForceDirectories(programs_);
    WriteText(install_ + "setup.exe", "setup");
    WriteText(install_ + "data.bin", std::string(10 * 1024, 'x'));
    SetupState().InstallDir = install_;
    PlacementFolders().SetupProgram = "setup.exe";
    SetString(HKEY_CURRENT_USER, kShellFolders, "Programs", programs_);
    savedName_ = cName;
  }
  void TearDown() override {
    cName = savedName_;
    PlacementFolders() = TPlacementFolders{};
    EngineTest::TearDown();
  }

  std::string install_;
  std::string programs_;
  std::string savedName_;
};

TEST_F(ShortcutTest, FolderNameFallsBackWhenTheProductNameIsNoSingleFolder) {
  const std::pair<std::string, std::string> cases[] = {
      {"Zarel Mail Server", "Zarel Mail Server"},
      {"Serveur de messagerie Zarel", "Serveur de messagerie Zarel"},
      {"", "Zarel Mail Server"},
      {"..", "Zarel Mail Server"},
      {".", "Zarel Mail Server"},
      {"..\\..\\Windows", "Zarel Mail Server"},
      {"Mail\\Server", "Zarel Mail Server"},
      {"C:", "Zarel Mail Server"},
      {"a/b", "Zarel Mail Server"},
      {"Name.", "Zarel Mail Server"},  // Windows would drop the dot: another folder's name
      {" ", "Zarel Mail Server"},
      {"NUL", "Zarel Mail Server"},
      {"com1.txt", "Zarel Mail Server"},
      {"Mail?", "Zarel Mail Server"},
      {"Zarel 8.2", "Zarel 8.2"},
  };
  for (const auto& [name, folder] : cases) EXPECT_EQ(ShortcutFolderName(name), folder) << "[" << name << "]";

  cName = "";
  EXPECT_EQ(StartMenuFolder(), programs_ + "\\Zarel Mail Server\\");
  SetString(HKEY_CURRENT_USER, kShellFolders, "Programs", "");
  EXPECT_EQ(StartMenuFolder(), "");
}

TEST_F(ShortcutTest, PlannedLinksFollowPlatformWebMailAndChosenComponents) {
  struct Case {
    bool webMail;
    bool services;
    bool im;
    bool groupWare;
    std::size_t count;
  };
  const Case cases[] = {
      {true, true, true, true, 10},     {false, true, true, true, 9},
      {true, false, true, true, 15},    {false, false, true, true, 14},
      // On NT the left-out components have no start links anyway.
      {true, true, false, false, 10},
      // Off NT a left-out component's program is deleted: no link points at it.
      {true, false, false, true, 14},   {true, false, true, false, 14},
      {false, false, false, false, 12},
  };
  for (const Case& c : cases) {
    TLinkConditions when;
    when.WebMailInstalled = c.webMail;
    when.ServicesPlatform = c.services;
    when.IMChosen = c.im;
    when.GroupWareChosen = c.groupWare;
    const std::vector<TShortcut> links = PlannedShortcuts(install_, "setup.exe", when);
    const std::string label = std::to_string(c.webMail) + std::to_string(c.services) + std::to_string(c.im) +
                              std::to_string(c.groupWare);
    EXPECT_EQ(links.size(), c.count) << label;
    auto has = [&](const std::string& name) {
      return std::any_of(links.begin(), links.end(), [&](const TShortcut& l) { return l.Name == name; });
    };
    EXPECT_EQ(has(cWebMailManual), c.webMail) << label;
    EXPECT_TRUE(has(cZarelWebmail)) << label;
    for (const std::string* service : {&ZarelSMTPLinkDesc, &ZarelPOP3LinkDesc, &ZarelControlLinkDesc})
      EXPECT_EQ(has(*service), !c.services) << *service << " " << label;
    EXPECT_EQ(has(ZarelIMLinkDesc), !c.services && c.im) << label;
    EXPECT_EQ(has(ZarelGWLinkDesc), !c.services && c.groupWare) << label;
  }
}

TEST_F(ShortcutTest, FolderEndsWithExactlyTheLinksThatApply) {
  const std::string folder = programs_ + "\\Zarel Mail Server\\";
  WriteText(folder + "Start Zarel SMTP Service.lnk", "old 9x link");
  WriteText(folder + "Old Tool.lnk", "old link");
  WriteText(folder + "Hidden.lnk", "old hidden link");
  SetFileAttributesA((folder + "Hidden.lnk").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);
  WriteText(folder + "notes.txt", "mine");
  WriteText(folder + "links.lnkx", "mine too");
  WriteText(programs_ + "\\Other.lnk", "another program's link");
  SetupState().WebMailInstalled = true;

  CreateIcons();

  std::vector<std::string> expected;
  TLinkConditions when;
  when.WebMailInstalled = true;
  for (const TShortcut& link : PlannedShortcuts(install_, "setup.exe", when)) expected.push_back(link.Name + ".lnk");
  expected.push_back("links.lnkx");
  expected.push_back("notes.txt");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(FilesIn(folder), expected);
  EXPECT_TRUE(FileExists(programs_ + "\\Other.lnk"));

  const std::string setup = install_ + "setup.exe";
  struct Expected {
    std::string link;
    LinkContents contents;
  };
  const Expected links[] = {
      {UninstallDesc, {setup, "/UNINSTALL", setup, 1}},
      {cZarelWebmail, {setup, "/WEBMAILLOGON", setup, 2}},
      {cZarelWebAdmin, {setup, "/WEBADMINLOGON", setup, 2}},
      {cZarelLogs, {setup, "/LOGS", setup, 3}},
      {"Zarel Mail Server Administration", {install_ + "config.exe", "", "", 0}},
      {cWebMailManual, {install_ + cWebMailManualFile, "", "", 0}},
  };
  for (const Expected& e : links) {
    LinkContents read;
    ASSERT_TRUE(ReadLink(folder + e.link + ".lnk", read)) << e.link;
    EXPECT_EQ(read.target, e.contents.target) << e.link;
    EXPECT_EQ(read.arguments, e.contents.arguments) << e.link;
    EXPECT_EQ(read.iconIndex, e.contents.iconIndex) << e.link;
    if (e.contents.iconIndex != 0) {
      EXPECT_EQ(read.iconFile, e.contents.iconFile) << e.link;
    }
  }
  EXPECT_TRUE(Contains(Log(), "Shortcut created: " + folder + UninstallDesc + ".lnk -> " + setup + " /UNINSTALL"));
  EXPECT_TRUE(Contains(Log(), "File deleted: " + folder + "Old Tool.lnk"));
}

TEST_F(ShortcutTest, UninstallEntryAndSuiteKey) {
  CreateIcons();
  const std::string setup = install_ + "setup.exe";
  const std::pair<std::string, std::string> values[] = {
      {"DisplayName", cName},
      {"UninstallString", "\"" + setup + "\" /UNINSTALL"},
      {"DisplayVersion", "8.2.0"},
      {"Publisher", "Quenfor"},
      {"DisplayIcon", setup + ",0"},
      {"InstallLocation", install_},
      {"NoModify", "1"},
      {"NoRepair", "1"},
  };
  for (const auto& [name, value] : values) EXPECT_EQ(GetValue(HKEY_LOCAL_MACHINE, kUninstallKey, name), value) << name;
  const int size = std::stoi(GetValue(HKEY_LOCAL_MACHINE, kUninstallKey, "EstimatedSize"));
  EXPECT_GE(size, 10);
  EXPECT_LE(size, 12);
  EXPECT_EQ(GetValue(HKEY_LOCAL_MACHINE, kSuiteKey, "InstallDir"), install_);
  EXPECT_EQ(GetValue(HKEY_LOCAL_MACHINE, kSuiteKey, "Version"), "8.2.0");
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_TRUE(Contains(Log(), "Registry value UninstallString = \"\"" + setup + "\" /UNINSTALL\" in HKLM\\" + kUninstallKey));

  ASSERT_TRUE(RemoveUninstallEntry());
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kSuiteKey));
}

// The values the removal needs fail the step; the programs list's extras are only logged.
class TRefusingEntry : public TAdvancedRegistry {
 public:
  using TAdvancedRegistry::TAdvancedRegistry;
  std::string refuse;

 protected:
  LONG StoreValue(HKEY key, const std::string& name, DWORD type, const void* data, DWORD size) override {
    if (name == refuse) return ERROR_ACCESS_DENIED;
    return TAdvancedRegistry::StoreValue(key, name, type, data, size);
  }
};

TEST_F(ShortcutTest, OnlyTheValuesTheRemovalNeedsCanFailTheUninstallEntry) {
  const struct {
    const char* value;
    bool fails;
  } rows[] = {{"DisplayName", true}, {"UninstallString", true}, {"DisplayVersion", false},
              {"Publisher", false},  {"DisplayIcon", false},     {"InstallLocation", false},
              {"EstimatedSize", false}, {"NoModify", false},     {"NoRepair", false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.value);
    TRefusingEntry entry(TRegistryKey::hkLOCAL_MACHINE, "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                         "Zarel");
    entry.refuse = row.value;
    EXPECT_EQ(!WriteUninstallEntry(entry, install_, "setup.exe"), row.fails);
    EXPECT_TRUE(Contains(Log(), std::string("Registry value ") + row.value));
    // The writing goes on past a refused extra, up to the last value.
    const bool lastWritten = !row.fails && std::string(row.value) != "NoRepair";
    EXPECT_EQ(GetValue(HKEY_LOCAL_MACHINE, kUninstallKey, "NoRepair"), lastWritten ? "1" : "<missing>");
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, kUninstallKey);
  }
}

TEST_F(ShortcutTest, NoProgramsFolderSkipsLinksButRegisters) {
  SetString(HKEY_CURRENT_USER, kShellFolders, "Programs", "");
  CreateIcons();
  EXPECT_TRUE(Contains(Log(), "No Programs folder known for the current user: shortcuts skipped"));
  EXPECT_EQ(GetValue(HKEY_LOCAL_MACHINE, kSuiteKey, "Version"), "8.2.0");
}

TEST_F(ShortcutTest, RegistryWriteFailureShowsTheBoxAndEnds) {
  // A volatile parent refuses the lasting key the entry needs (ERROR_CHILD_MUST_BE_VOLATILE).
  TRegistryKeyHandle parent;
  ASSERT_EQ(CreateRegistryKey(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", parent), ERROR_SUCCESS);
  HKEY uninstall = nullptr;
  ASSERT_EQ(RegCreateKeyExA(parent.Get(), "Uninstall", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &uninstall, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(uninstall);
  int endCode = -1;
  try {
    RunOrEnd("CreateIcons", CreateIcons);
  } catch (const TProgramEnded& ended) {
    endCode = ended.code;
  }
  EXPECT_EQ(endCode, kExitFatalError);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].caption, cError);
  const std::string& text = ui_.boxes[0].text;
  EXPECT_EQ(text.rfind(cRegistryError, 0), 0u);
  EXPECT_GT(text.find("\r\nThere might be already some service running"), cRegistryError.size()) << text;
  // Links written before the failure stay.
  EXPECT_TRUE(FileExists(programs_ + "\\Zarel Mail Server\\" + UninstallDesc + ".lnk"));
}

}  // namespace
