// The settings of an unattended run: which words they are, which values pass, what the answers
// file holds, and the box table.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "app/CommandLine.h"
#include "app/UnattendedOptions.h"

namespace {

std::vector<TSetting> Settings(const std::vector<std::string>& words) {
  std::vector<std::string> line = {"/unattended"};
  line.insert(line.end(), words.begin(), words.end());
  return ParseCommandLine(line).Settings;
}

TEST(UnattendedCommandLine, SettingsAndTheSwitchNeverCountAsTheFirstWord) {
  struct Row {
    std::vector<std::string> words;
    bool unattended;
    std::size_t settings;
    TFirstWord first;
  };
  const Row rows[] = {
      {{"/unattended"}, true, 0, TFirstWord::None},
      {{"-UNATTENDED", "/UNINSTALL"}, true, 0, TFirstWord::Uninstall},
      {{"/dir=C:\\Mail\\", "/unattended", "/uninstall"}, true, 1, TFirstWord::Uninstall},
      {{"/unattended", "-Components=im", "/foo=bar"}, true, 2, TFirstWord::None},
      // Without the switch only known names are settings; any other word keeps its old meaning.
      {{"/saveanswers=C:\\a.txt"}, false, 1, TFirstWord::None},
      {{"/foo=bar"}, false, 0, TFirstWord::Other},
      {{"unattended"}, false, 0, TFirstWord::Other},
      {{"/=x", "/unattended"}, true, 0, TFirstWord::Other},
      {{"C:\\Mail", "/unattended"}, true, 0, TFirstWord::Other},
  };
  for (const Row& row : rows) {
    const TCommandLine line = ParseCommandLine(row.words);
    EXPECT_EQ(line.Unattended, row.unattended) << row.words[0];
    EXPECT_EQ(line.Settings.size(), row.settings) << row.words[0];
    EXPECT_EQ(line.First, row.first) << row.words[0];
  }
  const std::vector<TSetting> settings = Settings({"-Dir=C:\\Program Files\\Zarel\\"});
  ASSERT_EQ(settings.size(), 1u);
  EXPECT_EQ(settings[0].Name, "dir");
  EXPECT_EQ(settings[0].Value, "C:\\Program Files\\Zarel\\");
}

TEST(UnattendedSettings, ValuesAndNamesAreCheckedForTheRunKind) {
  struct Row {
    std::vector<std::string> words;
    TRunKind kind;
    std::string refused;  // the start of the refused argument, empty when all pass
    std::string reason;   // a part of the reason
  };
  const auto install = TRunKind::UnattendedInstall;
  const std::string firstRun[] = {"/hostname=mail.a.example", "/domain=a.example", "/admin=chief", "/password-file=C:\\p"};
  const Row rows[] = {
      {{"/dir=C:\\Mail\\", "/components=webmail, IM", "/mode=Basic", "/finish=readme,config", "/allowdowngrade=yes",
        "/log=C:\\l.txt"},
       install, "", ""},
      {{"/components=none", "/finish=none"}, install, "", ""},
      {{firstRun[0], firstRun[1], firstRun[2], firstRun[3]}, install, "", ""},
      {{"/foo=bar"}, install, "foo=bar (command line)", "unknown setting"},
      {{"/password=secret"}, install, "password= (command line)", "password-file="},
      {{"/dir=Mail\\"}, install, "dir=Mail\\", "absolute"},
      {{"/dir=C:\\Mail\\..\\Windows\\"}, install, "dir=", "absolute"},
      {{"/dir="}, install, "dir=", "no value"},
      {{"/components=webmail,calendar"}, install, "components=", "\"calendar\""},
      {{"/mode=expert"}, install, "mode=expert", "advanced or basic"},
      {{"/finish=reboot"}, install, "finish=reboot", "\"reboot\""},
      {{"/allowdowngrade=1"}, install, "allowdowngrade=1", "yes or no"},
      {{"/domain=..\\..\\Windows", firstRun[0], firstRun[2], firstRun[3]}, install, "domain=", "first-run page"},
      {{"/domain=a..example", firstRun[0], firstRun[2], firstRun[3]}, install, "domain=", "first-run page"},
      {{"/admin=..", firstRun[0], firstRun[1], firstRun[3]}, install, "admin=..", "first-run page"},
      {{"/admin=a\\b", firstRun[0], firstRun[1], firstRun[3]}, install, "admin=", "first-run page"},
      {{firstRun[0], firstRun[1], firstRun[2]}, install, "password-file=", "come together"},
      {{firstRun[1]}, install, "hostname=", "come together"},
      {{"/saveanswers=C:\\a.txt"}, install, "saveanswers=", "interactive"},
      {{"/log=C:\\l.txt", "/saveanswers=C:\\a.txt"}, TRunKind::Interactive, "", ""},
      {{"/dir=C:\\Mail\\"}, TRunKind::Interactive, "dir=", "unattended switch"},
      {{"/log=C:\\l.txt"}, TRunKind::UnattendedUninstall, "", ""},
      {{"/components=im"}, TRunKind::UnattendedUninstall, "components=im", "removing"},
  };
  for (const Row& row : rows) {
    TUnattendedOptions options;
    const TArgumentError error = InterpretSettings(Settings(row.words), row.kind, options);
    const std::string label = row.words.empty() ? "" : row.words[0];
    if (row.refused.empty()) {
      EXPECT_FALSE(error) << label << ": " << error.Text();
      continue;
    }
    ASSERT_TRUE(error) << label;
    EXPECT_EQ(error.Argument.rfind(row.refused, 0), 0u) << label << ": " << error.Argument;
    EXPECT_NE(error.Reason.find(row.reason), std::string::npos) << label << ": " << error.Reason;
  }

  TUnattendedOptions options;
  ASSERT_FALSE(InterpretSettings(Settings({"/components=webmail, IM", "/finish=readme", "/admin=chief@a.example",
                                           "/mode=basic", "/hostname=h", "/domain=a.example", "/password-file=p"}),
                                 install, options));
  EXPECT_EQ(options.Components, (TComponentChecks{true, true, false, false, true, false}));
  EXPECT_TRUE(options.Finish.ViewReadme);
  EXPECT_FALSE(options.Finish.RunConfig);
  EXPECT_FALSE(options.Advanced);
  EXPECT_EQ(options.Admin, "chief");  // cut at the "@" as the first-run page does
}

TEST(UnattendedSettings, AnswersFileLinesAndTheCommandLineWins) {
  std::vector<TSetting> fromFile;
  ASSERT_FALSE(ParseAnswersText("# saved\r\n\r\n dir = C:\\Old\\ \r\n; note\r\nMODE=basic\r\ncomponents=im\n", "a.txt",
                                fromFile));
  ASSERT_EQ(fromFile.size(), 3u);
  EXPECT_EQ(fromFile[0].Name, "dir");
  EXPECT_EQ(fromFile[0].Value, "C:\\Old\\");
  EXPECT_EQ(fromFile[1].Origin, "answers file a.txt, line 5");

  const std::vector<TSetting> merged = MergeSettings(fromFile, Settings({"/dir=C:\\New\\", "/finish=readme"}));
  std::map<std::string, std::string> values;
  for (const TSetting& setting : merged) values[setting.Name] = setting.Value;
  EXPECT_EQ(merged.size(), 4u);
  EXPECT_EQ(values["dir"], "C:\\New\\");
  EXPECT_EQ(values["mode"], "basic");

  std::vector<TSetting> bad;
  const TArgumentError error = ParseAnswersText("dir=C:\\x\\\r\njust words\r\n", "b.txt", bad);
  ASSERT_TRUE(error);
  EXPECT_EQ(error.Argument, "just words (answers file b.txt, line 2)");

  // Names the file may not hold are refused with their line.
  for (const std::string line : {"answers=C:\\other.txt", "log=C:\\setup.log"}) {
    std::vector<TSetting> inFile;
    ASSERT_FALSE(ParseAnswersText("# saved\r\n" + line + "\r\n", "c.txt", inFile));
    TUnattendedOptions options;
    const TArgumentError refused = InterpretSettings(inFile, TRunKind::UnattendedInstall, options);
    ASSERT_TRUE(refused) << line;
    EXPECT_NE(refused.Argument.find("c.txt, line 2"), std::string::npos) << refused.Argument;
  }
}

TEST(UnattendedSettings, MachineChecksFindUnusableFoldersAndPasswords) {
  const std::set<std::string> folders = {"C:\\", "C:\\Data\\", "D:\\Mail\\"};
  const std::map<std::string, std::string> files = {
      {"C:\\Data\\file", "x"}, {"C:\\pw.txt", "  open sesame\r\nsecond"}, {"C:\\blank.txt", "   \r\nsecret"}};
  TOptionFiles fake;
  fake.DirectoryExists = [&](const std::string& path) { return folders.count(path) > 0; };
  fake.FileExists = [&](const std::string& path) { return files.count(path) > 0; };
  fake.ReadFirstLine = [&](const std::string& path, std::string& line) {
    const auto found = files.find(path);
    if (found == files.end()) return false;
    line = found->second.substr(0, found->second.find_first_of("\r\n"));
    return true;
  };
  struct Row {
    std::string dir;
    std::string passwordFile;
    std::string saveAnswers;
    std::string refused;  // empty when all pass
  };
  const Row rows[] = {
      {"C:\\Zarel\\", "", "", ""},
      {"C:\\Data\\New\\Deeper\\", "", "", ""},
      {"D:\\Mail\\", "", "", ""},
      {"C:\\Data\\file\\Zarel\\", "", "", "dir="},
      {"E:\\Zarel\\", "", "", "dir="},
      {"\\\\server\\share\\Zarel\\", "", "", "dir="},
      {"", "C:\\pw.txt", "", ""},
      {"", "C:\\missing.txt", "", "password-file="},
      {"", "C:\\blank.txt", "", "password-file="},
      {"", "", "C:\\Data\\answers.txt", ""},
      {"", "", "C:\\Nowhere\\answers.txt", "saveanswers="},
      {"", "", "C:\\Data", "saveanswers="},
  };
  for (const Row& row : rows) {
    TUnattendedOptions options;
    options.Dir = row.dir;
    options.PasswordFile = row.passwordFile;
    options.HostName = "mail.a.example";
    options.Domain = "a.example";
    options.Admin = "chief";
    options.SaveAnswers = row.saveAnswers;
    std::string password;
    const TArgumentError error = CheckOptions(options, fake, password);
    const std::string label = row.dir + row.passwordFile + row.saveAnswers;
    if (row.refused.empty()) {
      EXPECT_FALSE(error) << label << ": " << error.Text();
    } else {
      EXPECT_EQ(error.Argument.rfind(row.refused, 0), 0u) << label << ": " << error.Text();
    }
    if (row.passwordFile == "C:\\pw.txt") {
      EXPECT_EQ(password, "  open sesame");  // blanks belong to it
    }
  }
}

// Editors save a password file as ANSI, UTF-8 with a mark or UTF-16: each gives the same
// password, never one with the mark's bytes in it; what the code page cannot show is refused.
TEST(UnattendedSettings, PasswordFilesReadTheSameInEveryEncoding) {
  const std::string utf16le("\xFF\xFEp\0\xE4\0s\0s\0\r\0\n\0x\0", 16);
  const std::string utf16be("\xFE\xFF\0p\0\xE4\0s\0s", 10);
  const struct {
    std::string bytes;
    bool read;
    std::string line;
  } rows[] = {
      {"p\xE4ss\r\nsecond", true, "p\xE4ss"},
      {"\xEF\xBB\xBFp\xC3\xA4ss\nsecond \xFF", true, "p\xE4ss"},
      {utf16le, true, "p\xE4ss"},
      {utf16be, true, "p\xE4ss"},
      {"\xEF\xBB\xBFp\xE4ss", false, ""},                          // no UTF-8 after the mark
      {std::string("\xFF\xFEp\0\x00\x01", 6), false, ""},          // U+0100: no ANSI form
      {std::string("pa\0ss", 5), false, ""},                        // a NUL would cut it
      {"", true, ""},
  };
  for (const auto& row : rows) {
    std::string line = "left over";
    EXPECT_EQ(PasswordFileLine(row.bytes, line), row.read) << row.line;
    EXPECT_EQ(line, row.line);
  }
}

TEST(UnattendedSettings, SavedAnswersReplayTheSameChoicesWithoutThePassword) {
  TSetupState state;
  state.ChosenFolder = "C:\\Program Files\\Zarel\\";
  state.NoInstallAV = true;
  state.NoInstallIM = true;
  state.AdvancedConsole = false;
  state.FirstRunHostName = "mail.a.example";
  state.FirstRunDomain = "a.example";
  state.FirstRunAdministrator = "chief";
  TFinishChoices finish;
  finish.ViewReleaseNotes = true;
  finish.RunTutorial = true;
  const std::string text = FormatAnswers(state, finish);
  std::vector<TSetting> settings;
  ASSERT_FALSE(ParseAnswersText(text, "saved.txt", settings));
  for (const TSetting& setting : settings) EXPECT_EQ(setting.Name.find("password"), std::string::npos);
  settings.push_back({"password-file", "C:\\pw.txt", "command line"});
  TUnattendedOptions options;
  ASSERT_FALSE(InterpretSettings(settings, TRunKind::UnattendedInstall, options));
  EXPECT_EQ(options.Dir, state.ChosenFolder);
  EXPECT_EQ(options.Components, ComponentChecks(state));
  EXPECT_FALSE(options.Advanced);
  EXPECT_EQ(options.HostName, "mail.a.example");
  EXPECT_EQ(options.Domain, "a.example");
  EXPECT_EQ(options.Admin, "chief");
  EXPECT_TRUE(options.Finish.ViewReleaseNotes);
  EXPECT_FALSE(options.Finish.ViewReadme);

  // Without first-run values (an upgrade) no first-run line is written.
  state.FirstRunDomain.clear();
  EXPECT_EQ(FormatAnswers(state, {}).find("domain="), std::string::npos);
}

TEST(UnattendedSettings, EveryBoxHasItsAnswer) {
  const std::string opening = "This will install Zarel Mail Server 8.2.0. Do you wish to continue?";
  struct Row {
    MessageButtons buttons;
    std::string text;
    bool allowDowngrade;
    MessageAnswer answer;
  };
  const Row rows[] = {
      {MessageButtons::YesNo, opening, false, MessageAnswer::Yes},
      {MessageButtons::YesNo, "Do you wish to cancel this installation?", false, MessageAnswer::No},
      {MessageButtons::YesNoDefaultNo, "Version 9.0.0 is installed", false, MessageAnswer::No},
      {MessageButtons::YesNoDefaultNo, "Version 9.0.0 is installed", true, MessageAnswer::Yes},
      {MessageButtons::YesNoCancel, "A newer version is available", true, MessageAnswer::No},
      {MessageButtons::Ok, "A warning", false, MessageAnswer::Ok},
      {MessageButtons::OkCancel, "Go on?", false, MessageAnswer::Cancel},
  };
  for (const Row& row : rows)
    EXPECT_EQ(UnattendedAnswer(row.buttons, row.text, opening, row.allowDowngrade), row.answer) << row.text;
}

}  // namespace
