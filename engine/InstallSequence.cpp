#include "engine/InstallSequence.h"

#include <algorithm>
#include <chrono>

#include "base/FileSystemUnit.h"
#include "base/TextFormat.h"
#include "base/VersionUnit.h"
#include "base/StringUnit.h"
#include "engine/ComponentTable.h"
#include "engine/FailureUnit.h"
#include "engine/InstallLog.h"
#include "engine/InstallUI.h"
#include "engine/ProgramEnd.h"
#include "engine/ExitCodes.h"
#include "engine/RunJournal.h"
#include "engine/RunRecovery.h"
#include "engine/SetupQuestions.h"
#include "texts/TextTable.h"

namespace {

const std::vector<TUpgradeCommand>& UpgradeCommandTable() {
  static const std::vector<TUpgradeCommand> table = {
      {"7.1.3", kGroupWareServer, 0xF01, 0}, {"7.1.3", kGroupWareServer, 0xF03, 0},
      {"7.1.3", kSmtpServer, 2, 0},          {"7.4.6", kSmtpServer, 3, 1},
      {"7.4.6", kSmtpServer, 4, 2},          {"7.4.7", kSmtpServer, 4, 3},
      {"7.4.7", kSmtpServer, 4, 4},          {"7.6.1", kGroupWareServer, 0xF05, 5},
      {"7.6.3", kGroupWareServer, 0xF05, 6}, {"7.7.2", kGroupWareServer, 0xF05, 8},
  };
  return table;
}

constexpr int kExtractionFolderTries = 100;

// One name a line, without a line break after the last: the box puts its own between lists.
std::string ServerNames(TInstallMachine& machine, const std::vector<int>& kinds) {
  std::string list;
  for (const int kind : kinds) list += (list.empty() ? "" : "\r\n") + machine.ServerName(kind);
  return list;
}

bool UpgradeOnNT(const TInstallRun& run) { return run.State.IsUpgrade && run.Machine.ServicesPlatform(); }
bool FirstInstallation(const TInstallRun& run) { return !run.State.IsUpgrade; }

std::string InstallationFolder(const TSetupState& state) { return NormalizePath(state.ChosenFolder, true, false); }

// The journal as the run knows it now; the run stops when it cannot be written, since a later
// run could not finish this one's work without it.
void RecordInJournal(TInstallRun& run) {
  if (run.Machine.WriteJournal(JournalText(run.Journal))) return;
  InstallLog("The run journal could not be written");
  Fail("Writing the run journal", cJournalNotWritten);
}

// --- the steps, in the order of the sequence ---------------------------------------------

// Installing an older version over a newer one would replace newer programs with older ones
// and send no upgrade command: the person decides first, and No changes nothing.
void AskBeforeDowngrade(TInstallRun& run) {
  const std::string installed = run.State.InstalledVersion;
  if (installed.empty() || VersionAtLeast(ProductVersion, installed)) return;
  if (AskYes(TQuestion::Downgrade, {installed, cName, ProductVersion})) return;
  InstallLog("Version " + installed + " is installed: nothing was changed");
  EndProgram(kExitSuccess);
}

// Nothing has been changed yet: a damaged data file or a full drive ends the run here.
void CheckDataFilesAndRoom(TInstallRun& run) { run.Machine.CheckDataFilesAndRoom(run.State); }

// Before the first change: what a later run needs to finish this one. A first installation a
// stopped run left unseeded stays a first installation although its config\ exists.
void OpenRunJournal(TInstallRun& run) {
  const TSetupState& state = run.State;
  TRunJournal& journal = run.Journal;
  journal.InstalledBefore = state.InstalledVersion;
  journal.Installing = ProductVersion;
  journal.InstallDir = InstallationFolder(state);
  const bool unfinished = !state.UnfinishedInstallation.empty() &&
                          SameText(NormalizePath(state.UnfinishedInstallation, true, false), journal.InstallDir);
  const bool upgrade = run.Machine.FolderExists(journal.InstallDir + "config\\") && !unfinished;
  // An upgrade that still owes a first installation's message or first run was seeded by the
  // stopped run; a message it sent already is not sent again should this run stop too.
  journal.FirstInstallation = !upgrade || state.DemonstrationMessageOwed || state.FirstRunOwed;
  journal.DemonstrationMessageSent = upgrade && state.FirstRunOwed && !state.DemonstrationMessageOwed;
  journal.Seeded = upgrade;
  journal.UpgradeCommandsSent = state.UpgradeCommandsSent;
  journal.StoppedServers = state.ServersStoppedEarlier;
  RecordInJournal(run);
  run.JournalOpen = true;
}

void MigrateRegistry(TInstallRun& run) { run.Machine.MigrateRegistry(); }

void StoreComponentChoices(TInstallRun& run) { run.Machine.StoreComponentChoices(run.State); }

void ChooseInstallationFolder(TInstallRun& run) {
  TSetupState& state = run.State;
  state.InstallDir = InstallationFolder(state);
  // The page and the unattended run checked it; it is checked again right before it is used.
  if (const std::string problem = run.Machine.DestinationProblem(state.InstallDir); !problem.empty())
    Fail("Checking the installation folder " + state.InstallDir,
         FormatText(cFolderRefused, {state.InstallDir, problem}));
  state.ConfigDir = state.InstallDir + "config\\";
  state.IsUpgrade = run.Journal.Seeded;
  run.Machine.UseInstallationFolder(state);
  // Before placement brings shipped copies of the same names. What a stopped first
  // installation copied is the setup's own, not the customer's.
  if (state.IsUpgrade) run.CustomerFiles = run.Machine.CustomerFiles(state.InstallDir);
  InstallLog("Installation folder " + state.InstallDir + (state.IsUpgrade ? ": upgrade" : ": first installation"));
}

// The start types are in the journal before a disabled service is switched to automatic.
void RememberStartTypes(TInstallRun& run) {
  for (std::int32_t& startType : run.State.PreviousStartType) startType = kNoRecordedStartType;
  if (!UpgradeOnNT(run)) return;
  for (const int kind : kInstalledServers) {
    run.State.PreviousStartType[kind] = run.Machine.StartType(kind);
    InstallLog("Start type of " + run.Machine.ServiceName(kind) + ": " + std::to_string(run.State.PreviousStartType[kind]));
  }
  run.Journal.StartTypes = run.State.PreviousStartType;
  RecordInJournal(run);
  run.StartTypesChanged = true;
  // A disabled service is automatic for the time of the installation.
  for (const int kind : kInstalledServers)
    if (run.State.PreviousStartType[kind] == kDisabledStart) run.Machine.SetStartType(kind, kAutomaticStart);
}

void StopRunningServers(TInstallRun& run) {
  run.RanBefore = run.State.ServersStoppedEarlier;
  for (const int kind : kInstalledServers)
    if (run.Machine.ServerRunning(kind) && std::find(run.RanBefore.begin(), run.RanBefore.end(), kind) == run.RanBefore.end())
      run.RanBefore.push_back(kind);
  run.Journal.StoppedServers = run.RanBefore;
  RecordInJournal(run);
  run.ServersStopped = true;
  run.Machine.StopServers(run.State);
}

// The folder's name is in the journal before it is made, so a later run removes it even when
// this one stops right after making it.
void ExtractSetupData(TInstallRun& run) {
  CurrentUI().SetStatus(cExtractingFiles);
  std::uint32_t lastError = 0;
  for (int attempt = 0; attempt < kExtractionFolderTries && run.ExtractionFolder.empty(); ++attempt) {
    const std::string folder = run.Machine.NewExtractionFolderName();
    if (folder.empty()) break;
    run.Journal.ExtractionFolder = folder;
    RecordInJournal(run);
    lastError = run.Machine.CreateExtractionFolder(folder);
    if (lastError == 0) run.ExtractionFolder = folder;
  }
  if (run.ExtractionFolder.empty()) Fail("Creating the extraction folder", cErrorDataFile, lastError);
  run.Machine.ExtractSetupData(run.ExtractionFolder);
}

void PlaceEveryFile(TInstallRun& run) { run.Machine.PlaceFiles(run.State); }

void UnpackShippedConfiguration(TInstallRun& run) { run.Machine.UnpackShippedConfiguration(run.State); }

void SeedNewConfiguration(TInstallRun& run) {
  run.Machine.SeedConfiguration(run.State, run.ExtractionFolder);
  run.FirstInstallation = true;
  run.Journal.Seeded = true;
  RecordInJournal(run);
}

void StoreConsoleLayout(TInstallRun& run) { run.Machine.StoreConsoleLayout(run.State); }

bool OldWebServerConfiguration(const TInstallRun& run) {
  const TSetupState& state = run.State;
  return state.IsUpgrade && !state.InstalledVersion.empty() && !VersionAtLeast(state.InstalledVersion, "7.7.3");
}

void PatchWebServer(TInstallRun& run) { run.Machine.PatchWebServer(); }

void ShortcutsAndUninstallEntry(TInstallRun& run) {
  run.Machine.ShortcutsAndUninstallEntry(run.State);
  run.Journal.VersionWritten = true;
  RecordInJournal(run);
}

void RemoveLeftOutComponents(TInstallRun& run) { run.Machine.RemoveLeftOutComponents(run.State, run.CustomerFiles); }

void CreateAndStartServices(TInstallRun& run) { run.Machine.CreateAndStartServices(run.State); }

void DeleteExtractionFolder(TInstallRun& run) {
  if (run.ExtractionFolder.empty()) return;
  run.Machine.DeleteFolder(run.ExtractionFolder);
  run.ExtractionFolder.clear();
  run.Journal.ExtractionFolder.clear();
  RecordInJournal(run);
}

void LetTheServersSettle(TInstallRun& run) { run.Machine.LetServersSettle(); }

bool OwesDemonstrationMessage(const TInstallRun& run) {
  return run.FirstInstallation || run.State.DemonstrationMessageOwed;
}

void SendTheDemonstrationMessage(TInstallRun& run) {
  const bool accepted = run.Machine.SendDemonstrationMessage();
  InstallLog(std::string("Demonstration message ") + (accepted ? "accepted" : "not accepted") + " by the SMTP service");
  run.Journal.DemonstrationMessageSent = true;
  RecordInJournal(run);
  StopIfCancelled("Sending the demonstration message");
}

void ShowInstallationComplete(TInstallRun&) { CurrentUI().SetStatus(cFinished); }

void CheckTheServersRun(TInstallRun& run) { run.State.ServersNotRunning = run.Machine.CheckServersRun(run.State); }

void RestoreStartTypes(TInstallRun& run) {
  for (const int kind : kInstalledServers) {
    if (ServerLeftOut(run.State, kind)) continue;
    const std::int32_t startType = run.State.PreviousStartType[kind];
    if (startType == kNoRecordedStartType) continue;
    run.Machine.SetStartType(kind, startType);
    InstallLog("Start type of " + run.Machine.ServiceName(kind) + " restored: " + std::to_string(startType));
  }
}

void RestoreRememberedStartTypes(TInstallRun& run) {
  RestoreStartTypes(run);
  run.Journal.StartTypesRestored = true;
  RecordInJournal(run);
}

// Each command is in the journal once sent: a run stopped between two commands leaves the
// rest to the next run, which sends only those (one sent right before a stop may come twice).
void SendUpgradeCommands(TInstallRun& run) {
  const std::vector<TUpgradeCommand> commands = PlanUpgradeCommands(run.State.InstalledVersion);
  for (std::size_t index = static_cast<std::size_t>(run.Journal.UpgradeCommandsSent); index < commands.size(); ++index) {
    const TUpgradeCommand& command = commands[index];
    const bool sent = run.Machine.SendUpgradeCommand(command);
    InstallLog("Upgrade command " + std::to_string(command.First) + "," + std::to_string(command.Second) + " to " +
               run.Machine.ServiceName(command.Kind) + (sent ? " sent" : " not delivered"));
    run.Journal.UpgradeCommandsSent = static_cast<int>(index + 1);
    RecordInJournal(run);
  }
}

void WarnOldWebMail(TInstallRun&) { Notify(TQuestion::OlderWebMail); }

void CopyLogIntoInstallation(TInstallRun& run) { run.Machine.KeepLogIn(run.State.InstallDir); }

// The run is complete: nothing is left for a later run to finish.
void RemoveRunJournal(TInstallRun& run) {
  run.Machine.RemoveJournal();
  run.JournalOpen = false;
}

// --- the loop ----------------------------------------------------------------------------

std::string Milliseconds(std::chrono::steady_clock::time_point since) {
  return std::to_string(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - since).count());
}

