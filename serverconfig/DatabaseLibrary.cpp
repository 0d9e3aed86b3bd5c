#include "serverconfig/DatabaseLibrary.h"

#include "serverconfig/DatabaseApi.h"
#include "serverconfig/HostSeam.h"
#include "serverconfig/StoreFolders.h"
#include "serverconfig/StoreFileUnit.h"
#include "serverconfig/StoreLocks.h"
#include "serverconfig/StoreState.h"

namespace {

struct TDatabaseEntries {
  TDBSetConnection SetConnection = nullptr;
  TDBReloadConfig ReloadConfig = nullptr;
  TDBCloseConnection CloseConnection = nullptr;
  TDBGetDomainCount GetDomainCount = nullptr;
  TDBGetDomains GetDomains = nullptr;
  TDBAddDomain AddDomain = nullptr;
  TDBSetDomain SetDomain = nullptr;
  TDBMakeDomainPrimary MakeDomainPrimary = nullptr;
  TDBSetDomainIP SetDomainIP = nullptr;
  TDBSaveUsers SaveUsers = nullptr;
  TDBGetUsersIndex GetUsersIndex = nullptr;
  TDBInitUsers InitUsers = nullptr;
  TDBNextUser NextUser = nullptr;
  TDBDoneUsers DoneUsers = nullptr;
};

void* g_library = nullptr;
TDatabaseEntries g_entries;
bool g_domainsPending = false;

template <typename Entry>
void Resolve(Entry& entry, const char* name) {
  entry = reinterpret_cast<Entry>(HostSeam().LibraryEntry(g_library, name));
}

void ResolveEntries() {
  Resolve(g_entries.SetConnection, "DBSetConnection");
  Resolve(g_entries.ReloadConfig, "DBReloadConfig");
  Resolve(g_entries.CloseConnection, "DBCloseConnection");
  Resolve(g_entries.GetDomainCount, "DBGetDomainCount");
  Resolve(g_entries.GetDomains, "DBGetDomains");
  Resolve(g_entries.AddDomain, "DBAddDomain");
  Resolve(g_entries.SetDomain, "DBSetDomain");
  Resolve(g_entries.MakeDomainPrimary, "DBMakeDomainPrimary");
  Resolve(g_entries.SetDomainIP, "DBSetDomainIP");
  Resolve(g_entries.SaveUsers, "DBSaveUsers");
  Resolve(g_entries.GetUsersIndex, "DBGetUsersIndex");
  Resolve(g_entries.InitUsers, "DBInitUsers");
  Resolve(g_entries.NextUser, "DBNextUser");
  Resolve(g_entries.DoneUsers, "DBDoneUsers");
}

// Runs one library call under the database lock; a missing entry or an error raised inside
// leaves the default answer.
template <typename Result, typename Entry, typename Call>
Result CallDatabase(Entry entry, Result fallback, Call call) {
  if (g_library == nullptr || entry == nullptr) return fallback;
  TStoreLockGuard lock(kDatabaseLock,
                       StoreState().Settings.Get(settings::kDatabaseWithoutLock) != 0);
  try {
    return call(entry);
  } catch (...) {
    return fallback;
  }
}

void* LoadFromRoot() {
  const std::string root = ServerRootFolder();
  for (const std::string& folder : {root, root + "lib\\"}) {
    const std::string path = folder + kDatabaseLibraryName;
    if (!StorePathExists(path)) continue;
    if (void* library = HostSeam().LoadLibraryFile(path)) return library;
  }
  return nullptr;
}

}  // namespace

bool OpenAccountDatabase() {
  if (g_library == nullptr) {
    g_library = LoadFromRoot();
    if (g_library == nullptr) return false;
    ResolveEntries();
  }
  const std::string connection = StoreState().Settings.Get(settings::kDatabaseConnection);
  const int number = CallDatabase(g_entries.SetConnection, 0,
                                  [&](TDBSetConnection f) { return f(connection.c_str()); });
  CallDatabase(g_entries.ReloadConfig, 0, [&](TDBReloadConfig f) { return f(number); });
  g_domainsPending = true;
  return true;
}

void CloseAccountDatabase() {
  if (g_library == nullptr) return;
  CallDatabase(g_entries.CloseConnection, 0, [](TDBCloseConnection f) { return f(); });
  HostSeam().FreeLibraryFile(g_library);
  g_library = nullptr;
  g_entries = TDatabaseEntries();
  g_domainsPending = false;
}

bool AccountDatabaseLoaded() { return g_library != nullptr; }

bool DatabaseMode() {
  return g_library != nullptr &&
         StoreState().Settings.Get(settings::kStorageMode) == settings::kStorageDatabase;
}

bool DatabaseDomainsPending() { return g_domainsPending && DatabaseMode(); }
void MarkDatabaseDomainsTaken() { g_domainsPending = false; }

int DbGetDomainCount() {
  return CallDatabase(g_entries.GetDomainCount, 0, [](TDBGetDomainCount f) { return f(); });
}

int DbGetDomains(void* table, int count) {
  return CallDatabase(g_entries.GetDomains, 0,
                      [&](TDBGetDomains f) { return f(table, count); });
}

bool DbAddDomain(const std::string& name) {
  return CallDatabase(g_entries.AddDomain, 0,
                      [&](TDBAddDomain f) { return f(name.c_str()); }) != 0;
}

bool DbSetDomain(const std::string& name, const TDomainConfig& config) {
  return CallDatabase(g_entries.SetDomain, 0,
                      [&](TDBSetDomain f) { return f(name.c_str(), config.data()); }) != 0;
}

bool DbMakeDomainPrimary(const std::string& name) {
  return CallDatabase(g_entries.MakeDomainPrimary, 0,
                      [&](TDBMakeDomainPrimary f) { return f(name.c_str()); }) != 0;
}

bool DbSetDomainIP(const std::string& name, const std::string& address) {
  return CallDatabase(g_entries.SetDomainIP, 0, [&](TDBSetDomainIP f) {
           return f(name.c_str(), address.c_str());
         }) != 0;
}

bool DbSaveUsers(const std::string& domain, const TAccountRecord& account, int position) {
  return CallDatabase(g_entries.SaveUsers, 0, [&](TDBSaveUsers f) {
           return f(domain.c_str(), account.data(), position);
         }) != 0;
}

int DbGetUsersIndex(const std::string& domain, const std::string& aliases) {
  return CallDatabase(g_entries.GetUsersIndex, -1, [&](TDBGetUsersIndex f) {
    return f(domain.c_str(), aliases.c_str());
  });
}

bool DbInitUsers(const std::string& domain, void** cursor, int index, int skip) {
  return CallDatabase(g_entries.InitUsers, 0, [&](TDBInitUsers f) {
           return f(domain.c_str(), cursor, index, skip);
         }) != 0;
}

bool DbNextUser(void* cursor, TAccountRecord& account) {
  return CallDatabase(g_entries.NextUser, 0,
                      [&](TDBNextUser f) { return f(cursor, account.data()); }) != 0;
}

void DbDoneUsers(void* cursor) {
  CallDatabase(g_entries.DoneUsers, 0, [&](TDBDoneUsers f) {
    f(cursor);
    return 0;
  });
}
