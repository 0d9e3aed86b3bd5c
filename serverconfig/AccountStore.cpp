#include "serverconfig/AccountStore.h"

#include "base/FileSystemUnit.h"
#include "serverconfig/AccountCache.h"
#include "serverconfig/ConfigTextUnit.h"
#include "serverconfig/DatabaseLibrary.h"
#include "serverconfig/DomainTable.h"
#include "serverconfig/GroupsUnit.h"
#include "serverconfig/ScrambleUnit.h"
#include "serverconfig/ServerStore.h"
#include "serverconfig/StoreFileUnit.h"
#include "serverconfig/StoreLocks.h"

namespace {

TAccountFilter g_filter;
TAccountHooks g_hooks;

constexpr std::uint8_t kCleanAllReserved = 0;
constexpr std::uint8_t kCleanKeepSeparators = 1;

std::string UsersFile(const std::string& domain) { return DomainFolderOf(domain) + kUsersFileName; }

long FileLength(std::FILE* file) {
  if (std::fseek(file, 0, SEEK_END) != 0) return -1;
  return std::ftell(file);
}

bool ReadRecord(std::FILE* file, TAccountRecord& record) {
  if (std::fread(record.data(), 1, record.size(), file) != record.size()) return false;
  ScrambleBlock(record.data(), record.size(), 0);
  return true;
}

// The record written into users.cfg, at its position or appended; isNew tells an append.
bool WriteAccountFile(const std::string& domain, const TAccountRecord& account, int position,
                      bool& isNew) {
  TStoreLockGuard lock(kDomainTableLock);
  const std::string folder = DomainFolderOf(domain);
  ForceDirectories(folder);
  const std::string path = folder + kUsersFileName;
  TStoreFile file = OpenStoreFile(path, "r+b");
  if (!file && !StorePathExists(path)) file = OpenStoreFile(path, "w+b");
  if (!file) return false;
  const long length = FileLength(file.get());
  const long count = length < 0 ? -1 : length / static_cast<long>(kAccountRecordSize);
  bool ok = count >= 0;
  if (ok && (position == -1 || position == count)) {
    isNew = true;
    position = static_cast<int>(count);
  } else if (position < 0 || position > count) {
    // A position past the end would leave a gap of empty records.
    ok = false;
  }
  if (ok) {
    const std::string image = ScrambledImage(account.data(), account.size(), 0);
    ok = std::fseek(file.get(),
                    static_cast<long>(position) * static_cast<long>(kAccountRecordSize),
                    SEEK_SET) == 0 &&
         std::fwrite(image.data(), 1, image.size(), file.get()) == image.size();
  }
  return CloseStoreFile(file) && ok;
}

// After a user account is saved: its welcome message and the mailbox marker files.
void AfterUserAccountSaved(const std::string& domain, const TAccountRecord& account, bool isNew) {
  if (ServerSettings().Get(settings::kWelcomeMessage) != 0 && isNew &&
      account.Get(account::kNoWelcomeMessage) == 0 && g_hooks.PlaceWelcomeMessage) {
    g_hooks.PlaceWelcomeMessage(ConfigFolder() + kMessagesFileName, domain, account);
  }
  const std::string mailbox = account.Get(account::kMailboxPath);
  // Without a mailbox field the path would be the mail folder itself.
  if (mailbox.empty()) return;
  const std::string folder = GetMailboxPath(mailbox, false, std::string());
  const std::uint8_t responder = account.Get(account::kResponderState) & account::kResponderMask;
  if (responder != 2 && responder != 3) DeleteFileAt(folder + kResponderFileName);
  if (account.Get(account::kActiveValue) >= account::kActiveThreshold &&
      !FileExists(folder + kActiveFileName)) {
    ForceDirectories(folder);
    WriteWholeFile(std::string(), folder + kActiveFileName, false);
  }
}

bool IsReservedFileNameCharacter(char c, std::uint8_t mode) {
  switch (c) {
    case '"': case '*': case '<': case '>': case '?': case '|':
      return mode == kCleanAllReserved || mode == kCleanKeepSeparators;
    case '/': case ':':
      return mode == kCleanAllReserved;
    default:
      return false;
  }
}

}  // namespace

TAccountList::~TAccountList() { CloseAccountList(*this); }

void SetAccountFilter(TAccountFilter filter) { g_filter = std::move(filter); }
void SetAccountHooks(TAccountHooks hooks) { g_hooks = std::move(hooks); }

bool SaveDomainConfig(const TDomainConfig& config, int domainIndex) {
  const std::string name = GetDomainName(domainIndex);
  if (name.empty()) return false;
  bool databaseAnswer = false;
  const bool database = DatabaseMode();
  if (database) databaseAnswer = DbSetDomain(name, config);
  const std::string folder = DomainFolderOf(name);
  ForceDirectories(folder);
  const bool written = ReplaceFileAtomically(folder + kDomainConfigFileName,
                                             ScrambledImage(config.data(), config.size(), 0));
  return database ? databaseAnswer : written;
}

