// Uninstalling from an installed folder, from a folder that is no installation and with a
// product name that is no folder name. Runs in a Wine prefix of its own (services go).
#include "tests/EngineTestSupport.h"

#include "engine/FilePlacementUnit.h"
#include "engine/InstallSequence.h"
#include "engine/ShortcutUnit.h"
#include "engine/UninstallUnit.h"
#include "texts/TextTable.h"
#include "system/ComRegistration.h"
#include "base/DeadlineClock.h"
#include "tests/FolderLink.h"

namespace {

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zarel";
const char kSuiteKey[] = "Software\\Quenfor\\Zarel Mail Server";

// The settling pause after stopping the servers passes at once; no server runs here.
class TInstantClock final : public TDeadlineClock {
 public:
  std::uint64_t NowMs() override { return now_; }
  void Pause(std::uint32_t ms) override { now_ += ms; }

 private:
  std::uint64_t now_ = 0;
};

class UninstallTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    SetDeadlineClock(&clock_);
    install_ = folder_ / "Zarel\\";
    programs_ = folder_ / "Programs\\";
    SetupState().SystemDir = folder_ / "system\\";
    WriteText(folder_ / "system\\Zarel.CPL", "applet");
    SetString(HKEY_CURRENT_USER, kShellFolders, "Programs", programs_);
    SetString(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", "Zarel Mail Server");
    SetString(HKEY_LOCAL_MACHINE, kSuiteKey, "InstallDir", install_);
    calls_ = folder_ / "setiface-calls.log";
    SetEnvironmentVariableA("ZAREL_SETIFACE_LOG", calls_.c_str());
    savedName_ = cName;
  }
  void TearDown() override {
    SetDeadlineClock(nullptr);
    cName = savedName_;
    SetEnvironmentVariableA("ZAREL_SETIFACE_LOG", nullptr);
    SetEnvironmentVariableA("ZAREL_COMSERVER_FAIL", nullptr);
    EngineTest::TearDown();
  }

  void MakeInstallation() {
    for (const char* name : kCoreFiles) WriteText(install_ + name, name);
    const char* const files[] = {
        "quenforcom.dll", "cal.exe", "im.exe", "readme.txt", "releasenotes.txt", "setup.exe",
        "config\\settings.cfg", "config\\webserver.cfg", "mail\\example.com\\admin\\1.msg", "logs\\smtp.log",
        "calendar\\Calendar.mdb", "ldap\\slapd.conf", "webmail\\config\\users.dat", "temp\\t.tmp",
        "help\\manual.chm", "help\\sub\\page.htm", "wizards\\w.xml", "modules\\wcs.dll", "html\\mail\\index.php",
        "api\\api.h", "tutorial\\index.html", "examples\\e.txt", "xml\\info.xml", "php\\php.dll",
        "spam\\Challenge.mdb", "spam\\spam.cfg", "spam\\rules\\local.cf", "spam\\rules\\10_base.cf",
        "spam\\bayes\\tokens.db"};
    for (const char* name : files) WriteText(install_ + name, name);
    SetFileAttributesA((install_ + "help\\manual.chm").c_str(), FILE_ATTRIBUTE_READONLY);
    // The real COM stand-ins, registered as the install sequence does.
    for (const char* library : {"api.dll", "quenforcom.dll"}) {
      ASSERT_TRUE(CopyFile(std::string(ZAREL_COMSERVERS_DIR) + "\\" + library, install_ + library, false));
      ASSERT_TRUE(RegisterComServer(install_ + library));
    }
    ForceDirectories(install_ + "avast\\setup\\");
    ASSERT_TRUE(CopyFile(ZAREL_SETIFACE_DLL, install_ + "avast\\setup\\setiface.dll", false));
    WriteText(install_ + "avast\\engine.bin", "engine");
  }

