#include "engine/FirstRunUnit.h"

#include "base/FileSystemUnit.h"
#include "base/TextFormat.h"
#include "engine/DirectorySyncUnit.h"
#include "engine/FirstRunNames.h"
#include "engine/InstallLog.h"
#include "engine/InstallUI.h"
#include "engine/SetupQuestions.h"
#include "engine/SetupState.h"
#include "serverconfig/AccountStore.h"
#include "serverconfig/DatabaseLibrary.h"
#include "serverconfig/DomainTable.h"
#include "serverconfig/ServerStore.h"
#include "serverconfig/WelcomeMessage.h"
#include "system/ServerTable.h"
#include "system/ServicesFuncUnit.h"
#include "texts/TextTable.h"

namespace {

TServerNoticeSender& NoticeSender() {
  static TServerNoticeSender sender;
  return sender;
}

// The servers that reload on a notice, in the order they are told; the control server only
// when asked, and last.
std::vector<int> ReloadKinds(bool includeControl) {
  std::vector<int> kinds = {kSmtpServer, kPop3Server, kIMServer, kGroupWareServer};
  if (includeControl) kinds.push_back(kControlServer);
  return kinds;
}

std::string Capitalised(const std::string& text) {
  return text.empty() ? text : UpperCase(text.substr(0, 1)) + text.substr(1);
}

void WarnStoreUnreadable() {
  const std::string unreadable = UnreadableStoreFile();
  const std::string file = unreadable.empty() ? ConfigFolder() + kSettingsFileName : unreadable;
  InstallLog("First-run configuration: " + file + " could not be read: nothing written");
  Notify(TQuestion::ConfigurationNotSaved, {file});
}

void PlaceLoggedWelcomeMessage(const std::string& messagesPath, const std::string& domain,
                               const TAccountRecord& account) {
  const TWelcomeResult result = PlaceWelcomeMessage(messagesPath, domain, account);
  const std::string address = account.Get(account::kAliases) + "@" + domain;
  InstallLog("Welcome message for " + address + ": " + WelcomeOutcomeName(result.Outcome) +
             (result.Target.empty() ? std::string() : " (" + result.Target + ")"));
}

}  // namespace

void ApplyTutorialSettings(const std::string& hostName, const std::string& domainText,
                           const std::string& userText, const std::string& password) {
  const std::string installDir = SetupState().InstallDir;
  if (installDir.empty()) {
    InstallLog("First-run configuration: no installation folder known, nothing written");
    return;
  }
  const std::string domain = TrimText(domainText);
  const std::string user = TrimText(userText);
  // The page and the unattended checks keep such values away; the store is guarded here too.
  if (domain.empty() || user.empty()) {
    InstallLog("First-run configuration: no domain or no user name given, nothing written");
    return;
  }
  if (const TFirstRunProblem problem = FirstRunValueProblem(hostName, domain, user, password)) {
    InstallLog("First-run configuration: refused, nothing written: " + problem.Text);
    return;
  }
  // The mail and temp folders the store resolves follow the root: the installation.
  const std::string root = NormalizePath(installDir, true, false);
  SetServerRootFolder(root);
  SetConfigFolder(root + "config\\");
  if (!LoadServerSettings(false, false)) {
    // Its domains are unknown: an existing one would be taken for new and written over.
    WarnStoreUnreadable();
    CloseAccountDatabase();
    return;
  }
  // The trimmed name, as every record gets it: " example.com" is example.com.
  if (FindDomain(domain)) {
    InstallLog("First-run configuration: the domain " + domain + " exists, nothing changed");
  } else {
    CreatePrimaryDomain(hostName, domain, user + "@" + domain);
    CreateDomainAdministrator(user, password, domain);
  }
  CloseAccountDatabase();
}

void CreatePrimaryDomain(const std::string& hostName, const std::string& domainText,
                         const std::string& administratorAddress) {
  const std::string domain = TrimText(domainText);
  TServerSettings& settings = ServerSettings();
  settings.Set(settings::kHostName, TrimText(hostName));
  settings.Set(settings::kTempFolder, std::string());
  settings.Set(settings::kMailFolder, std::string());
  settings.Set(settings::kLogsFolder, std::string());

  TDomainConfig config;
  config.Set(domainconfig::kReservedAliases, kReservedAliasList);
  config.Set(domainconfig::kAdministrator, administratorAddress);
  AddDomain(domain, 1);
  RegisterDomain(domain);
  const int index = DomainCount() - 1;
  const bool configSaved = SaveDomainConfig(config, index);
  MakeDomainPrimary(index);
  InstallLog("Primary domain " + domain + " (entry " + std::to_string(index) + " made entry 0), domain.cfg " +
             (configSaved ? "written" : "not written"));
  if (SaveServerSettings()) {
    NotifyServersConfigChanged(false);
  } else {
    InstallLog("First-run configuration: the settings could not be saved; the servers were not told");
  }
}

void CreateDomainAdministrator(const std::string& user, const std::string& password,
                               const std::string& domainText) {
  const std::string domain = TrimText(domainText);
  TAccountRecord account;
  account.Set(account::kType, account::kUserAccount);
  account.Set(account::kAliases, user);
  account.Set(account::kAccountName, user);
  account.Set(account::kPassword, password);
  account.Set(account::kFullName, Capitalised(user));
  const std::string firstAlias = SplitText(account.Get(account::kAliases), ';')[0];
  account.Set(account::kMailboxPath, CleanPathName(domain + "\\" + firstAlias + "\\"));
  account.Set(account::kRights, account::kAdministratorRights);
  const bool saved = SaveAccount(0, account, -1, false);
  InstallLog("Administrator " + user + "@" + domain + (saved ? " saved" : " not saved"));
}

std::vector<TReloadNotice> NotifyServersConfigChanged(bool includeControl) {
  std::vector<TReloadNotice> notices;
  for (const int kind : ReloadKinds(includeControl)) {
    // On NT the servers are services, which have no window to find: the command reaches
    // them through their pipe. Off NT it is the window message itself.
    const bool delivered = NoticeSender() ? NoticeSender()(kind, kServerCommandMessage, 0, 0)
                                          : SendServerCommand(kind, kServerCommandMessage, 0, 0);
    notices.push_back({kind, delivered});
    InstallLog("Reload notice to " + GetServerServiceName(kind) + ": " +
               (delivered ? "delivered" : "skipped, not running"));
  }
  return notices;
}

void SetServerNoticeSender(TServerNoticeSender sender) { NoticeSender() = std::move(sender); }

void InstallAccountHooks() {
  SetAccountHooks({PlaceLoggedWelcomeMessage, SynchroniseSavedAccount});
}