bool RegisterDomain(const std::string& name) {
  return DatabaseMode() ? DbAddDomain(name) : true;
}

bool SaveAccount(int domainIndex, const TAccountRecord& account, int position, bool refreshCache) {
  if (TrimText(account.Get(account::kAliases)).empty()) return false;
  const std::string domain = GetDomainName(domainIndex);
  if (domain.empty()) return false;
  bool isNew = false;
  bool written;
  if (DatabaseMode()) {
    isNew = position == -1;
    written = DbSaveUsers(domain, account, position);
    if (written && refreshCache && !isNew) AccountCache().Refresh(domain, position, account);
  } else {
    written = WriteAccountFile(domain, account, position, isNew);
  }
  if (!written) return false;
  if (account.Get(account::kType) == account::kUserAccount) {
    AfterUserAccountSaved(domain, account, isNew);
  }
  if (ServerSettings().Get(settings::kLdapSync) != 0 &&
      ServerSettings().Get(settings::kDirectorySyncOption) != 0 && g_hooks.SynchroniseDirectory) {
    g_hooks.SynchroniseDirectory(account, domain, isNew);
  }
  return true;
}

int FindAccountIndex(int domainIndex, const std::string& aliases) {
  const std::string domain = GetDomainName(domainIndex);
  if (domain.empty()) return -1;
  if (DatabaseMode()) return DbGetUsersIndex(domain, aliases);
  TStoreFile file = OpenStoreFile(UsersFile(domain), "rb");
  if (!file) return -1;
  TGroupResolver groups(ConfigFolder());
  TAccountRecord record;
  int found = -1;
  for (int index = 0; found < 0 && ReadRecord(file.get(), record); ++index) {
    if (AliasListsMatch(record.Get(account::kAliases), aliases, &groups)) found = index;
  }
  return found;
}

bool OpenAccountList(const std::string& domain, TAccountList& list, const std::string& filter,
                     std::uint8_t mode, int skip) {
  CloseAccountList(list);
  list.Account.Clear();
  list.Index = -1;
  list.Count = 0;
  list.Mode = mode;
  list.Filter = filter;
  list.Domain = domain.substr(0, kAccountListDomainMax);
  if (DatabaseMode()) {
    list.Database = true;
    list.Open = DbInitUsers(domain, &list.DatabaseCursor, -1, skip);
    // The library starts after the skipped accounts; Index names each delivered one.
    if (skip > 0) list.Index = skip - 1;
    return list.Open;
  }
  list.Database = false;
  list.File = OpenStoreFile(UsersFile(domain), "rb");
  if (!list.File) return false;
  const long length = FileLength(list.File.get());
  std::fseek(list.File.get(), 0, SEEK_SET);
  list.Count = length < 0 ? 0 : static_cast<int>(length / static_cast<long>(kAccountRecordSize));
  list.Open = true;
  return true;
}

bool NextAccount(TAccountList& list) {
  if (!list.Open) return true;
  if (list.Database) {
    if (!DbNextUser(list.DatabaseCursor, list.Account)) return true;
    ++list.Index;
    return false;
  }
  for (;;) {
    if (list.Index + 1 >= list.Count || !ReadRecord(list.File.get(), list.Account)) return true;
    // The index is the record's own position, so a filtered walk still names it exactly.
    ++list.Index;
    if (list.Filter.empty() || !g_filter || g_filter(list, list.Account)) return false;
  }
}

void CloseAccountList(TAccountList& list) {
  if (list.Database && list.Open) DbDoneUsers(list.DatabaseCursor);
  list.File.reset();
  list.DatabaseCursor = nullptr;
  list.Open = false;
}

std::string GetMailboxPath(const std::string& mailbox, bool withFolder,
                           const std::string& folderName) {
  const bool absolute =
      mailbox.find(':') != std::string::npos || mailbox.find("\\\\") != std::string::npos;
  std::string path = (absolute ? std::string() : MailFolder()) + mailbox;
  if (path.empty() || (path.back() != '\\' && path.back() != '/')) path += '\\';
  if (withFolder) {
    std::string folder = SplitText(folderName, ';')[0].substr(0, kMailboxFolderNameMax);
    if (folder.empty()) folder = "inbox";
    path += folder + "\\";
  }
  return path;
}

std::string CleanPathName(const std::string& text) {
  const std::uint8_t mode = ServerSettings().Get(settings::kPathCleaningMode);
  std::string result = text;
  for (std::size_t i = result.size(); i-- > 0;) {
    const unsigned char c = static_cast<unsigned char>(result[i]);
    if (c < 32 || c > 127) continue;
    if (IsReservedFileNameCharacter(result[i], mode)) result.erase(i, 1);
  }
  return result;
}