  void MakeLinks(const std::string& folderName) {
    WriteText(programs_ + folderName + "\\" + UninstallDesc + ".lnk", "link");
    WriteText(programs_ + folderName + "\\Readme.lnk", "link");
    SetFileAttributesA((programs_ + folderName + "\\Readme.lnk").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteText(programs_ + "Other Program\\Other.lnk", "someone else's");
    WriteText(programs_ + "Top.lnk", "someone else's");
  }

  void Run(const std::string& folder) {
    try {
      UninstallFrom(folder);
    } catch (const TProgramEnded&) {
      ADD_FAILURE() << "uninstall ended the program";
    }
  }

  TInstantClock clock_;
  std::string install_, programs_, calls_, savedName_;
};

TEST_F(UninstallTest, RemovesProgramsAndKeepsWhatUsersProduced) {
  MakeInstallation();
  MakeLinks("Zarel Mail Server");
  // A stopped run's journal describes the configuration and mail the uninstall keeps: a
  // reinstall over them must still finish that run's upgrade.
  SetString(HKEY_LOCAL_MACHINE, kSuiteKey, "RunJournal", "journal of a stopped run");
  Run(install_);

  const char* const removed[] = {"smtp.exe", "regex.dll", "api.dll", "quenforcom.dll", "cal.exe",
                                 "help\\", "wizards\\", "modules\\", "html\\", "api\\", "tutorial\\",
                                 "examples\\", "xml\\", "php\\", "avast\\", "spam\\spam.cfg",
                                 "spam\\rules\\10_base.cf", "spam\\bayes\\"};
  for (const char* path : removed) EXPECT_FALSE(FileExists(install_ + path) || DirectoryExists(install_ + path)) << path;
  const char* const kept[] = {"im.exe", "readme.txt", "releasenotes.txt", "setup.exe", "config\\settings.cfg",
                              "config\\webserver.cfg", "mail\\example.com\\admin\\1.msg", "logs\\smtp.log",
                              "calendar\\Calendar.mdb", "ldap\\slapd.conf", "webmail\\config\\users.dat",
                              "temp\\t.tmp", "spam\\Challenge.mdb", "spam\\rules\\local.cf"};
  for (const char* path : kept) EXPECT_EQ(ReadText(install_ + path), path) << path;

  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Quenfor\\StandIn\\api"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Quenfor\\StandIn\\quenforcom"));
  EXPECT_EQ(ReadText(calls_), "setifaceUninstallProgram(\"Quenfor\", (null), 2) -> 0 status 0x20000000\r\n");
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_EQ(GetValue(HKEY_LOCAL_MACHINE, kSuiteKey, "InstallDir"), install_);
  EXPECT_EQ(GetValue(HKEY_LOCAL_MACHINE, kSuiteKey, "RunJournal"), "journal of a stopped run");
  EXPECT_FALSE(DirectoryExists(programs_ + "Zarel Mail Server\\"));
  EXPECT_TRUE(FileExists(programs_ + "Top.lnk"));
  EXPECT_TRUE(FileExists(programs_ + "Other Program\\Other.lnk"));
  EXPECT_FALSE(FileExists(folder_ / "system\\Zarel.CPL"));

  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].caption, cInformation);
  EXPECT_EQ(ui_.boxes[0].text, cCompleteRemove);
  EXPECT_EQ(ui_.boxes[0].icon, MessageIcon::Information);
  const std::string log = Log();
  EXPECT_TRUE(Contains(log, "Kept: " + install_ + "spam\\Challenge.mdb"));
  EXPECT_TRUE(Contains(log, "COM unregistration of " + install_ + "api.dll succeeded"));
}

// Leaving components out on an upgrade removes them as the uninstall does: programs, shipped
// files and the antivirus engine (through its own uninstaller) go, the customer's files that
// the uninstall keeps stay. Files of those names that only this run placed go as well.
TEST_F(UninstallTest, ComponentsLeftOutKeepWhatTheUninstallKeeps) {
  MakeInstallation();
  SetupState().InstallDir = install_;
  const std::set<std::string> customerFiles = PresentKeptFiles(install_);
  EXPECT_EQ(customerFiles, (std::set<std::string>{"spam\\challenge.mdb", "spam\\rules\\local.cf"}));
  for (const TComponentRow& component : kComponents)
    if (component.LeftOut != nullptr) SetupState().*component.LeftOut = true;
  RemoveDeselectedComponents(customerFiles);

  const char* const removed[] = {"im.exe", "cal.exe", "html\\mail\\", "avast\\", "spam\\spam.cfg",
                                 "spam\\rules\\10_base.cf", "spam\\bayes\\"};
  for (const char* path : removed) EXPECT_FALSE(FileExists(install_ + path) || DirectoryExists(install_ + path)) << path;
  const char* const kept[] = {"spam\\Challenge.mdb", "spam\\rules\\local.cf", "webmail\\config\\users.dat",
                              "calendar\\Calendar.mdb", "help\\manual.chm", "smtp.exe"};
  for (const char* path : kept) EXPECT_EQ(ReadText(install_ + path), path) << path;
  EXPECT_EQ(ReadText(calls_), "setifaceUninstallProgram(\"Quenfor\", (null), 2) -> 0 status 0x20000000\r\n");

  // A first installation with anti-spam left out: what placement just put there is no one's.
  WriteText(install_ + "spam\\Challenge.mdb", "shipped");
  WriteText(install_ + "spam\\rules\\local.cf", "shipped");
  RemoveDeselectedComponents({});
  EXPECT_FALSE(DirectoryExists(install_ + "spam\\"));
  for (const TComponentRow& component : kComponents)
    if (component.LeftOut != nullptr) SetupState().*component.LeftOut = false;
}

