// File placement against real folders under Wine: a first installation, a second run over
// it, the protection rules, the fatal copies and what the install log says about them.
#include "tests/EngineTestSupport.h"

#include <algorithm>
#include <functional>
#include <utility>
#include <iterator>
#include <map>

#include "engine/EngineSupport.h"
#include "engine/FilePlacementUnit.h"
#include "engine/InstallSequence.h"
#include "engine/PreInstallCheck.h"
#include "engine/ExitCodes.h"
#include "texts/TextTable.h"
#include "system/OdbcUnit.h"
#include "tests/FolderLink.h"
#include "tests/SecurityTestSupport.h"

namespace {

// Files below folder, relative to it.
std::vector<std::string> FilesBelow(const std::string& folder, const std::string& relative = "") {
  std::vector<std::string> files;
  WIN32_FIND_DATAA data;
  const HANDLE find = FindFirstFileA((folder + relative + "*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return files;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      files.push_back(relative + name);
    } else {
      for (const std::string& file : FilesBelow(folder, relative + name + "\\")) files.push_back(file);
    }
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return files;
}

const char kAccessDriver[] = "Microsoft Access Driver (*.mdb)";

class PlacementTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    install_ = folder_ / "Program Files\\Zarel Mail\\";
    extraction_ = folder_ / "zarelinstall\\";
    dist_ = folder_ / "dist\\";
    ForceDirectories(folder_ / "Program Files\\");
    SetupState().InstallDir = install_;
    PlacementFolders() = TPlacementFolders{extraction_, dist_, "setup.exe", folder_ / "windows\\",
                                           folder_ / "system\\"};
    ForceDirectories(folder_ / "system\\");
    SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers", kAccessDriver, "Installed");
    SetString(HKEY_LOCAL_MACHINE, std::string("SOFTWARE\\ODBC\\ODBCINST.INI\\") + kAccessDriver, "Driver",
              "C:\\windows\\system32\\odbcjt32.dll");
    MakeDistribution();
    MakeExtraction();
  }
  void TearDown() override {
    PlacementFolders() = TPlacementFolders{};
    EngineTest::TearDown();
  }

  void MakeDistribution() {
    for (const char* name : {"info.xml", "readme.txt", "releasenotes.txt", "setup.exe"})
      WriteText(dist_ + name, std::string("shipped ") + name);
    MakeArchive(dist_ + "SetupWeb.Dat",
                {{"settings.dat", "root=%%installpath%%webmail\\\r\n"},
                 {"config\\users.dat", "shipped users"},
                 {"config\\defaults.dat", "shipped defaults"},
                 {"html\\index.php", "web mail page"},
                 {"html\\help\\index.htm", "web mail help"},
                 {"lib\\mail.php", "library"}});
    MakeArchive(dist_ + "SetupLDAP.Dat", {{"slapd.conf", "shipped slapd"}, {"readme.ldap", "shipped ldap readme"}});
    MakeArchive(dist_ + "SetupPHP.Dat", {{"php.dll", "php"}, {"wmi.ini", "extension_dir=%%installpath%%php\r\ncache=%%temppath%%mmcache\r\n"}});
    MakeArchive(dist_ + "Tutorial.Dat", {{"index.html", "tutorial page"}});
    MakeArchive(dist_ + "Other.dat", {{"other.txt", "other"}});
  }

