// The demonstration distribution as the setup will meet it: built once from the build's
// programs and the repository's content, then read back with the setup's own archive reader,
// configuration store, info.xml reader and web-server patch.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "app/StartupUnit.h"
#include "archive/ArchiveUnit.h"
#include "base/FileSystemUnit.h"
#include "engine/TemplateUnit.h"
#include "engine/WebServerPatch.h"
#include "serverconfig/AccountStore.h"
#include "serverconfig/DomainTable.h"
#include "serverconfig/ServerStore.h"
#include "tests/TestFolder.h"
#include "texts/TextTable.h"
#include "tools/distribution/DistributionBuilder.h"
#include "tools/distribution/ProgramImports.h"
#include "tools/ilds/ArchiveWriter.h"

namespace fs = std::filesystem;

namespace {

constexpr std::uint16_t kSmtpPort = 2626;
constexpr const char* kPassword = "demo-Pass 1";
// Escaping and un-escaping must give the address back exactly.
constexpr const char* kProductsUrl = "http://127.0.0.1:9/products.xml?list=zarel&kind=<all>";

// What the placement takes out of each archive (files it copies by name, one file of each
// tree it copies, the templates it expands), as the file placement and install sequence of
// the setup name them.
struct TArchiveNeeds {
  const char* Archive;
  std::vector<std::string> Files;
};

const TArchiveNeeds kNeeds[] = {
    {"Setup.Dat",
     {"smtp.exe", "pop3.exe", "control.exe", "config.exe", "dnsquery.exe", "tool.exe", "api.dll",
      "libeay32.dll", "libssl32.dll", "db.dll", "ldap32.dll", "regex.dll", "quenforcom.dll", "im.exe",
      "cal.exe", "cert.pem", "webserver.cfg", "Zarel.CPL", "demo.dat", "help\\manual.chm",
      "modules\\wcs.dll", "html\\index.html", "wizards\\domain.xml", "spam\\Challenge.mdb",
      "spam\\rules\\local.cf", "calendar\\Calendar.mdb", "calendar\\Calendar.xml", "api\\readme.txt",
      "tutorial\\index.html", "examples\\smtp-session.txt", "xml\\advanced.xml", "xml\\basic.xml"}},
    {"SetupAV.Dat", {"setiface.dll", "avastoem.exe"}},
    {"SetupWeb.Dat", {"settings.dat", "config\\users.dat", "html\\index.htm", "html\\help\\index.htm"}},
    {"SetupLDAP.Dat",
     {"slapd.conf", "schema\\corba.schema", "schema\\core.schema", "schema\\cosine.schema",
      "schema\\inetorgperson.schema", "schema\\java.schema", "schema\\krb5-kdc.schema",
      "schema\\misc.schema", "schema\\nadf.schema", "schema\\nis.schema", "schema\\openldap.schema",
      "ldbm\\dn2id.dbb", "ldbm\\id2entry.dbb", "ldbm\\nextid.dbb", "ldbm\\objectClass.dbb"}},
    {"SetupPHP.Dat", {"wmi.ini", "php.dll"}},
    {"Tutorial.Dat", {"index.html"}},
    {"Other.dat", {}},
    {"zarel.mcb", {"messages.dat", "welcome.txt"}},
};

const std::set<std::string> kDistributionFiles = {
    "setup.exe",    "Setup.Dat",  "SetupAV.Dat", "SetupWeb.Dat", "SetupLDAP.Dat",
    "SetupPHP.Dat", "Tutorial.Dat", "Other.dat", "zarel.mcb",    "info.xml",
    "License.txt",  "readme.txt", "releasenotes.txt"};

std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> items;
  std::size_t start = 0;
  for (std::size_t end; (end = list.find('|', start)) != std::string::npos; start = end + 1)
    items.push_back(list.substr(start, end - start));
  items.push_back(list.substr(start));
  return items;
}

TDistributionOptions Options(const std::string& output) {
  TDistributionOptions options;
  options.ProgramFolders = Split(ZAREL_DISTRIBUTION_PROGRAMS);
  options.ContentFolder = ZAREL_DISTRIBUTION_CONTENT;
  options.OutputFolder = HostPath(output);
  options.SmtpPort = kSmtpPort;
  options.ProductsUrl = kProductsUrl;
  options.DemoPassword = kPassword;
  return options;
}

