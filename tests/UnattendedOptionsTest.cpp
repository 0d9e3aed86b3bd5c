// The settings of an unattended run: which words they are, which values pass, what the answers
// file holds and what an interactive run saves.
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
      // The names the store keeps whole and inside itself, in the page's words.
      {{"/domain=admin@new.test", firstRun[0], firstRun[2], firstRun[3]}, install, "domain=admin@new.test",
       "letters, digits and hyphens between dots"},
      {{"/domain=new test", firstRun[0], firstRun[2], firstRun[3]}, install, "domain=", "letters, digits"},
      {{"/domain=" + std::string(92, 'd'), firstRun[0], firstRun[2], firstRun[3]}, install, "domain=",
       "longer than 91 characters"},
      {{"/admin=;chief", firstRun[0], firstRun[1], firstRun[3]}, install, "admin=;chief", "; characters"},
      {{"/admin=. .", firstRun[0], firstRun[1], firstRun[3]}, install, "admin=. .", "dots and blanks alone"},
      {{"/admin=" + std::string(128, 'u'), firstRun[0], firstRun[1], firstRun[3]}, install, "admin=",
       "longer than 127 characters"},
      {{"/admin=@a.example", firstRun[0], firstRun[1], firstRun[3]}, install, "admin=@a.example", "no user name"},
      {{"/hostname=" + std::string(128, 'h'), firstRun[1], firstRun[2], firstRun[3]}, install, "hostname=",
       "longer than 127 characters"},
      {{"/hostname=" + std::string(127, 'h'), firstRun[1], firstRun[2], firstRun[3]}, install, "", ""},
      {{firstRun[0], firstRun[1], firstRun[2]}, install, "password-file=", "come together"},
      {{firstRun[1]}, install, "hostname=", "come together"},
      {{"/saveanswers=C:\\a.txt"}, install, "saveanswers=", "interactive"},
      {{"/log=C:\\l.txt", "/saveanswers=C:\\a.txt"}, TRunKind::Interactive, "", ""},
      {{"/dir=C:\\Mail\\"}, TRunKind::Interactive, "dir=", "unattended switch"},
      {{"/log=C:\\l.txt"}, TRunKind::UnattendedUninstall, "", ""},
      {{"/components=im"}, TRunKind::UnattendedUninstall, "components=im", "removing"},
      {{"/checkversion=yes", "/deletepasswordfile=no"}, install, "", ""},
      {{"/checkversion=maybe"}, install, "checkversion=maybe", "yes or no"},
      {{"/checkversion=yes"}, TRunKind::Interactive, "checkversion=", "unattended switch"},
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
  // Nobody can answer the new-version question of an unattended run: asked for, or not made.
  EXPECT_FALSE(options.CheckVersion);
  EXPECT_FALSE(options.DeletePasswordFile);
  ASSERT_FALSE(InterpretSettings(Settings({"/checkversion=YES", "/deletepasswordfile=yes"}), install, options));
  EXPECT_TRUE(options.CheckVersion);
  EXPECT_TRUE(options.DeletePasswordFile);
}

