#include <windows.h>
#include <ntsecapi.h>

#include "engine/RealInstallMachine.h"

#include <cstring>

#include "base/DeadlineClock.h"
#include "base/FileSystemUnit.h"
#include "engine/ComponentFlags.h"
#include "engine/ComponentTable.h"
#include "engine/DemoMessageUnit.h"
#include "engine/DestinationCheck.h"
#include "engine/EngineSupport.h"
#include "engine/FailureUnit.h"
#include "engine/FilePlacementUnit.h"
#include "engine/InstallLog.h"
#include "engine/InstallSequence.h"
#include "engine/InstallUI.h"
#include "engine/PreInstallCheck.h"
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

constexpr char kJournalValue[] = "RunJournal";
constexpr char kExtractionName[] = "zarelinstall";
constexpr int kExtractionTries = 100;
// The demonstration accounts stay usable this long after a first installation.
constexpr int kDemonstrationDays = 30;
constexpr std::uint32_t kSettleBeforeMessageMs = 2000;
constexpr std::uint32_t kPumpSliceMs = 50;
constexpr std::uint32_t kRestartAfterFailureMs = 10000;

TAdvancedRegistry SuiteRegistry() { return TAdvancedRegistry(TRegistryKey::hkLOCAL_MACHINE, kSuiteArea, kSuiteSection); }

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

// tempFolder's "zarelinstall\" while it is free, else one with an unguessable suffix; empty
// when the parent cannot be made.
std::string ExtractionFolderCandidate(const std::string& parent) {
  if (!ForceDirectories(parent)) return std::string();
  std::string folder = ShortPath(parent + kExtractionName + "\\");
  if (DirectoryExists(folder) || FileExists(NormalizePath(folder, false, false)))
    folder = ShortPath(parent + kExtractionName + "-" + UnguessableSuffix() + "\\");
  return folder;
}