  // What Setup.Dat unpacks to; placement consumes parts of it, so each run gets a fresh one.
  void MakeExtraction() {
    RemoveFolderTree(extraction_);
    for (const char* name : kCoreFiles) WriteText(extraction_ + name, std::string("new ") + name);
    const std::vector<std::pair<std::string, std::string>> files = {
        {"quenforcom.dll", "new quenforcom"}, {"im.exe", "new im"}, {"cal.exe", "new cal"},
        {"cert.pem", "shipped certificate"}, {"Zarel.CPL", "applet"},
        {"webserver.cfg", "[Paths]\r\nroot=%%installpath%%html and %%installpath%%\nphp=%%temppath%%\r\n"},
        {"help\\manual.chm", "help"}, {"modules\\wcs.dll", "module"}, {"html\\index.html", "page"},
        {"wizards\\basic.xml", "wizard"}, {"spam\\spam.cfg", "new spam config"},
        {"spam\\Challenge.mdb", "empty challenge db"}, {"spam\\rules\\10_base.cf", "new rules 10"},
        {"spam\\rules\\60_last.cf", "new rules 60"}, {"spam\\rules\\local.cf", "shipped local"},
        {"calendar\\Calendar.mdb", "empty calendar db"}, {"calendar\\Calendar.xml", "new calendar xml"},
        {"calendar\\cal.cfg", "new calendar config"}, {"calendar\\holidays\\us.txt", "new holidays"},
        {"calendar\\doc\\index.htm", "new calendar doc"}, {"api\\api.h", "api"},
        {"tutorial\\start.html", "start"}, {"examples\\sample.txt", "sample"}, {"xml\\forms.xml", "forms"}};
    for (const auto& [name, text] : files) WriteText(extraction_ + name, text);
    ForceDirectories(extraction_ + "spam\\rules\\empty-sub\\");
    ForceDirectories(extraction_ + "help\\empty\\");
  }

  // What makes a folder an earlier installation of ours.
  void MarkEarlierInstallation() { WriteText(install_ + "config\\settings.cfg", "store"); }

  // The exit code when placement ended the program, -1 when it returned.
  int PlacementEndCode() {
    try {
      RunOrEnd("PlaceFiles", PlaceFiles);
    } catch (const TProgramEnded& ended) {
      return ended.code;
    }
    return -1;
  }

  void RunPlacement() {
    try {
      RunOrEnd("PlaceFiles", PlaceFiles);
    } catch (const TProgramEnded&) {
      ADD_FAILURE() << "placement ended the program: " << (ui_.boxes.empty() ? "" : ui_.boxes.back().text);
    }
  }

  std::string install_;
  std::string extraction_;
  std::string dist_;
};

