// The decisions both faces share (engine/SetupCore): the folder offered and the older versions,
// the first-run fields, the new-version offer, the component list, which folders may be
// installed into (JudgeFolder's table is DestinationCheckTest's) and the end of the run.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/ExitCodes.h"
#include "engine/FirstRunNames.h"
#include "engine/SetupCore.h"

namespace {

TEST(EarlierInstallation, DefaultFolder) {
  EXPECT_EQ(DefaultDestination(""), "C:\\Program Files\\Zarel\\");
  EXPECT_EQ(DefaultDestination("C:\\Program Files (x86)", "Zarel\\"), "C:\\Program Files (x86)\\Zarel\\");
  EXPECT_EQ(DefaultDestination("E:\\Apps\\", "Mail\\"), "E:\\Apps\\Mail\\");
  EXPECT_EQ(DefaultDestination("E:/Apps/", "Zarel\\"), "E:/Apps/Zarel\\");
}

TEST(EarlierInstallation, OlderVersionsAndWebMail) {
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

TEST(FirstRunFields, CompleteOnlyWithEveryValueAndAMatchingConfirmation) {
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

TEST(FirstRunFields, UserNameLosesItsDomain) {
  const std::pair<std::string, std::string> rows[] = {
      {"admin@example.com", "admin"}, {"@example.com", ""}, {"a@b@c", "a"}, {"admin", "admin"}};
  for (const auto& [typed, kept] : rows) {
    std::string user = typed;
    EXPECT_EQ(CutUserAtSign(user), typed != kept) << typed;
    EXPECT_EQ(user, kept) << typed;
  }
}

TEST(NewVersionOffer, OnlyForHigherVersions) {
  const std::pair<std::string, bool> rows[] = {
      {"8.2.1", true}, {"8.3", true}, {"9", true}, {"8.1.9", false},
      {"8.2.0", false}, {"8.2", false}, {"", false}, {"7.99.99", false}};
  for (const auto& [latest, offer] : rows) EXPECT_EQ(ShouldOfferNewerVersion(true, latest), offer) << latest;
  EXPECT_FALSE(ShouldOfferNewerVersion(false, "9.0.0"));
}

TEST(Components, ListFollowsTheFlags) {
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

TEST(InstallationFolder, OnlyAbsoluteFoldersAreAccepted) {
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

TEST(FinishPlan, FirstRunAndExitCodeFollowTheRun) {
  struct Row {
    bool upgrade;
    std::vector<std::string> notRunning;
    bool firstRun;
    int wizardCode, unattendedCode;
  };
  const Row rows[] = {
      {false, {}, true, kExitSuccess, kExitSuccess},
      {true, {}, false, kExitSuccess, kExitSuccess},
      // A person read the warning that named them; nobody read it in an unattended run.
      {false, {"Zarel Mail Server SMTP"}, true, kExitSuccess, kExitServersNotRunning},
      {true, {"Zarel Mail Server SMTP", "Zarel Mail Server IM"}, false, kExitSuccess, kExitServersNotRunning},
  };
  for (const Row& row : rows) {
    TSetupState state;
    state.IsUpgrade = row.upgrade;
    state.ServersNotRunning = row.notRunning;
    EXPECT_EQ(FirstRunBelongsToThisRun(state), row.firstRun) << row.upgrade;
    EXPECT_EQ(FinishExitCode(state, false), row.wizardCode) << row.notRunning.size();
    EXPECT_EQ(FinishExitCode(state, true), row.unattendedCode) << row.notRunning.size();
  }
  // The run that finishes a stopped first installation is an upgrade of its seeded store, but
  // the first run never came.
  TSetupState finishing;
  finishing.IsUpgrade = true;
  finishing.FirstRunOwed = true;
  EXPECT_TRUE(FirstRunBelongsToThisRun(finishing));
}

}  // namespace
