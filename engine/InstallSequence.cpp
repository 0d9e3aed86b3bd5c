#include <windows.h>
#include <ntsecapi.h>

#include "engine/InstallSequence.h"

#include <chrono>
#include <cstring>

#include "archive/ArchiveUnit.h"
#include "base/DeadlineClock.h"
#include "base/FileSystemUnit.h"
#include "base/TextFormat.h"
#include "base/VersionUnit.h"
#include "engine/ComponentFlags.h"
#include "engine/ComponentTable.h"
#include "engine/DemoMessageUnit.h"
#include "engine/DestinationCheck.h"
#include "engine/EngineSupport.h"
#include "engine/FailureUnit.h"
#include "engine/FilePlacementUnit.h"
#include "engine/InstallLog.h"
#include "engine/InstallUI.h"
#include "engine/PreInstallCheck.h"
#include "engine/ProgramEnd.h"
#include "engine/ExitCodes.h"
#include "engine/ServiceSteps.h"
#include "engine/SetupQuestions.h"
#include "engine/ShortcutUnit.h"
#include "engine/UninstallUnit.h"
#include "engine/WebServerPatch.h"
#include "serverconfig/AccountStore.h"
#include "serverconfig/DomainTable.h"
#include "serverconfig/ServerStore.h"
#include "system/AdvancedRegistry.h"
#include "system/ConvertRegistryUnit.h"
#include "system/FolderSecurity.h"
#include "system/ServerTable.h"
#include "system/ServiceControl.h"
#include "system/ServiceInstall.h"
#include "system/ServicesFuncUnit.h"
#include "texts/TextTable.h"