// Values of these settings are masked in the log and on the console, also under a mistyped name.
TEST(UnattendedSettings, SecretSettingNames) {
  for (const char* name : {"password", "PassWord", "pasword", "adminpass", "dbpwd", "smtp-secret"})
    EXPECT_TRUE(IsSecretSettingName(name)) << name;
  for (const char* name : {"password-file", "passwordfile", "domain", "admin", "dir"})
    EXPECT_FALSE(IsSecretSettingName(name)) << name;
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

TOptionFiles FakeFiles(const std::set<std::string>& folders, const std::map<std::string, std::string>& files,
                       const std::set<std::string>& unreadable = {}) {
  TOptionFiles fake;
  fake.DirectoryExists = [folders](const std::string& path) { return folders.count(path) > 0; };
  fake.FileExists = [files, unreadable](const std::string& path) { return files.count(path) + unreadable.count(path) > 0; };
  fake.ReadFile = [files](const std::string& path, std::string& bytes) {
    const auto found = files.find(path);
    if (found == files.end()) return false;
    bytes = found->second;
    return true;
  };
  return fake;
}

TEST(UnattendedSettings, MachineChecksFindUnusableFoldersAndPasswords) {
  const std::set<std::string> folders = {"C:\\", "C:\\Data\\", "D:\\Mail\\", "\\\\server\\share\\"};
  const std::map<std::string, std::string> files = {
      {"C:\\Data\\file", "x"}, {"C:\\pw.txt", "  open sesame\r\nsecond"}, {"C:\\blank.txt", "   \r\nsecret"},
      {"C:\\long.txt", std::string(128, 'p') + "\r\n"}, {"C:\\utf16.txt", std::string("\xFF\xFEp\0w\0\r\0\n\0", 10)}};
  const TOptionFiles fake = FakeFiles(folders, files, {"C:\\held.txt"});
  struct Row {
    std::string dir;
    std::string passwordFile;
    std::string saveAnswers;
    std::string refused;  // empty when all pass
    std::string reason;   // a part of the reason
  };
  const Row rows[] = {
      {"C:\\Zarel\\", "", "", "", ""},
      {"C:\\Data\\", "", "", "", ""},
      {"C:\\Data\\New\\", "", "", "", ""},
      {"D:\\Mail\\", "", "", "", ""},
      {"\\\\server\\share\\Zarel\\", "", "", "", ""},
      // A missing parent is JudgeFolder's to refuse (DestinationCheckTest), in the page's words.
      {"C:\\Data\\New\\Deeper\\", "", "", "", ""},
      {"C:\\Data\\file\\Zarel\\", "", "", "dir=", "is a file"},
      {"E:\\Zarel\\", "", "", "dir=", "drive or share"},
      {"\\\\server\\other\\Zarel\\", "", "", "dir=", "drive or share"},
      {"", "C:\\pw.txt", "", "", ""},
      {"", "C:\\utf16.txt", "", "", ""},
      {"", "C:\\missing.txt", "", "password-file=", "cannot be read"},
      {"", "C:\\held.txt", "", "password-file=", "cannot be read"},
      {"", "C:\\blank.txt", "", "password-file=", "blank"},
      {"", "C:\\long.txt", "", "password-file=", "longer than 127 characters"},
      {"", "", "C:\\Data\\answers.txt", "", ""},
      {"", "", "C:\\Nowhere\\answers.txt", "saveanswers=", "folder does not exist"},
      {"", "", "C:\\Data", "saveanswers=", "is a folder"},
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
      EXPECT_NE(error.Reason.find(row.reason), std::string::npos) << label << ": " << error.Text();
    }
    if (row.passwordFile == "C:\\pw.txt") {
      EXPECT_EQ(password, "  open sesame");  // blanks belong to it
    }
    if (row.passwordFile == "C:\\utf16.txt") {
      EXPECT_EQ(password, "pw");
    }
  }
}