TEST_F(PlacementTest, FirstInstallationPlacesEveryComponent) {
  // An existing data source, whatever it points at, is not touched.
  SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources", kCalendarDataSource, "Other driver");
  SetString(HKEY_LOCAL_MACHINE, std::string("SOFTWARE\\ODBC\\ODBC.INI\\") + kCalendarDataSource, "DBQ", "D:\\elsewhere.mdb");
  RunPlacement();

  const std::vector<std::pair<std::string, std::string>> expected = {
      {"smtp.exe", "new smtp.exe"}, {"regex.dll", "new regex.dll"}, {"quenforcom.dll", "new quenforcom"},
      {"im.exe", "new im"}, {"cal.exe", "new cal"}, {"xml\\info.xml", "shipped info.xml"},
      {"config\\cert.pem", "shipped certificate"}, {"help\\manual.chm", "help"},
      {"spam\\spam.cfg", "new spam config"}, {"spam\\Challenge.mdb", "empty challenge db"},
      {"spam\\rules\\local.cf", "shipped local"}, {"calendar\\cal.cfg", "new calendar config"},
      {"calendar\\holidays\\us.txt", "new holidays"}, {"xml\\forms.xml", "forms"},
      {"readme.txt", "shipped readme.txt"}, {"setup.exe", "shipped setup.exe"},
      {"tutorial\\index.html", "tutorial page"}, {"tutorial\\start.html", "start"},
      {"ldap\\slapd.conf", "shipped slapd"}, {"php\\php.dll", "php"}, {"other.txt", "other"},
      {"control.exe.local", ""}, {"webmail\\config\\users.dat", "shipped users"},
      {"webmail\\config\\defaults.dat", "shipped defaults"}, {"webmail\\lib\\mail.php", "library"},
      {"html\\mail\\index.php", "web mail page"}, {"html\\mail\\help\\index.htm", "web mail help"}};
  for (const auto& [file, text] : expected) {
    EXPECT_TRUE(FileExists(install_ + file)) << file;
    EXPECT_EQ(ReadText(install_ + file), text) << file;
  }
  EXPECT_EQ(ReadText(folder_ / "system\\Zarel.CPL"), "applet");
  // Only what the web mail archive's html\ holds reaches html\mail\; it is not copied twice.
  EXPECT_FALSE(DirectoryExists(install_ + "webmail\\html\\"));
  // Empty folders of a tree are not created.
  EXPECT_FALSE(DirectoryExists(install_ + "spam\\rules\\empty-sub\\"));
  EXPECT_FALSE(DirectoryExists(install_ + "help\\empty\\"));
  EXPECT_TRUE(SetupState().WebMailInstalled);

  // Templates: the first of each marker per line; a relative template comes from the extraction folder.
  EXPECT_EQ(ReadText(install_ + "config\\webserver.cfg"),
            "[Paths]\r\nroot=" + install_ + "html and %%installpath%%\r\nphp=" + install_ + "temp\\\r\n");
  EXPECT_EQ(ReadText(install_ + "webmail\\config\\settings.dat"), "root=" + install_ + "webmail\\\r\n");
  // The PHP cache lies under the installation folder's list, not in the Windows temporary folder.
  EXPECT_EQ(ReadText(folder_ / "windows\\wmi.ini"),
            "extension_dir=" + install_ + "php\r\ncache=" + install_ + "temp\\mmcache\r\n");
  EXPECT_FALSE(FileExists(install_ + "php\\wmi.ini"));
  EXPECT_TRUE(DirectoryExists(install_ + "temp\\mmcache\\"));
  EXPECT_FALSE(DirectoryExists(folder_ / "windows\\temp\\"));

  const std::string odbc = "SOFTWARE\\ODBC\\ODBC.INI\\";
  EXPECT_EQ(GetValue(HKEY_LOCAL_MACHINE, odbc + kSpamChallengeDataSource, "DBQ"), install_ + "spam\\Challenge.mdb");
  EXPECT_EQ(GetValue(HKEY_LOCAL_MACHINE, odbc + kCalendarDataSource, "DBQ"), "D:\\elsewhere.mdb");
  EXPECT_EQ(GetValue(HKEY_LOCAL_MACHINE, odbc + "ODBC Data Sources", kCalendarDataSource), "Other driver");

  EXPECT_TRUE(ui_.boxes.empty());
  const std::string log = Log();
  // Every file placed by a copy or from a template is named in the log; archive contents are
  // logged per archive.
  const std::string fromArchives[] = {"tutorial\\index.html", "ldap\\slapd.conf", "ldap\\readme.ldap",
                                      "php\\php.dll", "other.txt", "control.exe.local"};
  for (const std::string& file : FilesBelow(install_)) {
    if (std::find(std::begin(fromArchives), std::end(fromArchives), file) != std::end(fromArchives)) continue;
    EXPECT_TRUE(Contains(log, " -> " + install_ + file + "\r\n")) << file;
  }
  EXPECT_TRUE(Contains(log, "ODBC data source QuenforCalendar exists: left as it is"));
  EXPECT_TRUE(Contains(log, "ODBC data source QuenforSpamChallenge created"));
}