namespace {

constexpr char kSuiteArea[] = "\\Software\\Quenfor";
constexpr char kSuiteSection[] = "Zarel Mail Server";
constexpr char kExtractionName[] = "zarelinstall";
constexpr int kExtractionTries = 100;
// The demonstration accounts stay usable this long after a first installation.
constexpr int kDemonstrationDays = 30;
constexpr std::uint32_t kSettleBeforeMessageMs = 2000;
constexpr std::uint32_t kPumpSliceMs = 50;
constexpr std::uint32_t kRestartAfterFailureMs = 10000;

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

TAdvancedRegistry SuiteRegistry() { return TAdvancedRegistry(TRegistryKey::hkLOCAL_MACHINE, kSuiteArea, kSuiteSection); }

// One name a line, without a line break after the last: the box puts its own between lists.
std::string ServerNames(const std::vector<int>& kinds) {
  std::string list;
  for (const int kind : kinds) list += (list.empty() ? "" : "\r\n") + std::string(FindServerInfo(kind)->displayName);
  return list;
}

bool UpgradeOnNT(const TInstallRun& run) { return run.State.IsUpgrade && IsNTPlatform(); }
bool FirstInstallation(const TInstallRun& run) { return !run.State.IsUpgrade; }

// Lets the window's messages through for the given time (Cancel stays usable).
void PumpFor(std::uint32_t ms) {
  const TDeadline deadline(ms);
  do {
    CurrentUI().ProcessMessages();
    PauseMs(kPumpSliceMs);
  } while (!deadline.Passed());
}

// Sixteen hex digits from the system's random source: names nobody can prepare in advance.
std::string UnguessableSuffix() {
  unsigned char bytes[8] = {};
  if (!RtlGenRandom(bytes, sizeof bytes)) {
    // Without the random source: the time and the process, still unknown beforehand.
    const ULONGLONG mix = (static_cast<ULONGLONG>(GetTickCount()) << 32) ^ GetCurrentProcessId() ^
                          reinterpret_cast<ULONG_PTR>(&bytes);
    std::memcpy(bytes, &mix, sizeof bytes);
  }
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (const unsigned char byte : bytes) text += {kHex[byte >> 4], kHex[byte & 15]};
  return text;
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
void CheckDataFilesAndRoom(TInstallRun& run) {
  CheckBeforeFirstChange(run.State, NormalizePath(run.State.ChosenFolder, true, false));
}

void MigrateRegistry(TInstallRun&) { ConvertRegistry(true); }

void StoreComponentChoices(TInstallRun& run) {
  TAdvancedRegistry suite = SuiteRegistry();
  const TRegistryResult result = WriteNoInstallFlags(suite, run.State);
  if (!result) InstallLog("Component choices not stored: " + result.message);
}

void ChooseInstallationFolder(TInstallRun& run) {
  TSetupState& state = run.State;
  state.InstallDir = NormalizePath(state.ChosenFolder, true, false);
  // The page and the unattended run checked it; it is checked again right before it is used.
  if (const std::string problem = DestinationProblem(state.InstallDir, MachineDestinationFacts()); !problem.empty())
    Fail("Checking the installation folder " + state.InstallDir,
         FormatText(cFolderRefused, {state.InstallDir, problem}));
  state.ConfigDir = state.InstallDir + "config\\";
  state.IsUpgrade = DirectoryExists(state.ConfigDir);
  SetServerFolder(state.InstallDir);
  PlacementFolders().ExtractionFolder.clear();
  // Before placement brings shipped copies of the same names.
  run.CustomerFiles = PresentKeptFiles(state.InstallDir);
  InstallLog("Installation folder " + state.InstallDir + (state.IsUpgrade ? ": upgrade" : ": first installation"));
}

void RememberStartTypes(TInstallRun& run) {
  for (std::int32_t& startType : run.State.PreviousStartType) startType = kNoStartType;
  if (!UpgradeOnNT(run)) return;
  for (const int kind : kInstalledServers) {
    const std::string service = GetServerServiceName(kind);
    const std::int32_t startType = GetSetServiceStartType(service, false, kNoStartType);
    run.State.PreviousStartType[kind] = startType;
    InstallLog("Start type of " + service + ": " + std::to_string(startType));
    // A disabled service is automatic for the time of the installation.
    if (startType == SERVICE_DISABLED) GetSetServiceStartType(service, true, SERVICE_AUTO_START);
  }
}

void StopRunningServers(TInstallRun& run) {
  for (const int kind : kInstalledServers)
    if (IsServerRunning(kind)) run.RanBefore.push_back(kind);
  run.ServersStopped = true;
  CheckRunningServices(run.State);
  CheckRunningServices(run.State);
}

void ExtractSetupData(TInstallRun& run) {
  CurrentUI().SetStatus(cExtractingFiles);
  run.ExtractionFolder = CreateExtractionFolder(GetSpecialFolder(SpecialFolder::Temporary, true), SetupFolder());
  if (run.ExtractionFolder.empty()) Fail("Creating the extraction folder", cErrorDataFile, GetLastError());
  PlacementFolders().ExtractionFolder = run.ExtractionFolder;
  ExtractOrFail(SetupFolder() + "Setup.Dat", run.ExtractionFolder, true);
}

void PlaceEveryFile(TInstallRun&) { PlaceFiles(); }

void UnpackShippedConfiguration(TInstallRun& run) {
  const std::string archive = SetupFolder() + "zarel.mcb";
  // Read through before the first change; a file that cannot be written now ends the run.
  if (FileExists(archive)) ExtractOrFail(archive, run.State.ConfigDir, true);
}

// The store of the installation folder; false (logged) when an existing file could not be
// read, in which case nothing may be saved over it.
bool LoadInstalledSettings(const TSetupState& state) {
  InitServerFoldersAt(state.InstallDir);
  SetConfigFolder(state.ConfigDir);
  if (LoadServerSettings(false, false)) return true;
  InstallLog("The configuration in " + state.ConfigDir + " could not be read: it is left as it is");
  return false;
}

// A configuration that could not be read is never saved over; the person learns which.
void SaveInstalledSettings(const TSetupState& state) {
  if (SaveServerSettings()) return;
  InstallLog("The configuration in " + state.ConfigDir + " was not saved");
}

void WarnConfigurationLeftAlone(const TSetupState& state) {
  const std::string file = UnreadableStoreFile();
  Notify(TQuestion::ConfigurationNotSaved, {file.empty() ? state.ConfigDir + kSettingsFileName : file});
}

// Days from 1 March of year 0 to the date (proleptic Gregorian calendar).
long DaysFromCivil(int year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<long>(dayOfEra);
}

// Today's local date plus days, as the store keeps dates: days since 30 December 1899.
double StoreDateDaysFromNow(int days) {
  SYSTEMTIME today{};
  GetLocalTime(&today);
  return static_cast<double>(DaysFromCivil(today.wYear, today.wMonth, today.wDay) - DaysFromCivil(1899, 12, 30) + days);
}

void ExpireDemonstrationAccounts() {
  TAccountList list;
  if (!OpenAccountList(kDemonstrationDomain, list, "", 0, 0)) {
    InstallLog(std::string("No accounts of ") + kDemonstrationDomain + " to give an expiry");
    return;
  }
  const double expiry = StoreDateDaysFromNow(kDemonstrationDays);
  while (!NextAccount(list)) {
    TAccountRecord account = list.Account;
    if (account.Get(account::kType) != account::kUserAccount) continue;
    account.Set(account::kExpires, 1);
    account.Set(account::kExpiryDate, expiry);
    const std::string aliases = account.Get(account::kAliases);
    const std::string firstAlias = aliases.substr(0, aliases.find(';'));
    const bool saved = SaveAccount(0, account, FindAccountIndex(0, firstAlias), false);
    InstallLog("Demonstration account " + firstAlias + (saved ? " expires in 30 days" : " not saved"));
  }
  CloseAccountList(list);
}

void SeedNewConfiguration(TInstallRun& run) {
  TSetupState& state = run.State;
  const std::string demo = run.ExtractionFolder + "demo.dat";
  if (FileExists(demo)) ExtractOrFail(demo, state.ConfigDir, true);
  if (LoadInstalledSettings(state)) {
    SetServerFolders();
    const std::string dns = SystemDnsServers();
    if (!dns.empty()) ServerSettings().Set(settings::kDnsServers, dns.substr(0, settings::kDnsServers.Max));
    SaveInstalledSettings(state);
    ExpireDemonstrationAccounts();
  }
  run.FirstInstallation = true;
}

void StoreConsoleLayout(TInstallRun& run) {
  TSetupState& state = run.State;
  if (!LoadInstalledSettings(state)) {
    WarnConfigurationLeftAlone(state);
    return;
  }
  ServerSettings().Set(settings::kConsoleLayout, state.AdvancedConsole ? "advanced.xml" : "basic.xml");
  if (!state.IsUpgrade) SetServerFolders();
  ServerSettings().Set(settings::kFolder3385, "");
  SaveInstalledSettings(state);
}

bool OldWebServerConfiguration(const TInstallRun& run) {
  const TSetupState& state = run.State;
  return state.IsUpgrade && !state.InstalledVersion.empty() && !VersionAtLeast(state.InstalledVersion, "7.7.3");
}

void PatchWebServer(TInstallRun&) {
  static const char* const kOutcomes[] = {"missing", "unreadable: left as it is", "patched", "not written"};
  InstallLog(std::string("webserver.cfg ") + kOutcomes[static_cast<int>(PatchWebServerConfig())]);
}

void ShortcutsAndUninstallEntry(TInstallRun&) { CreateIcons(); }

void RemoveLeftOutComponents(TInstallRun& run) { RemoveDeselectedComponents(run.CustomerFiles); }

void CreateAndStartServices(TInstallRun& run) { InstallServices(run.State, run.State.InstallDir); }

void DeleteExtractionFolder(TInstallRun& run) {
  if (run.ExtractionFolder.empty()) return;
  DeleteLoggedTree(run.ExtractionFolder);
  run.ExtractionFolder.clear();
  PlacementFolders().ExtractionFolder.clear();
}

void LetTheServersSettle(TInstallRun&) { PumpFor(kSettleBeforeMessageMs); }

void SendTheDemonstrationMessage(TInstallRun&) {
  InstallLog(std::string("Demonstration message ") + (SendDemonstrationMessage() ? "accepted" : "not accepted") +
             " by the SMTP service");
  StopIfCancelled("Sending the demonstration message");
}

void ShowInstallationComplete(TInstallRun&) { CurrentUI().SetStatus(cFinished); }

void CheckTheServersRun(TInstallRun& run) { run.State.ServersNotRunning = CheckStartedServices(run.State); }

void RestoreStartTypes(const TSetupState& state) {
  for (const int kind : kInstalledServers) {
    if (ServerLeftOut(state, kind)) continue;
    const std::int32_t startType = state.PreviousStartType[kind];
    if (startType == kNoStartType) continue;
    GetSetServiceStartType(GetServerServiceName(kind), true, startType);
    InstallLog("Start type of " + GetServerServiceName(kind) + " restored: " + std::to_string(startType));
  }
}

void RestoreRememberedStartTypes(TInstallRun& run) { RestoreStartTypes(run.State); }

void SendUpgradeCommands(TInstallRun& run) {
  for (const TUpgradeCommand& command : PlanUpgradeCommands(run.State.InstalledVersion)) {
    const bool sent = SendServerCommand(command.Kind, kServerCommandMessage, command.First, command.Second);
    InstallLog("Upgrade command " + std::to_string(command.First) + "," + std::to_string(command.Second) + " to " +
               GetServerServiceName(command.Kind) + (sent ? " sent" : " not delivered"));
  }
}

void WarnOldWebMail(TInstallRun&) {
  Notify(TQuestion::OlderWebMail);
}

void CopyLogIntoInstallation(TInstallRun& run) { KeepInstallLogIn(run.State.InstallDir + "logs\\"); }

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
  if (UpgradeOnNT(run)) RestoreStartTypes(run.State);
  std::vector<int> running, notRunning;
  for (const int kind : run.RanBefore) {
    if (!IsServerRunning(kind)) ControlServer(kind, true);
    const bool runs = WaitUntil([kind] { return IsServerRunning(kind); }, kRestartAfterFailureMs, kPumpSliceMs);
    (runs ? running : notRunning).push_back(kind);
  }
  std::string text = cInstallIncomplete;
  if (!running.empty()) text += "\r\n\r\n" + FormatText(cServersRunAgain, {ServerNames(running)});
  if (!notRunning.empty()) text += "\r\n\r\n" + FormatText(cServersNotStarted, {ServerNames(notRunning)});
  InstallLog(text);
  failure.Text = failure.Text.empty() ? text : failure.Text + "\r\n\r\n" + text;
  failure.ServersLeftDown = !notRunning.empty();
}

void CleanUpAfterFailure(TInstallRun& run, TSetupFailure& failure) {
  // The status line names what failed while the servers are put back and the box shows.
  if (failure.Kind != TFailureKind::Cancelled) CurrentUI().SetStatus(FormatText(cStepFailed, {failure.Doing}));
  if (!run.ExtractionFolder.empty()) DeleteExtractionFolder(run);
  PutServersBack(run, failure);
}

}  // namespace