// What editors and shells write: UTF-16 with its mark (Windows PowerShell 5.1's ">"), UTF-8
// with or without one, and older files in the ANSI code page.
TEST(UnattendedSettings, PasswordFilesInEveryEncodingGiveTheStoresText) {
  const auto bytes = [](std::initializer_list<int> values) {
    std::string text;
    for (const int value : values) text += static_cast<char>(value);
    return text;
  };
  struct Row {
    const char* what;
    std::string file;
    std::string password;  // in the ANSI code page (Windows-1252 on POSIX hosts)
    std::string refusal;   // a part of the reason; empty when taken
  };
  const std::string p128(128, 'p');
  const Row rows[] = {
      {"ASCII", " open sesame \r\nsecond line", " open sesame ", ""},
      {"ASCII, no line end", "secret", "secret", ""},
      {"ANSI", "p\xE4ss\n", "p\xE4ss", ""},
      {"UTF-8", "p\xC3\xA4ss\r\n", "p\xE4ss", ""},
      {"UTF-8 with its mark", "\xEF\xBB\xBFp\xC3\xA4ss\r\n", "p\xE4ss", ""},
      {"UTF-8 mark, ASCII", "\xEF\xBB\xBFsecret", "secret", ""},
      {"UTF-16 LE", bytes({0xFF, 0xFE, 'p', 0, 0xE4, 0, 's', 0, 's', 0, '\r', 0, '\n', 0, 'x', 0}), "p\xE4ss", ""},
      {"UTF-16 BE", bytes({0xFE, 0xFF, 0, 'p', 0, 0xE4, 0, 's', 0, 's', 0, '\n'}), "p\xE4ss", ""},
      {"UTF-16 LE, euro sign", bytes({0xFF, 0xFE, 0xAC, 0x20, '1', 0}), "\x80" "1", ""},
      // What the store cannot keep is refused, never changed into another password.
      {"UTF-16, no such character", bytes({0xFF, 0xFE, 'a', 0, 0x3B, 0x04, 'b', 0}), "", "code page"},
      {"UTF-8, no such character", "a\xD0\xBB" "b", "", "code page"},
      {"UTF-16, cut in a unit", bytes({0xFF, 0xFE, 'a', 0, 'b'}), "", "UTF-16"},
      {"UTF-8 mark, then no UTF-8", "\xEF\xBB\xBFp\xE4ss", "", "UTF-8"},
      // The store ends a password at a NUL: it would silently become a shorter one.
      {"NUL in the line", std::string("pa\0ss", 5), "", "NUL"},
      {"UTF-16 NUL in the line", bytes({0xFF, 0xFE, 'a', 0, 0, 0, 'b', 0}), "", "NUL"},
      {"127 characters", std::string(127, 'p') + "\r\n", std::string(127, 'p'), ""},
      {"128 characters", p128 + "\r\n", "", "longer than 127 characters"},
      {"128 UTF-16 characters", "\xFF\xFE" + [&] {
         std::string text;
         for (int i = 0; i < 128; ++i) text += std::string("p\0", 2);
         return text;
       }(), "", "longer than 127 characters"},
  };
  for (const Row& row : rows) {
    std::string password = "unchanged";
    const std::string refusal = PasswordFromFileBytes(row.file, password);
    if (row.refusal.empty()) {
      EXPECT_EQ(refusal, "") << row.what;
      EXPECT_EQ(password, row.password) << row.what;
    } else {
      EXPECT_NE(refusal.find(row.refusal), std::string::npos) << row.what << ": " << refusal;
      EXPECT_EQ(password, "unchanged") << row.what;
    }
  }
}

TEST(UnattendedSettings, AnAnswersFileThatCannotBeReadIsRefused) {
  const TOptionFiles fake = FakeFiles({"C:\\"}, {{"C:\\answers.txt", "# saved\r\nmode=basic\r\n"}, {"C:\\empty.txt", ""}},
                                      {"C:\\held.txt"});
  std::vector<TSetting> settings;
  EXPECT_FALSE(ReadAnswersFile("C:\\answers.txt", fake, settings));
  ASSERT_EQ(settings.size(), 1u);
  EXPECT_EQ(settings[0].Name, "mode");
  // An empty file is read: it holds no settings.
  EXPECT_FALSE(ReadAnswersFile("C:\\empty.txt", fake, settings));
  EXPECT_TRUE(settings.empty());

  const TArgumentError missing = ReadAnswersFile("C:\\missing.txt", fake, settings);
  EXPECT_EQ(missing.Argument, "answers=C:\\missing.txt");
  EXPECT_NE(missing.Reason.find("cannot be read: there is no such file"), std::string::npos) << missing.Reason;
  // There, but not readable (another program holds it): never taken for an empty file.
  const TArgumentError held = ReadAnswersFile("C:\\held.txt", fake, settings);
  EXPECT_EQ(held.Argument, "answers=C:\\held.txt");
  EXPECT_NE(held.Reason.find("cannot be read: the file exists"), std::string::npos) << held.Reason;
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

}  // namespace
