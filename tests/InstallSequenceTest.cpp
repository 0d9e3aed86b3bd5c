// The install sequence on a fake machine: every call of a clean run failed in turn and stopped
// (killed) in turn, then the next run's start-up recovery and a second run on the same machine,
// which must leave it as a clean run does; the run journal's text and the recovery's decisions
// as tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/InstallSequence.h"
#include "engine/RunJournal.h"
#include "engine/RunRecovery.h"
#include "engine/SetupCore.h"
#include "texts/TextTable.h"
#include "tests/support/FakeInstallMachine.h"

namespace {

constexpr char kInstallDir[] = "C:\\Zarel\\";

struct TScenario {
  const char* Name;
  const char* InstalledVersion;  // empty: a first installation
  bool LeaveOutIM;
};

const TScenario kScenarios[] = {
    {"first installation", "", false},
    {"upgrade from 7.4.6, POP3 disabled", "7.4.6", false},
    {"upgrade from 7.4.6, POP3 disabled, instant messaging left out", "7.4.6", true},
};

// The machine before the run: nothing, or an installation of the scenario's version with the
// customer's configuration and mail, POP3 disabled and the other servers running.
TFakeInstallMachine InitialMachine(const TScenario& scenario) {
  TFakeInstallMachine machine;
  if (std::string(scenario.InstalledVersion).empty()) return machine;
  TFakeMachineState& m = machine.m;
  const std::string dir = kInstallDir;
  for (const char* program : {"smtp.exe", "pop3.exe", "control.exe", "im.exe", "cal.exe"})
    m.files[dir + program] = scenario.InstalledVersion;
  for (const char* folder : {"config\\", "mail\\", "logs\\"}) m.files[dir + folder] = "";
  m.files[dir + "config\\zarel.cfg"] = "customer";
  m.files[dir + "mail\\customer.example\\1.msg"] = "customer";
  m.registry = {{"Version", scenario.InstalledVersion}, {"InstallDir", dir}};
  m.startTypes = {kAutomaticStart, kDisabledStart, kAutomaticStart, kAutomaticStart, kAutomaticStart};
  m.running = {kSmtpServer, kControlServer, kIMServer, kGroupWareServer};
  m.store = {{"domain customer.example", "the customer's accounts"}, {"console layout", "basic.xml"}};
  return machine;
}

// What the start-up gives the sequence: the installed version as the suite's key has it, the
// folder and the components chosen, then the recovery of a stopped run.
void StartUp(TFakeInstallMachine& machine, const TScenario& scenario) {
  ResetSetupState();
  TSetupState& state = SetupState();
  state.InstalledVersion = machine.m.registry.count("Version") ? machine.m.registry["Version"] : "";
  state.NoInstallIM = scenario.LeaveOutIM;
  state.ChosenFolder = kInstallDir;
  RecoverStoppedRun(machine, state);
}

enum class TEnd { Completed, Failed, Killed };

struct TRunEnd {
  TEnd End = TEnd::Completed;
  std::string Text;  // a failure's box
};

TRunEnd RunOnce(TFakeInstallMachine& machine, const TScenario& scenario) {
  StartUp(machine, scenario);
  try {
    RunInstallSequence(machine);
    return {};
  } catch (const TProgramEnded& ended) {
    EXPECT_EQ(ended.code, kKilledByTest);
    return {TEnd::Killed, {}};
  } catch (const TSetupFailure& failure) {
    return {TEnd::Failed, failure.Text};
  }
}

struct TCleanRun {
  TFakeMachineState Machine;
  std::vector<std::string> Calls;
  std::size_t FirstChange = 0;  // the index of the clean run's first call that changes the machine
};

bool ChangesTheMachine(const std::string& call) {
  static const std::set<std::string> looks = {"CheckDataFilesAndRoom", "DestinationProblem", "FolderExists",
                                              "CustomerFiles", "StartType", "ServerRunning",
                                              "NewExtractionFolderName", "ReadJournal", "UseInstallationFolder"};
  return looks.count(call) == 0;
}

TCleanRun CleanRun(const TScenario& scenario) {
  TFakeInstallMachine machine = InitialMachine(scenario);
  EXPECT_EQ(RunOnce(machine, scenario).End, TEnd::Completed);
  TCleanRun clean{machine.m, machine.calls, 0};
  // The start-up's ReadJournal comes before the run: the calls of the sequence start after it.
  while (clean.FirstChange < clean.Calls.size() && !ChangesTheMachine(clean.Calls[clean.FirstChange])) ++clean.FirstChange;
  return clean;
}

// A kill right after a command reached its server and before the journal recorded it leaves
// the command to the next run as well: sent twice. No order of the two avoids one such window
// (journal first would lose the command instead); the run keeps it as short as one write.
TFakeMachineState ExpectedAfterStop(const TCleanRun& clean, std::size_t stop) {
  TFakeMachineState expected = clean.Machine;
  if (stop == 0 || clean.Calls[stop] != "WriteJournal") return expected;
  const std::string& before = clean.Calls[stop - 1];
  if (before == "SendDemonstrationMessage") ++expected.demonstrationMessages;
  if (before == "SendUpgradeCommand") {
    const auto sent = std::count(clean.Calls.begin(), clean.Calls.begin() + static_cast<long>(stop), "SendUpgradeCommand");
    auto& commands = expected.commandsReceived;
    commands.insert(commands.begin() + sent, commands[static_cast<std::size_t>(sent) - 1]);
  }
  return expected;
}

std::string Describe(const TFakeMachineState& m) {
  std::ostringstream text;
  for (const auto& [path, content] : m.files) text << "  file " << path << " = " << content << "\n";
  for (const auto& [name, value] : m.registry) text << "  value " << name << " = " << value << "\n";
  text << "  journal: " << (m.journal.empty() ? "none" : "present") << "\n  start types:";
  for (const std::int32_t type : m.startTypes) text << " " << type;
  text << "\n  running:";
  for (const int kind : m.running) text << " " << kind;
  text << "\n";
  for (const auto& [key, value] : m.store) text << "  store " << key << " = " << value << "\n";
  text << "  commands:";
  for (const std::string& command : m.commandsReceived) text << " " << command;
  text << "\n  demonstration messages: " << m.demonstrationMessages << "\n";
  return text.str();
}

// What a clean run must leave, so that "equal to a clean run" means something.
TEST(InstallSequenceTest, CleanRunsLeaveTheMachineInstalled) {
  for (const TScenario& scenario : kScenarios) {
    SCOPED_TRACE(scenario.Name);
    const TFakeMachineState m = CleanRun(scenario).Machine;
    const bool upgrade = !std::string(scenario.InstalledVersion).empty();
    EXPECT_EQ(m.registry.at("Version"), ProductVersion);
    EXPECT_EQ(m.files.at(std::string(kInstallDir) + "smtp.exe"), ProductVersion);
    EXPECT_EQ(m.files.count(std::string(kInstallDir) + "im.exe"), scenario.LeaveOutIM ? 0u : 1u);
    EXPECT_TRUE(m.journal.empty());
    EXPECT_EQ(m.startTypes[kPop3Server], upgrade ? kDisabledStart : kAutomaticStart);
    EXPECT_EQ(m.commandsReceived.size(), upgrade ? 5u : 0u);  // the rows of 7.4.7 to 7.7.2
    EXPECT_EQ(m.demonstrationMessages, upgrade ? 0 : 1);
    EXPECT_EQ(m.store.count("domain demo.example"), upgrade ? 0u : 1u);
    if (upgrade) {
      EXPECT_EQ(m.files.at(std::string(kInstallDir) + "config\\zarel.cfg"), "customer");
      EXPECT_EQ(m.files.at(std::string(kInstallDir) + "mail\\customer.example\\1.msg"), "customer");
      EXPECT_EQ(m.store.at("domain customer.example"), "the customer's accounts");
    }
    for (const auto& [path, content] : m.files) EXPECT_NE(path.rfind(TFakeInstallMachine::kTemp, 0), 0u) << path;
  }
}

// A kill at any call: the next run's recovery and the run itself leave the machine as a clean
// run does (start types with POP3 disabled, each upgrade command once, the customer's files).
TEST(InstallSequenceTest, KilledAtAnyCallTheNextRunFinishesTheJob) {
  for (const TScenario& scenario : kScenarios) {
    const TCleanRun clean = CleanRun(scenario);
    int points = 0, equal = 0;
    for (std::size_t stop = 1; stop < clean.Calls.size(); ++stop) {
      SCOPED_TRACE(std::string(scenario.Name) + ", killed at call " + std::to_string(stop) + " " + clean.Calls[stop]);
      TFakeInstallMachine machine = InitialMachine(scenario);
      machine.stopAt = static_cast<int>(stop);
      ASSERT_EQ(RunOnce(machine, scenario).End, TEnd::Killed);
      machine.stopAt = -1;
      ASSERT_EQ(RunOnce(machine, scenario).End, TEnd::Completed);
      // A first installation's first run (domain, administrator) had not come yet.
      EXPECT_EQ(FirstRunBelongsToThisRun(SetupState()), std::string(scenario.InstalledVersion).empty());
      const TFakeMachineState expected = ExpectedAfterStop(clean, stop);
      ++points;
      equal += machine.m == expected;
      EXPECT_TRUE(machine.m == expected) << "after the second run:\n" << Describe(machine.m) << "a clean run:\n" << Describe(expected);
    }
    std::cout << scenario.Name << ": killed at " << points << " calls, " << equal << " ended equal to a clean run\n";
  }
}

// A failure at any call: before the first change the machine is as it was; later the servers
// that ran run again with their start types, and the next run finishes the job.
TEST(InstallSequenceTest, FailedAtAnyCallTheNextRunFinishesTheJob) {
  for (const TScenario& scenario : kScenarios) {
    const TCleanRun clean = CleanRun(scenario);
    const TFakeInstallMachine initial = InitialMachine(scenario);
    int points = 0, equal = 0, untouched = 0;
    for (std::size_t fail = 1; fail < clean.Calls.size(); ++fail) {
      SCOPED_TRACE(std::string(scenario.Name) + ", failed at call " + std::to_string(fail) + " " + clean.Calls[fail]);
      TFakeInstallMachine machine = InitialMachine(scenario);
      machine.failAt = static_cast<int>(fail);
      const TRunEnd failed = RunOnce(machine, scenario);
      ASSERT_EQ(failed.End, TEnd::Failed);
      if (fail <= clean.FirstChange) {
        ++untouched;
        EXPECT_TRUE(machine.m == initial.m) << Describe(machine.m);
      }
      if (fail == clean.FirstChange) {
        EXPECT_NE(failed.Text.find(cJournalNotWritten), std::string::npos) << failed.Text;
      }
      for (const int kind : kInstalledServers) {
        if (initial.m.startTypes[kind] == kNoRecordedStartType || ServerLeftOut(SetupState(), kind)) continue;
        EXPECT_EQ(machine.m.startTypes[kind], initial.m.startTypes[kind]) << "start type of " << kind;
        if (initial.m.running.count(kind) != 0) {
          EXPECT_EQ(machine.m.running.count(kind), 1u) << "server " << kind;
        }
      }
      machine.failAt = -1;
      ASSERT_EQ(RunOnce(machine, scenario).End, TEnd::Completed);
      ++points;
      equal += machine.m == clean.Machine;
      EXPECT_TRUE(machine.m == clean.Machine) << "after the second run:\n" << Describe(machine.m) << "a clean run:\n" << Describe(clean.Machine);
    }
    std::cout << scenario.Name << ": failed at " << points << " calls (" << untouched << " before the first change), "
              << equal << " ended equal to a clean run\n";
  }
}

TRunJournal SampleJournal() {
  TRunJournal journal;
  journal.InstalledBefore = "7.4.6";
  journal.Installing = "8.2.0";
  journal.InstallDir = "C:\\Program Files\\Zarel\\";
  journal.StartTypes = {2, 4, 2, 3, -1};
  journal.StoppedServers = {0, 2, 4};
  journal.ExtractionFolder = "C:\\Temp\\zarelinstall\\";
  journal.VersionWritten = true;
  journal.UpgradeCommandsSent = 3;
  return journal;
}

TEST(RunJournalTest, TextKeepsEveryFieldAndRefusesDamage) {
  const std::string text = JournalText(SampleJournal());
  const std::optional<TRunJournal> back = ParseJournal(text);
  ASSERT_TRUE(back);
  EXPECT_EQ(JournalText(*back), text);
  EXPECT_EQ(back->StartTypes[kPop3Server], kDisabledStart);
  EXPECT_EQ(back->StoppedServers, (std::vector<int>{0, 2, 4}));

  const auto replaced = [&text](const std::string& from, const std::string& to) {
    std::string damaged = text;
    damaged.replace(damaged.find(from), from.size(), to);
    return damaged;
  };
  const std::string damaged[] = {
      "",
      "zarel-run-journal 2\n",
      replaced("seeded=0", "seeded=yes"),
      replaced("start-types=2,4,2,3,-1", "start-types=2,4,2"),
      replaced("start-types=2,4,2,3,-1", "start-types=2,4,2,3,9"),
      replaced("stopped-servers=0,2,4", "stopped-servers=0,7"),
      replaced("upgrade-commands-sent=3", "upgrade-commands-sent=-1"),
      replaced("upgrade-commands-sent=3", "upgrade-commands-sent=3x"),
      replaced("seeded=0", "seeded"),
  };
  for (const std::string& bad : damaged) EXPECT_FALSE(ParseJournal(bad)) << bad;
  // A later format's field is ignored; a line break in a path cannot add a field.
  EXPECT_TRUE(ParseJournal(text + "later-field=1\n"));
  TRunJournal odd = SampleJournal();
  odd.InstallDir = "C:\\Zarel\\\nseeded=1";
  EXPECT_FALSE(ParseJournal(JournalText(odd))->Seeded);
}

TEST(RunRecoveryTest, PlanFollowsTheJournalAndLeavesLaterChoicesAlone) {
  const std::array<std::int32_t, kServerKindCount> pop3Automatic = {2, 2, 2, 3, -1};
  const std::array<std::int32_t, kServerKindCount> pop3Manual = {2, 3, 2, 3, -1};
  struct Row {
    const char* Case;
    std::string Installed;  // Version in the suite's key now
    bool StartTypesRestored;
    std::array<std::int32_t, kServerKindCount> Now;
    bool FirstUnseeded;
    bool Stale;
    std::string Version;
    bool Pop3PutBack;
  };
  const Row rows[] = {
      {"stopped before the version was written", "7.4.6", false, pop3Automatic, false, false, "7.4.6", true},
      {"stopped after the version was written", "8.2.0", false, pop3Automatic, false, false, "7.4.6", true},
      {"the run put the start types back itself", "8.2.0", true, pop3Automatic, false, false, "7.4.6", false},
      {"the administrator chose manual since", "8.2.0", false, pop3Manual, false, false, "7.4.6", false},
      {"a newer version was installed since", "9.0.0", false, pop3Automatic, false, true, "9.0.0", false},
      {"an older setup ran since", "7.5.0", false, pop3Automatic, false, true, "7.5.0", false},
      {"first installation not seeded", "", false, pop3Automatic, true, false, "", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Case);
    TRunJournal journal = SampleJournal();
    journal.StartTypesRestored = row.StartTypesRestored;
    if (row.FirstUnseeded) {
      journal.InstalledBefore.clear();
      journal.FirstInstallation = true;
    }
    const TRecoveryPlan plan = PlanRecovery(journal, row.Installed, row.Now);
    EXPECT_EQ(plan.Stale, row.Stale);
    EXPECT_EQ(plan.InstalledVersion, row.Version);
    EXPECT_EQ(plan.UpgradeCommandsSent, row.Stale ? 0 : 3);
    using TPutBack = std::vector<std::pair<int, std::int32_t>>;
    const TPutBack expected = row.Pop3PutBack ? TPutBack{{kPop3Server, kDisabledStart}} : TPutBack{};
    EXPECT_EQ(plan.StartTypes, expected);
    EXPECT_EQ(plan.UnfinishedInstallation, row.FirstUnseeded ? journal.InstallDir : "");
    EXPECT_EQ(plan.FirstRunOwed, row.FirstUnseeded);
    EXPECT_EQ(plan.ExtractionFolder, journal.ExtractionFolder);  // always removed
  }
  // A first installation stopped after its store was seeded and its message sent: the next run
  // upgrades what it placed, and its first run is still to come.
  TRunJournal seeded = SampleJournal();
  seeded.InstalledBefore.clear();
  seeded.FirstInstallation = seeded.Seeded = seeded.VersionWritten = seeded.DemonstrationMessageSent = true;
  const TRecoveryPlan plan = PlanRecovery(seeded, "8.2.0", pop3Automatic);
  EXPECT_TRUE(plan.FirstRunOwed);
  EXPECT_TRUE(plan.UnfinishedInstallation.empty());
  EXPECT_FALSE(plan.DemonstrationMessageOwed);
}

}  // namespace