void RunStep(const TInstallStep& step, TInstallRun& run) {
  if (!step.Run) {
    CurrentUI().StepProgress();
    return;
  }
  StopIfCancelled(step.Name);
  if (step.Applies && !step.Applies(run)) {
    InstallLog(std::string("Step skipped: ") + step.Name);
    return;
  }
  const auto start = std::chrono::steady_clock::now();
  InstallLog(std::string("Step: ") + step.Name);
  step.Run(run);
  InstallLog(std::string("Step done: ") + step.Name + " (" + Milliseconds(start) + " ms)");
}

// After a failure once the servers were stopped: the start types as they were, and the
// servers that ran before running again, so the mail service is not left down. Adds to the
// failure's box which servers run again and which could not be started.
void PutServersBack(TInstallRun& run, TSetupFailure& failure) {
  if (!run.ServersStopped) return;
  InstallLog("Putting the servers back after the failure");
  std::vector<int> running, notRunning;
  for (const int kind : run.RanBefore) (run.Machine.StartServerAgain(kind) ? running : notRunning).push_back(kind);
  std::string text = cInstallIncomplete;
  if (!running.empty()) text += "\r\n\r\n" + FormatText(cServersRunAgain, {ServerNames(run.Machine, running)});
  if (!notRunning.empty()) text += "\r\n\r\n" + FormatText(cServersNotStarted, {ServerNames(run.Machine, notRunning)});
  InstallLog(text);
  failure.Text = failure.Text.empty() ? text : failure.Text + "\r\n\r\n" + text;
  failure.ServersLeftDown = !notRunning.empty();
  run.Journal.StoppedServers = notRunning;
}