TEST_F(PlacementTest, SecondRunKeepsWhatTheUserChanged) {
  RunPlacement();
  // What a running installation and its administrator change between the two runs.
  const std::vector<std::pair<std::string, std::string>> userFiles = {
      {"spam\\rules\\local.cf", "my local rules"},   {"spam\\rules\\7_mine.cf", "my rules 7"},
      {"spam\\Challenge.mdb", "challenges"},         {"spam\\spam.cfg", "my spam config"},
      {"calendar\\cal.cfg", "my calendar config"},   {"calendar\\Calendar.mdb", "appointments"},
      {"webmail\\config\\users.dat", "my users"},    {"webmail\\config\\settings.dat", "my settings"},
      {"config\\webserver.cfg", "my web server"},    {"config\\cert.pem", "my certificate"},
      {"ldap\\slapd.conf", "my slapd"},              {"ldap\\readme.ldap", "old ldap readme"},
      {"spam\\rules\\10_base.cf", "old rules 10"},   {"calendar\\Calendar.xml", "old calendar xml"},
      {"webmail\\projects\\p1\\a.txt", "old project"}};
  for (const auto& [file, text] : userFiles) WriteText(install_ + file, text);
  MarkEarlierInstallation();
  SetFileAttributesA((install_ + "smtp.exe").c_str(), FILE_ATTRIBUTE_READONLY);
  MakeExtraction();
  WriteText(extraction_ + "smtp.exe", "newer smtp");
  RunPlacement();

  const std::vector<std::pair<std::string, std::string>> expected = {
      {"spam\\rules\\local.cf", "my local rules"},   {"spam\\rules\\7_mine.cf", "my rules 7"},
      {"spam\\Challenge.mdb", "challenges"},         {"spam\\spam.cfg", "my spam config"},
      {"calendar\\cal.cfg", "my calendar config"},   {"calendar\\Calendar.mdb", "appointments"},
      {"webmail\\config\\users.dat", "my users"},    {"webmail\\config\\settings.dat", "my settings"},
      {"config\\webserver.cfg", "my web server"},    {"config\\cert.pem", "my certificate"},
      {"ldap\\slapd.conf", "my slapd"},              {"ldap\\readme.ldap", "shipped ldap readme"},
      {"spam\\rules\\10_base.cf", "new rules 10"},   {"calendar\\Calendar.xml", "new calendar xml"},
      {"smtp.exe", "newer smtp"}};
  for (const auto& [file, text] : expected) EXPECT_EQ(ReadText(install_ + file), text) << file;
  EXPECT_FALSE(DirectoryExists(install_ + "webmail\\projects\\"));
  EXPECT_TRUE(ui_.boxes.empty());

  const std::string log = Log();
  for (const char* kept : {"spam\\rules\\local.cf", "spam\\Challenge.mdb", "calendar\\Calendar.mdb",
                           "webmail\\config\\users.dat", "webmail\\config\\settings.dat",
                           "config\\webserver.cfg", "config\\cert.pem"})
    EXPECT_TRUE(Contains(log, "Kept (protected): " + install_ + kept)) << kept;
  EXPECT_TRUE(Contains(log, "Folder removed: " + install_ + "webmail\\projects\\"));
  EXPECT_TRUE(Contains(log, "File deleted: " + install_ + "spam\\rules\\10_base.cf"));
  EXPECT_FALSE(Contains(log, "File deleted: " + install_ + "spam\\rules\\7_mine.cf"));
}

TEST_F(PlacementTest, InstallationFolderHasItsOwnListAndPasswordsAndMailAreClosed) {
  const std::string top = NormalizePath(install_, false, false);
  {
    TSecurityRecorder recorder;
    RunPlacement();
    EXPECT_EQ(recorder.created[top], kProgramsList);
    // Passwords, mail, the directory (slapd.conf takes its manager's password), logs, working files.
    for (const char* closed : {"config", "mail", "ldap", "logs", "temp"})
      EXPECT_EQ(recorder.created[install_ + closed], kPrivateList) << closed;
  }
  EXPECT_TRUE(Contains(Log(), "Folder created with its own access list: " + install_));

  // An earlier installation folder that everyone may write to is closed, and the log says why.
  RemoveFolderTree(install_);
  MakeExtraction();
  ASSERT_TRUE(CreateDirectoryA(top.c_str(), nullptr));
  ASSERT_TRUE(OpenToEveryone(top));
  ASSERT_NE(EveryoneRights(DiskSddl(top)) & FILE_ADD_FILE, 0u);
  {
    TSecurityRecorder recorder;
    RunPlacement();
    const std::pair<std::string, std::string> closed(top, std::string(kProgramsList).substr(4));
    EXPECT_NE(std::find(recorder.written.begin(), recorder.written.end(), closed), recorder.written.end());
  }
  const DWORD everyone = EveryoneRights(DiskSddl(top));
  EXPECT_EQ(everyone & (FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD | DELETE | WRITE_DAC), 0u);
  EXPECT_TRUE(Contains(Log(), "Access list repaired: " + install_ + "\r\n"));
  EXPECT_TRUE(Contains(Log(), "found: S-1-1-0 may change it"));
  EXPECT_TRUE(ui_.boxes.empty());
}