bool FolderHasFiles(const std::string& folder) {
  std::error_code error;
  for (const fs::directory_entry& item : fs::recursive_directory_iterator(HostPath(folder), error))
    if (item.is_regular_file()) return true;
  return false;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

class DistributionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!fs::is_directory(Split(ZAREL_DISTRIBUTION_PROGRAMS).front())) return;
    folder_ = new TestFolder();
    built_ = BuildDistribution(Options(Output()), *report_);
  }
  static void TearDownTestSuite() {
    delete folder_;
    folder_ = nullptr;
  }
  void SetUp() override {
    if (folder_ == nullptr) GTEST_SKIP() << "the win32 tree's programs are not built";
    ASSERT_TRUE(built_) << report_->Error;
  }

  static std::string Output() { return *folder_ / "dist\\"; }
  // The archive unpacked the way the setup unpacks it, into a folder of its own.
  static std::string Unpacked(const std::string& archive) {
    const std::string target = *folder_ / ("unpacked\\" + archive + "\\");
    if (!DirectoryExists(target)) {
      EXPECT_TRUE(ExtractArchive(Output() + archive, target, true, ""));
    }
    return target;
  }

  static TestFolder* folder_;
  static bool built_;
  static TDistributionReport* report_;
};

TestFolder* DistributionTest::folder_ = nullptr;
bool DistributionTest::built_ = false;
TDistributionReport* DistributionTest::report_ = new TDistributionReport();

TEST_F(DistributionTest, EveryArchiveHoldsWhatThePlacementTakesFromIt) {
  std::set<std::string> files;
  for (const fs::directory_entry& item : fs::directory_iterator(HostPath(Output())))
    files.insert(item.path().filename().string());
  EXPECT_EQ(files, kDistributionFiles);

  for (const TArchiveNeeds& needs : kNeeds) {
    ilds::TArchiveFormat format;
    std::string error;
    int entries = 0;
    EXPECT_TRUE(ilds::ListArchive(HostPath(Output() + needs.Archive), format,
                                  [&](const ilds::TEntryInfo&) { ++entries; }, error))
        << needs.Archive << ": " << error;
    EXPECT_GT(entries, 0) << needs.Archive;
    const std::string unpacked = Unpacked(needs.Archive);
    for (const std::string& file : needs.Files) EXPECT_TRUE(FileExists(unpacked + file)) << needs.Archive << ": " << file;
  }

  const std::string setup = Unpacked("Setup.Dat");
  // Upgrades replace the shipped rules files by their first digit, 1 to 6.
  for (char group = '1'; group <= '6'; ++group) {
    bool found = false;
    for (const fs::directory_entry& item : fs::directory_iterator(HostPath(setup + "spam\\rules\\")))
      found = found || item.path().filename().string()[0] == group;
    EXPECT_TRUE(found) << "no rules file " << group << "*";
  }
  for (const char* tree : {"calendar\\holidays\\", "calendar\\doc\\", "help\\", "wizards\\"})
    EXPECT_TRUE(FolderHasFiles(setup + tree)) << tree;
  // The distribution's own info.xml goes into xml\ first; the tree must not replace it.
  EXPECT_FALSE(FileExists(setup + "xml\\info.xml"));
  EXPECT_TRUE(FolderHasFiles(Unpacked("Other.dat")));

#ifdef ZAREL_LDAP32_STANDIN
  EXPECT_EQ(ReadWholeFile(setup + "ldap32.dll", false), ReadWholeFile(ZAREL_LDAP32_STANDIN, false))
      << "the directory client's stand-in is built but not shipped";
#endif
}

TEST_F(DistributionTest, DemoDatIsTheStoreOfTheDemonstrationDomain) {
  // As a first installation does it: demo.dat unpacked into config\, then the store loaded.
  const std::string root = *folder_ / "install\\";
  ASSERT_TRUE(ExtractArchive(Unpacked("Setup.Dat") + "demo.dat", root + "config\\", true, ""));
  ResetServerStore();
  InitServerFoldersAt(root);
  ASSERT_TRUE(LoadServerSettings(true, false));
  EXPECT_EQ(ServerSettings().Get(settings::kSmtpPort), kSmtpPort);
  ASSERT_EQ(DomainCount(), 1);
  int domain = -1;
  EXPECT_TRUE(FindDomain("admin@demo.zarel.example", &domain));
  EXPECT_EQ(domain, 0);

  // Both are user accounts with mailboxes, found the way the SMTP server finds recipients.
  std::vector<std::string> aliases;
  TAccountList list;
  ASSERT_TRUE(OpenAccountList("demo.zarel.example", list, "", 0, 0));
  while (!NextAccount(list)) {
    const TAccountRecord& account = list.Account;
    const std::string alias = account.Get(account::kAliases);
    aliases.push_back(alias);
    EXPECT_EQ(account.Get(account::kType), account::kUserAccount) << alias;
    EXPECT_EQ(account.Get(account::kPassword), kPassword) << alias;
    EXPECT_EQ(account.Get(account::kMailboxPath), "demo.zarel.example\\" + alias + "\\");
    EXPECT_EQ(FindAccountIndex(0, alias), list.Index) << alias;
  }
  CloseAccountList(list);
  EXPECT_EQ(aliases, (std::vector<std::string>{"admin", "user"}));
  ResetServerStore();
}

