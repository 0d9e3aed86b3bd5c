// The start-up's pieces without a machine: formatter, command line, info.xml, the system
// folder and the logon addresses. The decisions both faces share are SetupCoreTest's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/FileSystemUnit.h"
#include "serverconfig/ServerStore.h"
#include "app/CommandLine.h"
#include "app/StartupUnit.h"
#include "base/TextFormat.h"
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

TEST(StartupFacts, SystemFolder) {
  EXPECT_EQ(SystemFolderText("C:\\windows\\system32", "X\\"), "C:\\windows\\system32\\");
  EXPECT_EQ(SystemFolderText("  C:\\windows\\system32\\ ", "X\\"), "C:\\windows\\system32\\");
  EXPECT_EQ(SystemFolderText("C:/windows/", "X\\"), "C:/windows/");
  EXPECT_EQ(SystemFolderText("", "D:\\Setup\\"), "D:\\Setup\\");
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

}  // namespace