// A first installation stopped half-way leaves the setup's own files without config\: the next
// run places into that folder again (the folder a stopped run journaled, and only that one) and
// repairs it as it repairs an earlier installation.
TEST_F(PlacementTest, StoppedFirstInstallationIsPlacedIntoAgain) {
  WriteText(install_ + "smtp.exe", "half copied");
  SetupState().UnfinishedInstallation = folder_ / "elsewhere\\";
  EXPECT_EQ(PlacementEndCode(), kExitFatalError);
  ui_.boxes.clear();
  SetupState().UnfinishedInstallation = install_;
  RunPlacement();
  EXPECT_EQ(ReadText(install_ + "smtp.exe"), "new smtp.exe");
  EXPECT_TRUE(ui_.boxes.empty());
}

// A folder that was empty when it was chosen and is no installation of ours must still be empty
// once its list keeps others out. An earlier installation is repaired entry by entry: a second
// name of a file elsewhere and a program whose own list lets Everyone write were planted while
// its lists were open; nothing is written through them and both are gone afterwards.
TEST_F(PlacementTest, PlantedEntriesAreRefusedOrRemovedNeverFollowed) {
  WriteText(install_ + "version.dll", "planted after the check");
  EXPECT_EQ(PlacementEndCode(), kExitFatalError);
  EXPECT_TRUE(!ui_.boxes.empty() &&
              Contains(ui_.boxes[0].text, "something was put into it after it was checked: version.dll"));
  EXPECT_FALSE(FileExists(install_ + "smtp.exe"));

  RemoveFolderTree(install_);
  ui_.boxes.clear();
  const std::string outside = folder_ / "outside\\";
  WriteText(outside + "victim.dll", "precious");
  MarkEarlierInstallation();
  ASSERT_TRUE(MakeHardLink(install_ + "version.dll", outside + "victim.dll"));
  ASSERT_TRUE(MakeHardLink(install_ + "pop3.exe", outside + "victim.dll"));
  WriteText(install_ + "smtp.exe", "old smtp");
  ASSERT_TRUE(OpenToEveryone(install_ + "smtp.exe"));
  RunPlacement();
  EXPECT_EQ(ReadText(outside + "victim.dll"), "precious");
  EXPECT_FALSE(FileExists(install_ + "version.dll"));
  EXPECT_EQ(ReadText(install_ + "pop3.exe"), "new pop3.exe");
  EXPECT_EQ(EveryoneRights(DiskSddl(install_ + "smtp.exe")) & (FILE_WRITE_DATA | FILE_APPEND_DATA | WRITE_DAC), 0u);
  for (const char* name : {"version.dll", "pop3.exe"})
    EXPECT_TRUE(Contains(Log(), "changed: file with a second name elsewhere removed: " + install_ + name)) << name;

  // A folder link where the rules are refreshed (files 1* to 6* are deleted there).
  WriteText(outside + "rules\\10_victim.cf", "precious");
  RemoveFolderTree(install_ + "spam\\rules\\");
  ASSERT_TRUE(MakeFolderLink(install_ + "spam\\rules", outside + "rules\\"));
  MakeExtraction();
  const int endCode = PlacementEndCode();
  EXPECT_EQ(ReadText(outside + "rules\\10_victim.cf"), "precious");
  if (OnWine()) {
    // Wine hands over only what a link points to: the link cannot be removed, so nothing goes on.
    EXPECT_EQ(endCode, kExitFatalError);
    EXPECT_TRUE(Contains(Log(), "a link that could not be removed: " + install_ + "spam\\rules"));
    RemoveFolderLink(install_ + "spam\\rules");
  } else {
    EXPECT_EQ(endCode, -1);
    EXPECT_TRUE(Contains(Log(), "changed: link removed: " + install_ + "spam\\rules"));
  }
}

