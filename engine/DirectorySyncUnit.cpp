#include "engine/DirectorySyncUnit.h"

#include "base/FileSystemUnit.h"
#include "base/StringUnit.h"
#include "engine/InstallLog.h"
#include "engine/SetupState.h"
#include "engine/ShortcutUnit.h"
#include "serverconfig/ConfigTextUnit.h"
#include "serverconfig/DirectoryEntry.h"
#include "serverconfig/ServerStore.h"
#include "serverconfig/StoreFileUnit.h"
#include "serverconfig/StoreLocks.h"
#include "serverconfig/WebHostName.h"
#include "system/AdvancedRegistry.h"

namespace {

// Store lock 1 belongs to the directory synchronisation.
constexpr int kDirectorySyncLock = 1;
constexpr std::size_t kDomainMax = 255;

struct TDirectoryState {
  bool NotRead = true;
  std::string Folder;  // the suite folder slapd.conf was found under
  TDirectoryConfig Config;
};

TDirectoryState& State() {
  static TDirectoryState state;
  return state;
}

bool HasConfigFile(const std::string& folder) {
  return !folder.empty() && FileExists(folder + kDirectoryConfigPath);
}

std::string RegisteredInstallFolder() {
  TAdvancedRegistry suite(TRegistryKey::hkLOCAL_MACHINE, kSuiteArea, kSuiteSection);
  const std::string folder = suite.ReadString("InstallDir");
  return folder.empty() ? folder : NormalizePath(folder, true, false);
}

// The suite folder holding ldap\slapd.conf, empty when there is none.
std::string FindConfigFolder() {
  const std::string first = State().Folder.empty() ? SetupFolder() : State().Folder;
  if (HasConfigFile(first)) return first;
  const std::string registered = RegisteredInstallFolder();
  return HasConfigFile(registered) ? registered : std::string();
}

// An unreadable list keeps everyone out: the file exists to keep addresses out of a
// directory that others may read.
bool ListedForBypass(const std::string& address) {
  const std::string path = ConfigFolder() + kDirectoryBypassFileName;
  if (!StorePathExists(path)) return false;
  std::vector<std::string> lines;
  if (!ReadTextLines(path, lines)) return true;
  return !PassesBypassRules(ParseBypassRules(lines), address);
}

TLdapServer DirectoryServer() {
  const TServerSettings& settings = ServerSettings();
  return {WebHostName(settings), settings.Get(settings::kLdapPort), State().Config.BindName,
          State().Config.BindPassword};
}

TDirectorySyncResult Skipped(TDirectorySyncStep step) { return {step, {}}; }

std::string ComputerName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
}

void NoteClearTextBind(const TLdapServer& server) {
  if (IsThisMachine(server.Host, ComputerName())) return;
  InstallLog("The directory server " + server.Host + " is not on this machine: the directory manager's password "
             "travels to it in a clear-text LDAP bind");
}

void LogOutcome(const std::string& address, const TLdapOutcome& outcome) {
  std::string text = "Directory entry of " + address + ": ";
  if (outcome.Status == TLdapStatus::Answered) {
    text += "result code " + std::to_string(outcome.ErrorCode) +
            (outcome.AddedInstead ? " (added, it was not there)" : "");
  } else {
    text += "not written (no connection, bind or answer)";
  }
  InstallLog(text);
}

}  // namespace

bool IsThisMachine(const std::string& host, const std::string& computerName) {
  const std::string name = LowerCase(TrimText(host));
  return name.empty() || name == "localhost" || name.rfind("127.", 0) == 0 || name == "::1" || name == "[::1]" ||
         (!computerName.empty() && name == LowerCase(computerName));
}

bool ReadDirectoryConfig() {
  TDirectoryState& state = State();
  state.NotRead = false;
  const std::string folder = FindConfigFolder();
  std::vector<std::string> lines;
  if (folder.empty() || !ReadTextLines(folder + kDirectoryConfigPath, lines)) return false;
  state.Folder = folder;
  state.Config = ParseDirectoryConfig(lines);
  return true;
}

std::string DirectoryConfigFolder() { return State().Folder; }

void ForgetDirectoryConfig() { State() = TDirectoryState{}; }

TDirectorySyncResult SyncAccountToDirectory(const TAccountRecord& record, const std::string& domain,
                                            TLdapWriteMode mode) {
  if (record.Get(account::kType) != account::kUserAccount) {
    return Skipped(TDirectorySyncStep::NotUserAccount);
  }
  TStoreLockGuard lock(kDirectorySyncLock);
  if (State().NotRead) ReadDirectoryConfig();
  const std::string suffix = State().Config.AccountSuffix();
  if (suffix.empty()) return Skipped(TDirectorySyncStep::NoSuffix);
  const std::string name = domain.substr(0, kDomainMax);
  const std::string address = TrimText(record.Get(account::kAliases)) + "@" + name;
  if (ListedForBypass(address)) return Skipped(TDirectorySyncStep::Bypassed);

  // Only the installation's own library, by its full path: never one found beside the
  // setup program or in the current folder.
  const std::string installDir = SetupState().InstallDir;
  if (installDir.empty() ||
      !LoadLdapLibrary(NormalizePath(installDir, true, false) + kLdapLibraryFileName)) {
    return Skipped(TDirectorySyncStep::NoLibrary);
  }
  const TDirectoryEntry entry = BuildDirectoryEntry(record, name, suffix);
  const TLdapServer server = DirectoryServer();
  NoteClearTextBind(server);
  const TLdapOutcome outcome = WriteLdapEntry(server, entry.Dn, entry.Attributes, mode);
  UnloadLdapLibrary();
  LogOutcome(address, outcome);
  return {TDirectorySyncStep::Sent, outcome};
}

void SynchroniseSavedAccount(const TAccountRecord& record, const std::string& domain, bool isNew) {
  SyncAccountToDirectory(record, domain, isNew ? TLdapWriteMode::Add : TLdapWriteMode::Update);
}
