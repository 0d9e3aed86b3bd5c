#include "tools/distribution/DemoStore.h"

#include <random>

#include "serverconfig/AccountStore.h"
#include "serverconfig/DomainTable.h"
#include "serverconfig/ServerStore.h"

namespace {

// The aliases a new primary domain reserves for its administrator.
constexpr const char* kReservedAliases =
    "postmaster;admin;administrator;supervisor;hostmaster;webmaster;abuse";

TAccountRecord DemoAccount(const std::string& alias, const std::string& fullName,
                           const std::string& password, bool administrator) {
  TAccountRecord account;
  account.Set(account::kType, account::kUserAccount);
  account.Set(account::kAliases, alias);
  account.Set(account::kAccountName, alias);
  account.Set(account::kFullName, fullName);
  account.Set(account::kPassword, password);
  account.Set(account::kMailboxPath, CleanPathName(std::string(kDemoDomain) + "\\" + alias + "\\"));
  if (administrator) account.Set(account::kRights, account::kAdministratorRights);
  return account;
}

bool WriteDomainAndAccounts(const TDemoStoreOptions& options, std::string& error) {
  AddDomain(kDemoDomain);
  TDomainConfig config;
  config.Set(domainconfig::kReservedAliases, kReservedAliases);
  config.Set(domainconfig::kAdministrator, std::string(kDemoAdminAlias) + "@" + kDemoDomain);
  if (!SaveDomainConfig(config, 0)) {
    error = "cannot write " + DomainFolder(0) + kDomainConfigFileName;
    return false;
  }
  const TAccountRecord admin = DemoAccount(kDemoAdminAlias, "Administrator", options.Password, true);
  const TAccountRecord user = DemoAccount(kDemoUserAlias, "Demonstration User", options.Password, false);
  if (!SaveAccount(0, admin, -1, false) || !SaveAccount(0, user, -1, false)) {
    error = "cannot write " + DomainFolder(0) + kUsersFileName;
    return false;
  }
  return true;
}

}  // namespace

bool WriteDemoStore(const std::string& rootFolder, const TDemoStoreOptions& options,
                    std::string& error) {
  ResetServerStore();
  InitServerFoldersAt(rootFolder);
  TServerSettings& settings = ServerSettings();
  settings.Set(settings::kHostName, kDemoHostName);
  settings.Set(settings::kSmtpPort, options.SmtpPort);
  bool written = WriteDomainAndAccounts(options, error);
  if (written && !SaveServerSettings()) {
    error = "cannot write the settings into " + ConfigFolder();
    written = false;
  }
  ResetServerStore();
  return written;
}

std::string RandomDemoPassword() {
  static const char kAlphabet[] = "abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
  std::random_device source;
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 2);
  std::string password;
  for (int i = 0; i < 12; ++i) password += kAlphabet[pick(source)];
  return password;
}