// Faults in the middle of placement, each on an earlier installation: the box names the file
// or folder and the system's reason, and once the cause is gone the next run completes. A
// confirmed Cancel stops before the next file.
TEST_F(PlacementTest, FaultsDuringPlacementNameTheFileAndTheCause) {
  RunPlacement();
  MarkEarlierInstallation();
  HANDLE held = INVALID_HANDLE_VALUE;
  const auto hold = [&](const std::string& path) {
    held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE) << path;
  };
  const auto release = [&] { CloseHandle(std::exchange(held, INVALID_HANDLE_VALUE)); };
  const std::string sharing = SystemErrorText(ERROR_SHARING_VIOLATION);
  struct Case {
    const char* what;
    std::function<void()> cause;
    std::function<void()> remove;
    int code;
    std::string boxStart;
    std::string names;  // the file or folder the box must name
    std::string reason;
  } cases[] = {
      {"program file held open", [&] { hold(install_ + "dnsquery.exe"); }, release, kExitFatalError,
       "File copy error: " + sharing, install_ + "dnsquery.exe", sharing},
      {"file of a component archive held open", [&] { hold(install_ + "tutorial\\index.html"); }, release,
       kExitFatalError, "File copy error: " + sharing, install_ + "tutorial\\index.html", sharing},
      {"a file where a folder must be",
       [&] {
         RemoveFolderTree(install_ + "wizards\\");
         WriteText(install_ + "wizards", "in the way");
       },
       [&] { DeleteFileA((install_ + "wizards").c_str()); }, kExitFatalError, cErrorDir, install_ + "wizards\\",
       SystemErrorText(ERROR_ALREADY_EXISTS)},
      {"Cancel confirmed while files are copied", [&] { ui_.cancelAfterStatuses = 5; },
       [&] { ui_.cancelAfterStatuses = -1; }, kExitCancelledDuringInstall, "", "", ""},
  };
  for (const Case& c : cases) {
    MakeExtraction();
    WriteText(install_ + "readme.txt", "old readme");
    ui_.boxes.clear();
    ui_.statuses.clear();
    c.cause();
    EXPECT_EQ(PlacementEndCode(), c.code) << c.what;
    c.remove();
    if (c.boxStart.empty()) {
      // Stopped at the fifth file: the ones after it were not touched.
      EXPECT_EQ(ui_.statuses.size(), 5u) << c.what;
      EXPECT_EQ(ReadText(install_ + "readme.txt"), "old readme") << c.what;
    } else {
      ASSERT_EQ(ui_.boxes.size(), 1u) << c.what;
      EXPECT_EQ(ui_.boxes[0].caption, cError) << c.what;
      EXPECT_EQ(ui_.boxes[0].text.rfind(c.boxStart, 0), 0u) << c.what << ": " << ui_.boxes[0].text;
      EXPECT_TRUE(Contains(ui_.boxes[0].text, c.names)) << c.what << ": " << ui_.boxes[0].text;
      EXPECT_TRUE(Contains(ui_.boxes[0].text, c.reason)) << c.what << ": " << ui_.boxes[0].text;
    }
    MakeExtraction();
    ui_.boxes.clear();
    RunPlacement();
    EXPECT_TRUE(ui_.boxes.empty()) << c.what;
    EXPECT_EQ(ReadText(install_ + "readme.txt"), "shipped readme.txt") << c.what;
    EXPECT_EQ(ReadText(install_ + "wizards\\basic.xml"), "wizard") << c.what;
  }
}