// The elevated setup writes as a member of Administrators; the account's other, not elevated
// programs must not reach what it loads and copies from here. Only a folder made now is ours:
// one that appeared in between may hold anything.
// 0 when the folder was made now; else the system's reason, for the failure's box.
DWORD CreatePrivateFolderNow(const std::string& folder) {
  if (DirectoryExists(folder) || FileExists(NormalizePath(folder, false, false))) return ERROR_ALREADY_EXISTS;
  const TFolderSecurityResult result = SecureFolder(folder, TFolderAccess::Private);
  InstallLog(DescribeFolderSecurity(folder, result));
  if (result.State == TFolderSecurityState::Created ||
      (result.State == TFolderSecurityState::NoAccessLists && DirectoryExists(folder)))
    return ERROR_SUCCESS;
  return result.Error != ERROR_SUCCESS ? result.Error : ERROR_CANNOT_MAKE;
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

class TRealInstallMachine final : public TInstallMachine {
 public:
  void CheckDataFilesAndRoom(const TSetupState& state) override {
    CheckBeforeFirstChange(state, NormalizePath(state.ChosenFolder, true, false));
  }
  std::string DestinationProblem(const std::string& installDir) override {
    return ::DestinationProblem(installDir, MachineDestinationFacts());
  }
  bool FolderExists(const std::string& folder) override { return DirectoryExists(folder); }
  bool ServicesPlatform() override { return IsNTPlatform(); }
  std::set<std::string> CustomerFiles(const std::string& installDir) override { return PresentKeptFiles(installDir); }
  std::int32_t StartType(int kind) override {
    return GetSetServiceStartType(GetServerServiceName(kind), false, kNoStartType);
  }
  bool ServerRunning(int kind) override { return IsServerRunning(kind); }
  std::string ServerName(int kind) override {
    const TServerInfo* info = FindServerInfo(kind);
    return info != nullptr ? info->displayName : std::to_string(kind);
  }
  std::string ServiceName(int kind) override { return GetServerServiceName(kind); }
  std::string NewExtractionFolderName() override {
    return ExtractionFolderCandidate(ExtractionParent(GetSpecialFolder(SpecialFolder::Temporary, true), SetupFolder()));
  }

  std::string ReadJournal() override { return SuiteRegistry().ReadString(kJournalValue); }
  bool WriteJournal(const std::string& text) override {
    const TRegistryResult result = SuiteRegistry().WriteString(kJournalValue, text);
    if (!result) InstallLog("The run journal was not written: " + result.message);
    return static_cast<bool>(result);
  }
  void RemoveJournal() override {
    TRegistryKeyHandle key;
    const std::string path = std::string(kSuiteArea).substr(1) + "\\" + kSuiteSection;
    if (OpenRegistryKey(HKEY_LOCAL_MACHINE, path, KEY_SET_VALUE, key) != ERROR_SUCCESS) return;
    const LONG code = RegDeleteValueA(key.Get(), kJournalValue);
    if (code != ERROR_SUCCESS && code != ERROR_FILE_NOT_FOUND)
      InstallLog("The run journal could not be removed: " + SystemErrorText(static_cast<DWORD>(code)));
  }

  void MigrateRegistry() override { ConvertRegistry(true); }
  void StoreComponentChoices(const TSetupState& state) override {
    TAdvancedRegistry suite = SuiteRegistry();
    const TRegistryResult result = WriteNoInstallFlags(suite, state);
    if (!result) InstallLog("Component choices not stored: " + result.message);
  }
  void UseInstallationFolder(const TSetupState& state) override {
    SetServerFolder(state.InstallDir);
    PlacementFolders().ExtractionFolder.clear();
  }
  bool SetStartType(int kind, std::int32_t startType) override {
    return GetSetServiceStartType(GetServerServiceName(kind), true, startType) != kNoStartType;
  }
  void StopServers(TSetupState& state) override {
    CheckRunningServices(state);
    CheckRunningServices(state);
  }
  bool StartServerAgain(int kind) override {
    if (!IsServerRunning(kind)) ControlServer(kind, true);
    return WaitUntil([kind] { return IsServerRunning(kind); }, kRestartAfterFailureMs, kPumpSliceMs);
  }
  std::uint32_t CreateExtractionFolder(const std::string& folder) override { return CreatePrivateFolderNow(folder); }
  void ExtractSetupData(const std::string& extractionFolder) override {
    PlacementFolders().ExtractionFolder = extractionFolder;
    ExtractOrFail(SetupFolder() + "Setup.Dat", extractionFolder, true);
  }
  void PlaceFiles(const TSetupState&) override { ::PlaceFiles(); }
  void UnpackShippedConfiguration(const TSetupState& state) override {
    const std::string archive = SetupFolder() + "zarel.mcb";
    // Read through before the first change; a file that cannot be written now ends the run.
    if (FileExists(archive)) ExtractOrFail(archive, state.ConfigDir, true);
  }
  void SeedConfiguration(const TSetupState& state, const std::string& extractionFolder) override {
    const std::string demo = extractionFolder + "demo.dat";
    if (FileExists(demo)) ExtractOrFail(demo, state.ConfigDir, true);
    if (!LoadInstalledSettings(state)) return;
    SetServerFolders();
    const std::string dns = SystemDnsServers();
    if (!dns.empty()) ServerSettings().Set(settings::kDnsServers, dns.substr(0, settings::kDnsServers.Max));
    SaveInstalledSettings(state);
    ExpireDemonstrationAccounts();
  }
  void StoreConsoleLayout(const TSetupState& state) override {
    if (!LoadInstalledSettings(state)) {
      WarnConfigurationLeftAlone(state);
      return;
    }
    ServerSettings().Set(settings::kConsoleLayout, state.AdvancedConsole ? "advanced.xml" : "basic.xml");
    if (!state.IsUpgrade) SetServerFolders();
    ServerSettings().Set(settings::kFolder3385, "");
    SaveInstalledSettings(state);
  }
  void PatchWebServer() override {
    static const char* const kOutcomes[] = {"missing", "unreadable: left as it is", "patched", "not written"};
    InstallLog(std::string("webserver.cfg ") + kOutcomes[static_cast<int>(PatchWebServerConfig())]);
  }
  void ShortcutsAndUninstallEntry(const TSetupState&) override { CreateIcons(); }
  void RemoveLeftOutComponents(const TSetupState&, const std::set<std::string>& customerFiles) override {
    RemoveDeselectedComponents(customerFiles);
  }
  void CreateAndStartServices(TSetupState& state) override { InstallServices(state, state.InstallDir); }
  void DeleteFolder(const std::string& folder) override {
    DeleteLoggedTree(folder);
    if (SameText(PlacementFolders().ExtractionFolder, folder)) PlacementFolders().ExtractionFolder.clear();
  }
  void LetServersSettle() override { PumpFor(kSettleBeforeMessageMs); }
  bool SendDemonstrationMessage() override { return ::SendDemonstrationMessage(); }
  std::vector<std::string> CheckServersRun(const TSetupState& state) override { return CheckStartedServices(state); }
  bool SendUpgradeCommand(const TUpgradeCommand& command) override {
    return SendServerCommand(command.Kind, kServerCommandMessage, command.First, command.Second);
  }
  void KeepLogIn(const std::string& installDir) override { KeepInstallLogIn(installDir + "logs\\"); }
};

}  // namespace

TInstallMachine& RealInstallMachine() {
  static TRealInstallMachine machine;
  return machine;
}

void InstallSequence() {
  const TWaitsPumpMessages pumping;
  RunInstallSequence(RealInstallMachine());
}

std::string ExtractionParent(const std::string& tempFolder, const std::string& setupFolder) {
  return tempFolder.empty() ? setupFolder + "temp\\" : NormalizePath(tempFolder, true, false);
}

std::string CreateExtractionFolder(const std::string& tempFolder, const std::string& setupFolder) {
  const std::string parent = ExtractionParent(tempFolder, setupFolder);
  for (int attempt = 0; attempt < kExtractionTries; ++attempt) {
    const std::string folder = ExtractionFolderCandidate(parent);
    if (folder.empty()) return folder;
    if (CreatePrivateFolderNow(folder) == ERROR_SUCCESS) return folder;
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
