// The install log: file naming, never overwriting, the header, timestamps, masking and the
// logged UI.
#include <gtest/gtest.h>

#include <cctype>

#include "base/FileSystemUnit.h"
#include "engine/InstallLog.h"
#include "tests/FolderLink.h"
#include "tests/TestFolder.h"
#include "tests/support/RecordingUI.h"

namespace {

// "yyyy-mm-dd hh:mm:ss.mmm  " followed by text.
bool IsStamped(const std::string& line) {
  const std::string shape = "dddd-dd-dd dd:dd:dd.ddd  ";
  if (line.size() <= shape.size() || line[shape.size()] == ' ') return false;
  for (std::size_t i = 0; i < shape.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(line[i])) != 0;
    if (shape[i] == 'd' ? !digit : line[i] != shape[i]) return false;
  }
  return true;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < text.size()) {
    const std::size_t end = text.find("\r\n", from);
    lines.push_back(text.substr(from, end == std::string::npos ? std::string::npos : end - from));
    if (end == std::string::npos) break;
    from = end + 2;
  }
  return lines;
}

TLogHeader Header() { return TLogHeader{"8.2.0", "C:\\dist\\setup.exe", "setup.exe /SILENT", "5.1 build 2600", "NT"}; }

class InstallLogTest : public ::testing::Test {
 protected:
  void TearDown() override {
    StopInstallLog();
    ClearLogSecrets();
    SetCurrentUI(nullptr);
  }
  TestFolder folder_;
};

TEST_F(InstallLogTest, EveryRunGetsANewFileAndEarlierOnesStay) {
  const std::string first = StartInstallLog(Header(), folder_.path());
  ASSERT_FALSE(first.empty());
  InstallLog("first run");
  StopInstallLog();
  const std::string second = StartInstallLog(Header(), folder_.path());
  InstallLog("second run");
  StopInstallLog();
  ASSERT_FALSE(second.empty());
  EXPECT_NE(first, second);
  EXPECT_NE(first.find(" #001.txt"), std::string::npos) << first;
  EXPECT_NE(second.find(" #002.txt"), std::string::npos) << second;
  EXPECT_NE(ReadWholeFile(first, false).find("first run"), std::string::npos);
  EXPECT_EQ(ReadWholeFile(first, false).find("second run"), std::string::npos);

  // A name taken by something else is skipped, not overwritten.
  const std::string third = folder_.path() + ExtractFileName(second).replace(ExtractFileName(second).find("#002"), 4, "#003");
  WriteWholeFile("not ours", third, false);
  const std::string fourth = StartInstallLog(Header(), folder_.path());
  EXPECT_NE(fourth.find(" #004.txt"), std::string::npos) << fourth;
  EXPECT_EQ(ReadWholeFile(third, false), "not ours");
  EXPECT_EQ(InstallLogPath(), fourth);
}

TEST_F(InstallLogTest, HeaderTimestampsAndContinuationLines) {
  const std::string path = StartInstallLog(Header(), folder_.path());
  InstallLog("File copied: a -> b");
  InstallLog("File copy error: denied\r\nC:\\x\\smtp.exe\r\n");
  StopInstallLog();
  InstallLog("after the log was closed");
  const std::vector<std::string> lines = Lines(ReadWholeFile(path, false));
  const std::vector<std::string> texts = {
      "Zarel Mail Server setup 8.2.0 install log", "Program: C:\\dist\\setup.exe",
      "Command line: setup.exe /SILENT", "Windows version: 5.1 build 2600", "Platform: NT",
      "File copied: a -> b", "File copy error: denied"};
  ASSERT_EQ(lines.size(), texts.size() + 1);
  for (std::size_t i = 0; i < texts.size(); ++i) {
    EXPECT_TRUE(IsStamped(lines[i])) << lines[i];
    EXPECT_EQ(lines[i].substr(25), texts[i]);
  }
  EXPECT_EQ(lines.back(), std::string(25, ' ') + "C:\\x\\smtp.exe");
}

TEST_F(InstallLogTest, SecretsNeverReachTheFile) {
  const std::string path = StartInstallLog(Header(), folder_.path());
  AddLogSecret("pa55word!");
  AddLogSecret("");
  InstallLog("Administrator admin with password pa55word! created; again: pa55word!");
  TRecordingUI inner;
  SetLoggedCurrentUI(&inner);
  CurrentUI().ShowMessage({TQuestion::Opening, "Question", "Use pa55word!?", MessageButtons::YesNo, MessageIcon::Question});
  StopInstallLog();
  const std::string text = ReadWholeFile(path, false);
  EXPECT_EQ(text.find("pa55word"), std::string::npos) << text;
  EXPECT_NE(text.find("with password ******** created; again: ********"), std::string::npos) << text;
  // The wrapped UI still shows the real text.
  ASSERT_EQ(inner.boxes.size(), 1u);
  EXPECT_EQ(inner.boxes[0].text, "Use pa55word!?");
}