std::vector<TInstallStep> InstallSteps() {
  const auto progress = [] { return TInstallStep{"progress", nullptr, nullptr}; };
  const auto whenUpgradeOnNT = [](const TInstallRun& run) { return UpgradeOnNT(run); };
  return {
      {"Ask before installing over a newer version", nullptr, AskBeforeDowngrade},
      {"Check the data files and the room for them", nullptr, CheckDataFilesAndRoom},
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
      {"Send the demonstration message (first installation)",
       [](const TInstallRun& run) { return run.FirstInstallation; }, SendTheDemonstrationMessage},
      progress(),
      {"Installation complete", nullptr, ShowInstallationComplete},
      {"Check that the servers run", nullptr, CheckTheServersRun},
      {"Restore the start types (upgrade on NT)", whenUpgradeOnNT, RestoreRememberedStartTypes},
      {"Send the version-upgrade commands",
       [](const TInstallRun& run) { return !run.State.InstalledVersion.empty(); }, SendUpgradeCommands},
      {"Warn about the old web mail product",
       [](const TInstallRun& run) { return run.State.WebMailOutdated; }, WarnOldWebMail},
      {"Keep a copy of the log in the installation", nullptr, CopyLogIntoInstallation},
  };
}

void InstallSequence() {
  TInstallRun run{SetupState()};
  const TWaitsPumpMessages pumping;
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

std::string CreateExtractionFolder(const std::string& tempFolder, const std::string& setupFolder) {
  const std::string parent = tempFolder.empty() ? setupFolder + "temp\\" : NormalizePath(tempFolder, true, false);
  if (!ForceDirectories(parent)) return std::string();
  for (int attempt = 0; attempt < kExtractionTries; ++attempt) {
    const std::string name = attempt == 0 ? kExtractionName : std::string(kExtractionName) + "-" + UnguessableSuffix();
    const std::string folder = ShortPath(parent + name + "\\");
    if (DirectoryExists(folder) || FileExists(NormalizePath(folder, false, false))) continue;
    // The elevated setup writes as a member of Administrators; the account's other, not
    // elevated programs must not reach what it loads and copies from here.
    const TFolderSecurityResult result = SecureFolder(folder, TFolderAccess::Private);
    InstallLog(DescribeFolderSecurity(folder, result));
    // Only a folder made now is ours: one that appeared in between may hold anything.
    if (result.State == TFolderSecurityState::Created ||
        (result.State == TFolderSecurityState::NoAccessLists && DirectoryExists(folder)))
      return folder;
  }
  return std::string();
}

void SetServerFolders() {
  const std::string& root = SetupState().InstallDir;
  TServerSettings& settings = ServerSettings();
  settings.Set(settings::kTempFolder, ShortPath(root + "temp\\"));
  settings.Set(settings::kMailFolder, ShortPath(root + "mail\\"));
  settings.Set(settings::kLogsFolder, ShortPath(root + "logs\\"));
}

void RemoveDeselectedComponents(const std::set<std::string>& customerFiles) {
  const TSetupState& state = SetupState();
  for (const TComponentRow& component : kComponents)
    if (LeftOut(component, state))
      RemoveComponentFiles(component, state.InstallDir, TRemovalOf::LeftOutComponent, &customerFiles);
}
