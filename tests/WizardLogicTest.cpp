// The wizard's decisions without a window: formatter, command line, start-up facts, field
// checks, component flags, destination folders and the finish plan.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/FileSystemUnit.h"
#include "serverconfig/ServerStore.h"
#include "app/CommandLine.h"
#include "wizard/FinishUnit.h"
#include "app/StartupUnit.h"
#include "base/TextFormat.h"
#include "wizard/WizardLogic.h"
#include "texts/TextTable.h"
#include "tests/TestFolder.h"

namespace {

TEST(TextFormat, FillsOnlyStringPlacesAndCopiesEverythingElse) {
  struct Row {
    std::string pattern;
    std::vector<std::string> args;
    std::string expected;
  };
  const Row rows[] = {
      {"%s Setup", {"Zarel Mail Server"}, "Zarel Mail Server Setup"},
      {"%s %s Setup", {"Zarel Mail Server", "8.2.0"}, "Zarel Mail Server 8.2.0 Setup"},
      // A language file's stray conversions stay text; nothing reads past the arguments.
      {"%d %n %s %s", {"A", "B"}, "%d %n A B"},
      {"%n%n%n%s%p%x", {"A"}, "%n%n%nA%p%x"},
      // Missing arguments give empty texts.
      {"%s and %s and %s", {"one"}, "one and  and "},
      {"100%% of %s", {"it"}, "100% of it"},
      {"%%s", {"x"}, "%s"},
      {"trailing %", {}, "trailing %"},
      {"%", {"x"}, "%"},
      // An argument is never expanded again.
      {"%s", {"%s %d"}, "%s %d"},
      {"no places", {"unused"}, "no places"},
      {"", {"x"}, ""},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(FormatText(row.pattern, row.args), row.expected) << row.pattern;
  }
}

TEST(CommandLine, SplitsLikeTheRuntime) {
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\Zarel\\setup.exe\" /SILENT"),
            (std::vector<std::string>{"C:\\Program Files\\Zarel\\setup.exe", "/SILENT"}));
  EXPECT_EQ(SplitCommandLine("  setup.exe\t-restart   2  "),
            (std::vector<std::string>{"setup.exe", "-restart", "2"}));
  EXPECT_EQ(SplitCommandLine("a\"b c\"d e"), (std::vector<std::string>{"ab cd", "e"}));
  EXPECT_TRUE(SplitCommandLine("   ").empty());
}

TEST(CommandLine, SwitchesAnywhereCommandWordsFirstOnly) {
  struct Row {
    std::vector<std::string> words;
    bool exportLanguage;
    bool restart;
    std::string kindWord;
    TFirstWord first;
  };
  const Row rows[] = {
      {{}, false, false, "", TFirstWord::None},
      {{"/silent"}, false, false, "", TFirstWord::Silent},
      {{"/SiLeNt"}, false, false, "", TFirstWord::Silent},
      // A path first is "any other word", even with /SILENT after it.
      {{"C:\\Mail", "/SILENT"}, false, false, "", TFirstWord::Other},
      // Command words count with "/" only.
      {{"-silent"}, false, false, "", TFirstWord::Other},
      {{"/restart", "0"}, false, true, "0", TFirstWord::Other},
      {{"-RESTART", "0"}, false, true, "0", TFirstWord::Other},
      // Both switches: the export runs first and ends the program.
      {{"/exportlanguage", "/restart", "0"}, true, true, "/restart", TFirstWord::Other},
      {{"/SILENT", "-ExportLanguage"}, true, false, "", TFirstWord::Silent},
      {{"restart", "0"}, false, false, "", TFirstWord::Other},
      {{"/restartnow", "0"}, false, false, "", TFirstWord::Other},
      {{"/restart"}, false, true, "", TFirstWord::Other},
      {{"/Uninstall"}, false, false, "", TFirstWord::Uninstall},
      {{"/WEBMAILLOGON"}, false, false, "", TFirstWord::WebMailLogon},
      {{"/webadminlogon"}, false, false, "", TFirstWord::WebAdminLogon},
      {{"/Logs", "extra"}, false, false, "", TFirstWord::Logs},
  };
  for (const Row& row : rows) {
    const TCommandLine line = ParseCommandLine(row.words);
    const std::string label = row.words.empty() ? "(none)" : row.words[0];
    EXPECT_EQ(line.ExportLanguage, row.exportLanguage) << label;
    EXPECT_EQ(line.Restart, row.restart) << label;
    EXPECT_EQ(line.RestartKindWord, row.kindWord) << label;
    EXPECT_EQ(line.First, row.first) << label;
  }
  EXPECT_TRUE(ParseCommandLine({}).RunsWizard());
  EXPECT_TRUE(ParseCommandLine({"/silent"}).RunsWizard());
  EXPECT_FALSE(ParseCommandLine({"C:\\Mail", "/SILENT"}).RunsWizard());
}

class InfoXmlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cDemoMessage = "Demonstration message";
    cDemoMessageSubject = "Demonstration message";
  }
  void TearDown() override { SetUp(); }

  TSetupState Read(const std::string& content) {
    WriteWholeFile(content, folder / "info.xml", false);
    TSetupState state;
    state.ProductsXmlUrl = "default";
    ReadInfoXml(folder / "info.xml", state);
    return state;
  }

  TestFolder folder;
};

TEST_F(InfoXmlTest, StopsAtTheFirstMissingElement) {
  struct Row {
    std::string xml;
    std::string message, subject, url;
  };
  const std::string d = "Demonstration message";
  const Row rows[] = {
      {"<INFO><DEMOMESSAGE>Hello &amp; welcome</DEMOMESSAGE><DEMOMESSAGESUBJECT>Hi</DEMOMESSAGESUBJECT>"
       "<PRODUCTSXML>http://127.0.0.1/p.xml</PRODUCTSXML></INFO>",
       "Hello & welcome", "Hi", "http://127.0.0.1/p.xml"},
      // Without DEMOMESSAGE nothing else is read.
      {"<INFO><DEMOMESSAGESUBJECT>Hi</DEMOMESSAGESUBJECT><PRODUCTSXML>u</PRODUCTSXML></INFO>", d, d,
       "default"},
      {"<INFO><DEMOMESSAGE>M</DEMOMESSAGE><PRODUCTSXML>u</PRODUCTSXML></INFO>", "M", d, "default"},
      // Empty texts keep the defaults but the reading goes on; an empty address is taken.
      {"<INFO><DEMOMESSAGE></DEMOMESSAGE><DEMOMESSAGESUBJECT></DEMOMESSAGESUBJECT>"
       "<PRODUCTSXML></PRODUCTSXML></INFO>",
       d, d, ""},
      // Any name for the top element.
      {"<X><DEMOMESSAGE>M</DEMOMESSAGE><DEMOMESSAGESUBJECT>S</DEMOMESSAGESUBJECT></X>", "M", "S",
       "default"},
      {"not xml at all", d, d, "default"},
  };
  for (const Row& row : rows) {
    SetUp();
    const TSetupState state = Read(row.xml);
    EXPECT_EQ(cDemoMessage, row.message) << row.xml;
    EXPECT_EQ(cDemoMessageSubject, row.subject) << row.xml;
    EXPECT_EQ(state.ProductsXmlUrl, row.url) << row.xml;
  }
}

TEST_F(InfoXmlTest, MissingFileChangesNothing) {
  TSetupState state;
  state.ProductsXmlUrl = "default";
  EXPECT_FALSE(ReadInfoXml(folder / "none.xml", state));
  EXPECT_EQ(state.ProductsXmlUrl, "default");
  EXPECT_EQ(cDemoMessage, "Demonstration message");
}

TEST(StartupFacts, FoldersAndDestination) {
  EXPECT_EQ(SystemFolderText("C:\\windows\\system32", "X\\"), "C:\\windows\\system32\\");
  EXPECT_EQ(SystemFolderText("  C:\\windows\\system32\\ ", "X\\"), "C:\\windows\\system32\\");
  EXPECT_EQ(SystemFolderText("C:/windows/", "X\\"), "C:/windows/");
  EXPECT_EQ(SystemFolderText("", "D:\\Setup\\"), "D:\\Setup\\");

  EXPECT_EQ(DefaultDestination("", "Zarel\\"), "C:\\Program Files\\Zarel\\");
  EXPECT_EQ(DefaultDestination("C:\\Program Files (x86)", "Zarel\\"), "C:\\Program Files (x86)\\Zarel\\");
  EXPECT_EQ(DefaultDestination("E:\\Apps\\", "Mail\\"), "E:\\Apps\\Mail\\");
  EXPECT_EQ(DefaultDestination("E:/Apps/", "Zarel\\"), "E:/Apps/Zarel\\");
}