// A secret is masked as a whole word: a short one must not garble the other words of the log.
TEST_F(InstallLogTest, SecretsAreMaskedAsWholeWords) {
  AddLogSecret("a");
  AddLogSecret("x1");
  const struct {
    const char* text;
    const char* logged;
  } rows[] = {
      {"Installation folder C:\\Zarel\\: a first installation", "Installation folder C:\\Zarel\\: ******** first installation"},
      {"setup.exe /unattended /pasword=a", "setup.exe /unattended /pasword=********"},
      {"\"/password=x1\" x1x1 ax1 x1.", "\"/password=********\" x1x1 ax1 ********."},
  };
  for (const auto& row : rows) EXPECT_EQ(MaskLogSecrets(row.text), row.logged) << row.text;
}

TEST_F(InstallLogTest, LoggedUiRecordsBoxesWithTheirAnswers) {
  const std::string path = StartInstallLog(Header(), folder_.path());
  TRecordingUI inner;
  inner.answers = {MessageAnswer::Yes};
  SetLoggedCurrentUI(&inner);
  EXPECT_EQ(CurrentUI().ShowMessage({TQuestion::Opening, "Question", "Install now?", MessageButtons::YesNo, MessageIcon::Question}),
            MessageAnswer::Yes);
  EXPECT_EQ(CurrentUI().ShowMessage({TQuestion::Failure, "Error", "File copy error: x\r\ny", MessageButtons::Ok, MessageIcon::Error}),
            MessageAnswer::Ok);
  CurrentUI().SetStatus("Extracting Files...");
  CurrentUI().SetStatus("Copying File:\r\nC:\\Zarel\\smtp.exe...");
  CurrentUI().StepProgress();
  CurrentUI().ProcessMessages();
  EXPECT_EQ(inner.statuses.size(), 2u);
  EXPECT_EQ(inner.progressSteps, 1);
  EXPECT_EQ(inner.pumps, 1);

  // Without a window the wrapper answers as the silent UI does: Ok, or No to a question.
  SetLoggedCurrentUI(nullptr);
  EXPECT_EQ(CurrentUI().ShowMessage({TQuestion::Cancel, "Question", "Exit?", MessageButtons::YesNo, MessageIcon::Question}),
            MessageAnswer::No);
  StopInstallLog();

  const std::string text = ReadWholeFile(path, false);
  for (const char* part : {"Message box \"Question\" (Yes/No):", "Install now?", "Answer: Yes",
                           "Message box \"Error\" (OK):", "Answer: OK", "Status: Extracting Files...",
                           "Exit?", "Answer: No"})
    EXPECT_NE(text.find(part), std::string::npos) << part;
  EXPECT_EQ(text.find("Copying File"), std::string::npos);
}

TEST_F(InstallLogTest, ALogAtAGivenPathIsAppendedToNeverOverwritten) {
  const std::string path = folder_ / "deploy.log";
  WriteWholeFile("an earlier run\r\n", path, false);
  EXPECT_EQ(StartInstallLogFile(Header(), path), path);
  InstallLog("this run");
  StopInstallLog();
  const std::string text = ReadWholeFile(path, false);
  EXPECT_EQ(text.rfind("an earlier run\r\n", 0), 0u);
  EXPECT_NE(text.find("this run"), std::string::npos);
  EXPECT_EQ(StartInstallLogFile(Header(), folder_ / "missing\\deploy.log"), "");
  EXPECT_EQ(InstallLogPath(), "");
}

// log= and the copy in the installation's logs\ are places others may have prepared: a name
// there that is a second name of a file elsewhere is never written through.
TEST_F(InstallLogTest, PlantedNamesAreNeverWrittenThrough) {
  const std::string victim = folder_ / "victim.txt";
  WriteWholeFile("precious", victim, false);
  ASSERT_TRUE(MakeHardLink(folder_ / "deploy.log", victim));
  EXPECT_EQ(StartInstallLogFile(Header(), folder_ / "deploy.log"), "");

  ForceDirectories(folder_ / "temp\\");
  const std::string path = StartInstallLog(Header(), folder_ / "temp\\");
  ASSERT_FALSE(path.empty());
  ForceDirectories(folder_ / "logs\\");
  ASSERT_TRUE(MakeHardLink(folder_ / "logs\\" + ExtractFileName(path), victim));
  KeepInstallLogIn(folder_ / "logs\\");
  FinishInstallLog(0);
  EXPECT_EQ(ReadWholeFile(victim, false), "precious");
  EXPECT_NE(ReadWholeFile(path, false).find("The log could not be copied into " + folder_ / "logs\\"), std::string::npos);
}

TEST_F(InstallLogTest, FolderThatCannotHoldTheLogMeansNoLog) {
  EXPECT_EQ(StartInstallLog(Header(), folder_ / "missing\\deeper\\"), "");
  EXPECT_EQ(InstallLogPath(), "");
  InstallLog("goes nowhere");
  // The system's own facts fill the header.
  const TLogHeader system = SystemLogHeader();
  EXPECT_EQ(system.SetupVersion, "8.2.0");
  EXPECT_FALSE(system.ProgramPath.empty());
  EXPECT_FALSE(system.CommandLine.empty());
  EXPECT_FALSE(system.WindowsVersion.empty());
}

}  // namespace