// The journal stays for the next run, which finishes the job; it says what was put back, so
// that what the administrator changes after this failure is not undone by the next start.
void UpdateJournalAfterFailure(TInstallRun& run) {
  if (!run.JournalOpen) return;
  run.Journal.ExtractionFolder = run.ExtractionFolder;
  if (!run.Machine.WriteJournal(JournalText(run.Journal))) InstallLog("The run journal could not be updated after the failure");
}

void CleanUpAfterFailure(TInstallRun& run, TSetupFailure& failure) {
  // The status line names what failed while the servers are put back and the box shows.
  if (failure.Kind != TFailureKind::Cancelled) CurrentUI().SetStatus(FormatText(cStepFailed, {failure.Doing}));
  if (!run.ExtractionFolder.empty()) {
    run.Machine.DeleteFolder(run.ExtractionFolder);
    run.ExtractionFolder.clear();
  }
  if (run.StartTypesChanged) {
    RestoreStartTypes(run);
    run.Journal.StartTypesRestored = true;
  }
  PutServersBack(run, failure);
  UpdateJournalAfterFailure(run);
}

}  // namespace

std::vector<TInstallStep> InstallSteps() {
  const auto progress = [] { return TInstallStep{"progress", nullptr, nullptr}; };
  const auto whenUpgradeOnNT = [](const TInstallRun& run) { return UpgradeOnNT(run); };
  return {
      {"Ask before installing over a newer version", nullptr, AskBeforeDowngrade},
      {"Check the data files and the room for them", nullptr, CheckDataFilesAndRoom},
      {"Open the run journal", nullptr, OpenRunJournal},
      {"Migrate and delete the older registry keys", nullptr, MigrateRegistry},
      {"Store the component choices", nullptr, StoreComponentChoices},
      {"Installation folder; an existing config\\ makes it an upgrade", nullptr, ChooseInstallationFolder},
      {"Remember the services' start types (upgrade on NT)", nullptr, RememberStartTypes},
      progress(),
      {"Stop the running servers", nullptr, StopRunningServers},
      progress(),
      {"Extract Setup.Dat", nullptr, ExtractSetupData},
      progress(),
      {"Place the files", nullptr, PlaceEveryFile},
      progress(),
      {"Unpack zarel.mcb (first installation)", FirstInstallation, UnpackShippedConfiguration},
      progress(),
      {"Seed the configuration (first installation)", FirstInstallation, SeedNewConfiguration},
      progress(),
      {"Store the console layout", nullptr, StoreConsoleLayout},
      progress(),
      {"Patch webserver.cfg (upgrade from before 7.7.3)", OldWebServerConfiguration, PatchWebServer},
      progress(),
      progress(),
      {"Shortcuts and uninstall entry", nullptr, ShortcutsAndUninstallEntry},
      progress(),
      {"Remove the components left out", nullptr, RemoveLeftOutComponents},
      {"Create and start the services", nullptr, CreateAndStartServices},
      progress(),
      {"Delete the extraction folder", nullptr, DeleteExtractionFolder},
      {"Let the servers settle", nullptr, LetTheServersSettle},
      {"Send the demonstration message (first installation)", OwesDemonstrationMessage, SendTheDemonstrationMessage},
      progress(),
      {"Installation complete", nullptr, ShowInstallationComplete},
      {"Check that the servers run", nullptr, CheckTheServersRun},
      {"Restore the start types (upgrade on NT)", whenUpgradeOnNT, RestoreRememberedStartTypes},
      {"Send the version-upgrade commands",
       [](const TInstallRun& run) { return !run.State.InstalledVersion.empty(); }, SendUpgradeCommands},
      {"Warn about the old web mail product",
       [](const TInstallRun& run) { return run.State.WebMailOutdated; }, WarnOldWebMail},
      {"Keep a copy of the log in the installation", nullptr, CopyLogIntoInstallation},
      {"Remove the run journal", nullptr, RemoveRunJournal},
  };
}

void RunInstallSequence(TInstallMachine& machine) {
  TInstallRun run{SetupState(), machine};
  InstallLog("Install sequence starts");
  try {
    for (const TInstallStep& step : InstallSteps()) RunStep(step, run);
  } catch (const TProgramEnded&) {
    throw;
  } catch (TSetupFailure& failure) {
    CleanUpAfterFailure(run, failure);
    throw;
  } catch (const std::exception& error) {
    TSetupFailure failure = UnexpectedFailure("The install sequence", &error);
    CleanUpAfterFailure(run, failure);
    throw failure;
  } catch (...) {
    TSetupFailure failure = UnexpectedFailure("The install sequence", nullptr);
    CleanUpAfterFailure(run, failure);
    throw failure;
  }
  InstallLog("Install sequence complete");
}

std::vector<TUpgradeCommand> PlanUpgradeCommands(const std::string& installedVersion) {
  std::vector<TUpgradeCommand> commands;
  if (installedVersion.empty()) return commands;
  for (const TUpgradeCommand& command : UpgradeCommandTable())
    if (!VersionAtLeast(installedVersion, command.Before)) commands.push_back(command);
  return commands;
}