// Which archives a run reads through before its first change, and the room it counts for them:
// only growth over the files already there, in whole clusters.
TEST_F(PlacementTest, ArchivesReadBeforeTheFirstChangeAndTheirRoom) {
  for (const char* name : {"Setup.Dat", "SetupAV.Dat", "zarel.mcb"}) WriteText(dist_ + name, "");
  const auto names = [&](const TSetupState& state, bool first) {
    std::string list;
    for (const TArchiveRead& read : ArchivesTheRunReads(state, first, dist_)) list += read.Name + " ";
    return list;
  };
  TSetupState state;
  EXPECT_EQ(names(state, true),
            "Setup.Dat SetupAV.Dat SetupWeb.Dat Tutorial.Dat SetupLDAP.Dat SetupPHP.Dat Other.dat zarel.mcb ");
  state.NoInstallAV = state.NoInstallWebMail = true;
  DeleteFileA((dist_ + "Other.dat").c_str());
  EXPECT_EQ(names(state, false), "Setup.Dat Tutorial.Dat SetupLDAP.Dat SetupPHP.Dat ");

  EXPECT_EQ(WebMailTarget("HTML\\index.php"), "html\\mail\\index.php");
  EXPECT_EQ(WebMailTarget("lib\\mail.php"), "webmail\\lib\\mail.php");
  const std::map<std::string, std::uint64_t> present = {{"C:\\z\\grown.exe", 3000}, {"C:\\z\\same.dll", 8000}};
  const auto existing = [&](const std::string& path) { return present.count(path) ? present.at(path) : 0; };
  const auto same = [](const std::string& name) { return name; };
  const std::vector<TArchiveEntrySize> entries = {
      {"grown.exe", 5000}, {"same.dll", 8100}, {"new.txt", 1}, {"empty.txt", 0}};
  // grown.exe 1 cluster more, same.dll no more clusters, new.txt one cluster, empty.txt none.
  EXPECT_EQ(RoomToPlace(entries, "C:\\z\\", same, existing, 4096), 2u * 4096);
  EXPECT_EQ(RoomToPlace(entries, "C:\\z\\", same, existing, 0), 2000u + 100 + 1);
}

// The extraction folder, from which the elevated setup loads a library and copies programs:
// SYSTEM and Administrators only (the account's own programs run without elevation), and after
// the first a name nobody can prepare (prepared zarelinstall-1 to -99 once stopped every run).
TEST_F(PlacementTest, ExtractionFolderIsPrivateAndItsNamesCannotBePrepared) {
  const std::string temp = folder_ / "temp\\";
  ForceDirectories(temp + "zarelinstall\\");
  for (int n = 1; n < 100; ++n) ForceDirectories(temp + "zarelinstall-" + std::to_string(n) + "\\");
  TSecurityRecorder recorder;
  const std::string first = CreateExtractionFolder(temp, "");
  const std::string second = CreateExtractionFolder(temp, "");
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty());
  EXPECT_NE(first, second);
  EXPECT_EQ(recorder.created[NormalizePath(first, false, false)], kPrivateList);
}

TEST_F(PlacementTest, OlderLayoutFilesMoveIntoConfig) {
  MarkEarlierInstallation();
  const char* const oldFiles[] = {"cert.pem", "cert.dat", "default.ini", "db.ini"};
  for (const char* name : oldFiles) WriteText(install_ + name, std::string("old ") + name);
  RunPlacement();
  for (const char* name : oldFiles) {
    EXPECT_FALSE(FileExists(install_ + name)) << name;
    EXPECT_EQ(ReadText(install_ + "config\\" + name), std::string("old ") + name) << name;
  }
}

TEST_F(PlacementTest, WebMailLeftOutTouchesNoWebMailFile) {
  SetupState().NoInstallWebMail = true;
  // Damaged: opening it would end the setup with a box.
  WriteText(dist_ + "SetupWeb.Dat", "ILDS\xff\xff\xff\x7f");
  RunPlacement();
  EXPECT_FALSE(SetupState().WebMailInstalled);
  EXPECT_FALSE(DirectoryExists(install_ + "webmail\\"));
  EXPECT_FALSE(DirectoryExists(install_ + "html\\mail\\"));
  EXPECT_FALSE(FileExists(install_ + "control.exe.local"));
  EXPECT_TRUE(ui_.boxes.empty());
}