TEST_F(DistributionTest, InfoXmlReadsWithTheSetupsReader) {
  TSetupState state;
  cDemoMessage = cDemoMessageSubject = "unchanged";
  ASSERT_TRUE(ReadInfoXml(Output() + "info.xml", state));
  EXPECT_EQ(state.ProductsXmlUrl, kProductsUrl);
  EXPECT_EQ(cDemoMessageSubject, "Welcome to Zarel Mail Server");
  EXPECT_NE(cDemoMessage, "unchanged");
  // The message goes out without dot-stuffing: a line starting with "." would cut it short.
  EXPECT_EQ(cDemoMessage.find("\n."), std::string::npos);
  EXPECT_NE(cDemoMessage[0], '.');
}

TEST_F(DistributionTest, TemplatesHaveTheShapeTheSetupExpects) {
  const std::string setup = Unpacked("Setup.Dat");
  const std::string shipped = ReadWholeFile(setup + "webserver.cfg", false);
  // An older installation's file lacks the web-service entries and names the old web mail
  // library; the upgrade patch must turn it into exactly the file a new installation gets.
  std::string older = shipped;
  for (const std::string& entry : {std::string(kWcsFilterEntry), std::string(kWcsVirtualHostEntry)}) {
    const std::size_t at = older.find(entry + "\r\n");
    ASSERT_NE(at, std::string::npos) << entry;
    older.erase(at, entry.size() + 2);
  }
  ReplaceText(older, "php\\php.dll", "webmail\\web.dll", true, true);
  EXPECT_EQ(PatchWebServerText(older), shipped);

  // The setup replaces only the first marker of each kind on a line.
  for (const std::string& file : {setup + "webserver.cfg", Unpacked("SetupWeb.Dat") + "settings.dat",
                                  Unpacked("SetupPHP.Dat") + "wmi.ini"}) {
    const std::string text = ReadWholeFile(file, false);
    EXPECT_NE(text.find(kInstallPathMarker), std::string::npos) << file;
    for (const std::string& line : Lines(text)) {
      const std::string expanded = ExpandTemplateLine(line, "C:\\Zarel\\", "C:\\Windows\\temp\\");
      EXPECT_EQ(expanded.find("%%"), std::string::npos) << file << ": " << line;
    }
  }
}

TEST_F(DistributionTest, RefusesWhatWouldNotStartOrWouldMixBuilds) {
  // The reader reads real tables, so "only system libraries" is not true of nothing.
  std::vector<std::string> libraries;
  std::string error;
  ASSERT_TRUE(ReadProgramImports(HostPath(Unpacked("Setup.Dat") + "smtp.exe"), libraries, error)) << error;
  EXPECT_NE(std::find_if(libraries.begin(), libraries.end(),
                         [](const std::string& name) { return name == "KERNEL32.dll" || name == "kernel32.dll"; }),
            libraries.end());
  EXPECT_FALSE(ReadProgramImports(HostPath(Output() + "readme.txt"), libraries, error));

  // A program that imports a library Windows lacks (its kernel32 import renamed), found
  // before the good one.
  const std::string bad = *folder_ / "bad\\";
  ForceDirectories(bad);
  std::string program = ReadWholeFile(Unpacked("Setup.Dat") + "config.exe", false);
  for (const char* name : {"KERNEL32.dll", "kernel32.dll"}) ReplaceText(program, name, "zlibkrnl.dll", true, true);
  WriteWholeFile(program, bad + "config.exe", false);
  TDistributionOptions options = Options(*folder_ / "refused\\");
  options.ProgramFolders.insert(options.ProgramFolders.begin(), HostPath(bad));
  TDistributionReport report;
  EXPECT_FALSE(BuildDistribution(options, report));
  EXPECT_NE(report.Error.find("zlibkrnl.dll"), std::string::npos) << report.Error;

  // A folder holding an earlier build is not built into: its leftovers would ship.
  EXPECT_FALSE(BuildDistribution(Options(Output()), report));
  EXPECT_NE(report.Error.find("not empty"), std::string::npos) << report.Error;

  // Without the placeholders' folder the missing programs are named.
  options = Options(*folder_ / "incomplete\\");
  options.ProgramFolders.pop_back();
  EXPECT_FALSE(BuildDistribution(options, report));
  EXPECT_NE(report.Error.find("config.exe"), std::string::npos) << report.Error;

  // Images cut inside their headers are refused; one cut inside its sections is read no
  // further than its end (the sanitizers of the host tree watch that).
  const std::string whole = ReadWholeFile(Unpacked("Setup.Dat") + "regex.dll", false);
  for (std::size_t length : {std::size_t{0}, std::size_t{2}, std::size_t{0x40}, std::size_t{0x90}}) {
    WriteWholeFile(whole.substr(0, length), bad + "cut.dll", false);
    EXPECT_FALSE(ReadProgramImports(HostPath(bad + "cut.dll"), libraries, error)) << length;
  }
  WriteWholeFile(whole.substr(0, whole.size() - 100), bad + "cut.dll", false);
  ReadProgramImports(HostPath(bad + "cut.dll"), libraries, error);
}

}  // namespace
