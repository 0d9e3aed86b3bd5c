// Database mode: the account-database library db.dll, loaded at run time from the root folder,
// else from root + "lib\". Every call takes store lock 5 (unless settings byte 152 says not
// to) and C++ errors raised inside it are swallowed: the caller then sees the default result.
// POSIX hosts have no db.dll, so database mode is unavailable there.
#pragma once

#include <string>

#include "serverconfig/AccountRecord.h"
#include "serverconfig/DomainConfig.h"

constexpr const char* kDatabaseLibraryName = "db.dll";

// Loads the library (when not loaded yet) and opens the connection of settings text 2356.
// True when the library is loaded.
bool OpenAccountDatabase();
// Shuts the connection down and unloads the library; nothing happens in file mode.
void CloseAccountDatabase();
bool AccountDatabaseLoaded();
// Storage mode 2 and the library loaded: the account operations go to the library.
bool DatabaseMode();

// True once after each opening: the first domain search then takes the library's domains.
bool DatabaseDomainsPending();
void MarkDatabaseDomainsTaken();

int DbGetDomainCount();
int DbGetDomains(void* table, int count);
bool DbAddDomain(const std::string& name);
bool DbSetDomain(const std::string& name, const TDomainConfig& config);
bool DbMakeDomainPrimary(const std::string& name);
bool DbSetDomainIP(const std::string& name, const std::string& address);
bool DbSaveUsers(const std::string& domain, const TAccountRecord& account, int position);
int DbGetUsersIndex(const std::string& domain, const std::string& aliases);
bool DbInitUsers(const std::string& domain, void** cursor, int index, int skip);
bool DbNextUser(void* cursor, TAccountRecord& account);
void DbDoneUsers(void* cursor);