TEST(StartupFacts, OlderVersionsAndWebMail) {
  EXPECT_FALSE(IsOlderThan534(""));
  EXPECT_TRUE(IsOlderThan534("5.3.3"));
  EXPECT_FALSE(IsOlderThan534("5.3.4"));
  EXPECT_FALSE(IsOlderThan534("8.1"));

  const auto exists = [](const std::string& folder) { return folder == "C:\\Webmail"; };
  struct Row {
    std::string version, folder;
    bool outdated;
  };
  const Row rows[] = {
      {"4.2.1", "C:\\Webmail\\", true},
      {"", "C:\\Webmail\\", true},  // no version read: older than anything
      {"4.2.2", "C:\\Webmail\\", false},
      {"5.0", "C:\\Webmail\\", false},
      {"4.0", "C:\\Gone\\", false},
      {"4.0", "", false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(IsWebMailOutdated(row.version, row.folder, exists), row.outdated)
        << row.version << " " << row.folder;
  }
}

TEST(StartupFacts, LogonAddresses) {
  EXPECT_EQ(LogonAddress(false, "", 32000, false), "http://localhost:32000/accounts/");
  EXPECT_EQ(LogonAddress(false, "", 32000, true), "http://localhost:32000/mail/");
  EXPECT_EQ(LogonAddress(false, "mail.example.com", 8080, true), "http://localhost:8080/mail/");
  EXPECT_EQ(LogonAddress(true, " mail.example.com ;other", 80, true), "http://mail.example.com:80/mail/");
  EXPECT_EQ(LogonAddress(true, "", 32000, false), "http://localhost:32000/accounts/");
  EXPECT_EQ(LogonAddress(true, "  ;other", 32000, false), "http://localhost:32000/accounts/");
}

TEST(StartupFacts, DefaultSettingsGiveTheDefaultWebAdminAddress) {
  ResetServerStore();
  const TServerSettings& settings = ServerSettings();
  EXPECT_EQ(LogonAddress(settings.Get(settings::kUseServerListForWebHost) != 0,
                         settings.Get(settings::kServerList), settings.Get(settings::kHttpPort), false),
            "http://localhost:32000/accounts/");
}

TEST(WizardChecks, FirstRunFields) {
  struct Row {
    std::string host, domain, user, password, confirmation;
    bool complete;
  };
  const Row rows[] = {
      {"mail.example.com", "example.com", "admin", "secret", "secret", true},
      {"mail.example.com", "example.com", "admin", "secret", "Secret", false},
      {"mail.example.com", "example.com", "admin", "secret", "secret ", false},
      {"  ", "example.com", "admin", "secret", "secret", false},
      {"mail.example.com", "\t", "admin", "secret", "secret", false},
      {"mail.example.com", "example.com", " ", "secret", "secret", false},
      // A password of spaces is blank even when the confirmation matches.
      {"mail.example.com", "example.com", "admin", "   ", "   ", false},
      // Surrounding spaces in the password are kept and must match exactly.
      {"mail.example.com", "example.com", "admin", " pw ", " pw ", true},
      {"", "", "", "", "", false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(TutorialFieldsComplete(row.host, row.domain, row.user, row.password, row.confirmation),
              row.complete)
        << row.host << "|" << row.domain << "|" << row.user << "|" << row.password << "|"
        << row.confirmation;
  }
}

TEST(WizardChecks, UserNameLosesItsDomain) {
  const std::pair<std::string, std::string> rows[] = {
      {"admin@example.com", "admin"}, {"@example.com", ""}, {"a@b@c", "a"}, {"admin", "admin"}};
  for (const auto& [typed, kept] : rows) {
    std::string user = typed;
    EXPECT_EQ(CutUserAtSign(user), typed != kept) << typed;
    EXPECT_EQ(user, kept) << typed;
  }
}

TEST(WizardChecks, NewerVersionQuestionOnlyForHigherVersions) {
  const std::pair<std::string, bool> rows[] = {
      {"8.2.1", true}, {"8.3", true}, {"9", true}, {"8.1.9", false},
      {"8.2.0", false}, {"8.2", false}, {"", false}, {"7.99.99", false}};
  for (const auto& [latest, offer] : rows) EXPECT_EQ(ShouldOfferNewerVersion(true, latest), offer) << latest;
  EXPECT_FALSE(ShouldOfferNewerVersion(false, "9.0.0"));
}

TEST(WizardChecks, ComponentListFollowsTheFlags) {
  TSetupState state;
  state.NoInstallIAS = true;
  state.NoInstallCalendar = true;
  TComponentChecks checks = ComponentChecks(state);
  EXPECT_EQ(checks, (TComponentChecks{true, true, false, true, true, false}));

  checks = {false, false, true, false, true, true};
  StoreComponentChecks(checks, state);
  EXPECT_TRUE(state.NoInstallWebMail);
  EXPECT_FALSE(state.NoInstallIAS);
  EXPECT_TRUE(state.NoInstallAV);
  EXPECT_FALSE(state.NoInstallIM);
  EXPECT_FALSE(state.NoInstallCalendar);
  // Item 0 is not a flag: the mail services are always installed.
  EXPECT_TRUE(ComponentChecks(state)[0]);
}

TEST(WizardChecks, OnlyAbsoluteFoldersAreAccepted) {
  const std::pair<std::string, bool> rows[] = {
      {"C:\\Program Files\\Zarel\\", true},
      {"d:\\Mail", true},
      {"C:/Mail/", true},
      {"\\\\server\\share\\Zarel\\", true},
      {"\\\\server\\share", true},
      {"", false},
      {"Zarel\\", false},
      {"..\\Zarel", false},
      {"C:Zarel", false},  // relative to drive C's current folder
      {"\\Zarel", false},  // relative to the current drive
      {"\\\\server", false},
      {"\\\\server\\", false},
      {"\\\\\\share", false},
      {"\\\\?\\C:\\Zarel", false},
      {"1:\\Zarel", false},
      // Dot segments: the folder shown must be the folder installed into.
      {"C:\\Program Files (x86)\\..\\..\\Zarel\\", false},
      {"C:\\Zarel\\..", false},
      {"C:/Zarel/../Mail/", false},
      {"\\\\server\\share\\..\\other", false},
      {"C:\\Zarel\\. .\\Mail", false},
      {"C:\\Zarel\\.\\Mail", false},
      {"C:\\Zarel..\\.config\\v1.2\\", true},
  };
  for (const auto& [folder, accepted] : rows) EXPECT_EQ(IsAcceptableFolder(folder), accepted) << folder;
}

TEST(WizardChecks, PageIndexWrapsAsAByte) {
  EXPECT_EQ(NextPageIndex(0, 1), 1);
  EXPECT_EQ(NextPageIndex(4, 0), 3);
  EXPECT_EQ(NextPageIndex(0, 0), 255);
  EXPECT_EQ(NextPageIndex(255, 1), 0);
}

TEST(FinishPlan, OrderAndTutorialRule) {
  TFinishChoices all;
  all.RunAntivirus = all.ViewReadme = all.ViewReleaseNotes = all.ShowTutorial = all.RunConfig = true;
  const auto present = [](const std::string&) { return true; };
  const auto absent = [](const std::string&) { return false; };

  std::vector<TFinishStep> steps = PlanFinishActions(all, "C:\\Zarel\\", present);
  ASSERT_EQ(steps.size(), 5u);
  EXPECT_EQ(steps[0].Kind, TFinishStepKind::AntivirusUpdate);
  EXPECT_EQ(steps[1].Path, "C:\\Zarel\\readme.txt");
  EXPECT_EQ(steps[2].Path, "C:\\Zarel\\releasenotes.txt");
  EXPECT_EQ(steps[3].Path, "C:\\Zarel\\tutorial\\index.html");
  EXPECT_EQ(steps[4].Path, "C:\\Zarel\\config.exe");

  steps = PlanFinishActions(all, "C:\\Zarel\\", absent);
  ASSERT_EQ(steps.size(), 4u);
  EXPECT_EQ(steps[3].Path, "C:\\Zarel\\config.exe");

  EXPECT_TRUE(PlanFinishActions(TFinishChoices{}, "C:\\Zarel\\", present).empty());
}

}  // namespace
