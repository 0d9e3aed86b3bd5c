// Domain records (domain.cfg), account records (users.cfg) and the walk over a domain's
// accounts. In database mode (storage mode 2 with db.dll loaded) the same operations go to
// the account-database library.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "serverconfig/AccountRecord.h"
#include "serverconfig/DomainConfig.h"
#include "serverconfig/StoreFileUnit.h"

constexpr const char* kDomainConfigFileName = "domain.cfg";
constexpr const char* kUsersFileName = "users.cfg";
constexpr const char* kMessagesFileName = "messages.dat";
constexpr const char* kResponderFileName = "respond.dat";
constexpr const char* kActiveFileName = "active.dat";
constexpr std::size_t kAccountListDomainMax = 95;
constexpr std::size_t kMailboxFolderNameMax = 63;

// Iterator over one domain's accounts, from OpenAccountList to CloseAccountList.
struct TAccountList {
  TAccountRecord Account;  // the record NextAccount delivered last
  bool Open = false;
  TStoreFile File;
  int Index = -1;          // position of Account in users.cfg
  int Count = 0;           // records when opened
  std::string Domain;
  std::uint8_t Mode = 0;
  std::string Filter;
  bool Database = false;
  void* DatabaseCursor = nullptr;

  TAccountList() = default;
  ~TAccountList();
  TAccountList(const TAccountList&) = delete;
  TAccountList& operator=(const TAccountList&) = delete;
};

// Asked for every record while a list with a filter text is walked; false skips the record.
using TAccountFilter = std::function<bool(const TAccountList& list, const TAccountRecord& record)>;
void SetAccountFilter(TAccountFilter filter);

// What SaveAccount hands on after a record was written. The first-run work installs the
// welcome message (messages.dat path, domain, record) and the directory synchronisation
// (record, domain, account is new); without a hook the step is left out.
struct TAccountHooks {
  std::function<void(const std::string& messagesPath, const std::string& domain,
                     const TAccountRecord& account)>
      PlaceWelcomeMessage;
  std::function<void(const TAccountRecord& account, const std::string& domain, bool isNew)>
      SynchroniseDirectory;
};
void SetAccountHooks(TAccountHooks hooks);

bool SaveDomainConfig(const TDomainConfig& config, int domainIndex);
bool RegisterDomain(const std::string& name);
// position -1 (or the record count) appends a new account; a position past the end is refused.
bool SaveAccount(int domainIndex, const TAccountRecord& account, int position, bool refreshCache);
int FindAccountIndex(int domainIndex, const std::string& aliases);

bool OpenAccountList(const std::string& domain, TAccountList& list, const std::string& filter,
                     std::uint8_t mode, int skip);
// False while a record was delivered into list.Account, true when there are no more.
bool NextAccount(TAccountList& list);
void CloseAccountList(TAccountList& list);

// Mailbox folder of a mailbox field (relative to the mail folder unless it holds ":" or "\\"),
// with a trailing "\"; withFolder appends the first ";" item of folderName, or "inbox".
std::string GetMailboxPath(const std::string& mailbox, bool withFolder,
                           const std::string& folderName);
// Removes the characters a file name may not hold (mode from settings byte 22122).
std::string CleanPathName(const std::string& text);