// A user who may write the installation folder replaces html\\ with a link to a folder only
// administrators may write, and puts another link into help\\: the administrator's uninstall
// deletes nothing there.
TEST_F(UninstallTest, TreesReplacedByLinksAreNotFollowed) {
  MakeInstallation();
  const std::string adminOnly = folder_ / "AdminOnly\\";
  WriteText(adminOnly + "secret.dat", "secret");
  ASSERT_TRUE(RemoveFolderTree(install_ + "html\\"));
  if (!MakeFolderLink(install_ + "html", adminOnly)) GTEST_SKIP() << "this system makes no folder links";
  ASSERT_TRUE(MakeFolderLink(install_ + "help\\link", adminOnly));

  Run(install_);
  EXPECT_EQ(ReadText(adminOnly + "secret.dat"), "secret");
  EXPECT_TRUE(LinkExists(install_ + "html"));
  EXPECT_TRUE(Contains(Log(), "Folder not deleted: " + install_ + "html\\ is a link"));
  EXPECT_FALSE(FileExists(install_ + "help\\manual.chm"));
  EXPECT_FALSE(DirectoryExists(install_ + "help\\sub\\"));
  EXPECT_FALSE(DirectoryExists(install_ + "wizards\\"));
  ASSERT_EQ(ui_.boxes.size(), 1u);
  RemoveFolderLink(install_ + "html");
  RemoveFolderLink(install_ + "help\\link");
}

TEST_F(UninstallTest, FolderThatIsNoInstallationKeepsItsFiles) {
  // The distribution unpacked in a downloads folder, setup run from there with /UNINSTALL.
  const std::string downloads = folder_ / "Downloads\\zarel-8.2.0\\";
  const char* const files[] = {"setup.exe", "Setup.Dat", "api.dll", "help\\manual.chm", "html\\index.html",
                               "api\\api.h", "examples\\e.txt", "xml\\x.xml", "spam\\s.cfg", "tool.exe"};
  for (const char* name : files) WriteText(downloads + name, name);
  MakeLinks("Zarel Mail Server");
  Run(downloads);
  for (const char* name : files) EXPECT_EQ(ReadText(downloads + name), name) << name;
  // Services, links and the uninstall entry go all the same.
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_FALSE(DirectoryExists(programs_ + "Zarel Mail Server\\"));
  EXPECT_TRUE(Contains(Log(), "holds no installation"));
  ASSERT_EQ(ui_.boxes.size(), 1u);
}

TEST_F(UninstallTest, CopyOutsideTheInstallationWorksOnItsOwnFolder) {
  MakeInstallation();
  const std::string copy = folder_ / "Copy\\";
  WriteText(copy + "smtp.exe", "other installation");
  WriteText(copy + "help\\manual.chm", "other help");
  Run(copy);
  EXPECT_FALSE(FileExists(copy + "smtp.exe"));
  EXPECT_FALSE(DirectoryExists(copy + "help\\"));
  EXPECT_EQ(ReadText(install_ + "smtp.exe"), "smtp.exe");
  EXPECT_TRUE(FileExists(install_ + "help\\sub\\page.htm"));
}

TEST_F(UninstallTest, ProductNameThatIsNoFolderLeavesTheProgramsFolderAlone) {
  for (const char* name : {"", "..", "..\\.."}) {
    SCOPED_TRACE(name);
    cName = name;
    MakeLinks("Zarel Mail Server");
    Run(folder_ / "nothing\\");
    EXPECT_TRUE(FileExists(programs_ + "Top.lnk"));
    EXPECT_TRUE(FileExists(programs_ + "Other Program\\Other.lnk"));
    EXPECT_FALSE(DirectoryExists(programs_ + "Zarel Mail Server\\"));
  }
}

TEST_F(UninstallTest, FailingUnregistrationIsSilent) {
  MakeInstallation();
  SetEnvironmentVariableA("ZAREL_COMSERVER_FAIL", "api");
  Run(install_);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Quenfor\\StandIn\\api"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Quenfor\\StandIn\\quenforcom"));
  EXPECT_FALSE(FileExists(install_ + "api.dll"));
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].text, cCompleteRemove);
  EXPECT_TRUE(Contains(Log(), "COM unregistration of " + install_ + "api.dll failed"));
}

}  // namespace