TEST_F(PlacementTest, SetupRunFromTheInstallationFolderIsNotCopiedOntoItself) {
  MarkEarlierInstallation();
  WriteText(install_ + "setup.exe", "installed setup");
  for (const char* name : {"readme.txt", "releasenotes.txt", "info.xml", "SetupWeb.Dat"})
    CopyFile(dist_ + name, install_ + name, false);
  PlacementFolders().SetupFolder = install_;
  // A file held open for reading only, as the running program's own file is.
  const TKernelHandle running(CreateFileA((install_ + "setup.exe").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(running);
  RunPlacement();
  EXPECT_EQ(ReadText(install_ + "setup.exe"), "installed setup");
  for (const char* name : {"setup.exe", "readme.txt", "releasenotes.txt"})
    EXPECT_TRUE(Contains(Log(), "File in place, not copied onto itself: " + install_ + name)) << name;
}

struct FatalCase {
  const char* name;
  void (*prepare)(const std::string& install, const std::string& extraction, std::vector<TKernelHandle>& held);
  const char* file;  // target the box names
};

TEST_F(PlacementTest, FatalCopyShowsTheErrorAndEndsTheProgram) {
  const FatalCase cases[] = {
      {"source missing", [](const std::string&, const std::string& extraction, std::vector<TKernelHandle>&) {
         DeleteFileA((extraction + "regex.dll").c_str());
       }, "regex.dll"},
      {"target locked", [](const std::string& install, const std::string&, std::vector<TKernelHandle>& held) {
         WriteText(install + "config\\settings.cfg", "store");
         WriteText(install + "pop3.exe", "running");
         held.emplace_back(CreateFileA((install + "pop3.exe").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
       }, "pop3.exe"},
  };
  for (const FatalCase& c : cases) {
    SCOPED_TRACE(c.name);
    RemoveFolderTree(install_);
    MakeExtraction();
    ui_.boxes.clear();
    std::vector<TKernelHandle> held;
    c.prepare(install_, extraction_, held);
    int endCode = -1;
    try {
      RunOrEnd("PlaceFiles", PlaceFiles);
    } catch (const TProgramEnded& ended) {
      endCode = ended.code;
    }
    EXPECT_EQ(endCode, kExitFatalError);
    ASSERT_EQ(ui_.boxes.size(), 1u);
    EXPECT_EQ(ui_.boxes[0].caption, cError);
    EXPECT_EQ(ui_.boxes[0].icon, MessageIcon::Error);
    const std::string& text = ui_.boxes[0].text;
    EXPECT_EQ(text.rfind("File copy error: ", 0), 0u) << text;
    EXPECT_TRUE(Contains(text, install_ + c.file)) << text;
    EXPECT_TRUE(Contains(text, "It is suggested to reboot")) << text;
    // The system's own message sits between the caption text and the file name.
    EXPECT_GT(text.find(install_ + c.file), std::string("File copy error: \r\n").size()) << text;
    EXPECT_TRUE(Contains(Log(), "Answer: OK"));
  }
}

TEST_F(PlacementTest, InstallationFolderThatCannotBeCreatedEndsTheProgram) {
  SetupState().InstallDir = folder_ / "missing parent\\Zarel\\";
  int endCode = -1;
  try {
    RunOrEnd("PlaceFiles", PlaceFiles);
  } catch (const TProgramEnded& ended) {
    endCode = ended.code;
  }
  EXPECT_EQ(endCode, kExitFatalError);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].text.rfind(cErrorDir, 0), 0u);
  EXPECT_GT(ui_.boxes[0].text.size(), cErrorDir.size());
}

TEST_F(PlacementTest, TemplatePathsAbsoluteAndRelative) {
  WriteText(folder_ / "elsewhere\\abs.tpl", "a=%%installpath%%|%%installpath%%");
  WriteText(extraction_ + "sub\\rel.tpl", "b=%%temppath%%");
  ExpandTemplate(folder_ / "elsewhere\\abs.tpl", folder_ / "out\\");
  ExpandTemplate("sub\\rel.tpl", folder_ / "out\\");
  ExpandTemplate("sub\\missing.tpl", folder_ / "out\\");
  const std::string temp = install_ + "temp\\";
  EXPECT_EQ(ReadText(folder_ / "out\\abs.tpl"), "a=" + install_ + "|%%installpath%%\r\n");
  EXPECT_EQ(ReadText(folder_ / "out\\rel.tpl"), "b=" + temp + "\r\n");
  EXPECT_FALSE(FileExists(folder_ / "out\\missing.tpl"));
  EXPECT_TRUE(Contains(Log(), "Template not read: " + extraction_ + "sub\\missing.tpl"));
}

}  // namespace
