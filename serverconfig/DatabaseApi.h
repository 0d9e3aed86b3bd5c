// Entry points of the suite's account-database library, db.dll, as the store calls them.
// Plain C, __stdcall on 32-bit Windows, exported without decoration. Texts are ANSI C strings;
// records are passed as their plain (unscrambled) bytes: TDomainConfig 913, TAccountRecord
// 2848, domain table entries 96 each. A result of 0 means "not done" wherever a flag is
// answered.
#pragma once

#if defined(_WIN32)
#define ZAREL_DBCALL __stdcall
#else
#define ZAREL_DBCALL
#endif

extern "C" {
// Opens the connection described by the text; answers a connection number (0 = failed).
typedef int(ZAREL_DBCALL* TDBSetConnection)(const char* connection);
// Reads the library's configuration for that connection; non-zero when ready.
typedef int(ZAREL_DBCALL* TDBReloadConfig)(int connection);
// Shuts the connection down before the library is unloaded.
typedef int(ZAREL_DBCALL* TDBCloseConnection)(void);

typedef int(ZAREL_DBCALL* TDBGetDomainCount)(void);
// Fills count 96-byte domain entries; answers how many it filled.
typedef int(ZAREL_DBCALL* TDBGetDomains)(void* table, int count);
typedef int(ZAREL_DBCALL* TDBAddDomain)(const char* name);
typedef int(ZAREL_DBCALL* TDBSetDomain)(const char* name, const void* domainConfig);
typedef int(ZAREL_DBCALL* TDBMakeDomainPrimary)(const char* name);
// address: dotted IPv4, "255.255.255.255" when the domain's bind.dat lists its addresses.
typedef int(ZAREL_DBCALL* TDBSetDomainIP)(const char* name, const char* address);

// position -1 appends a new account.
typedef int(ZAREL_DBCALL* TDBSaveUsers)(const char* domain, const void* account, int position);
// Index of the first account whose aliases share an item with the list, or -1.
typedef int(ZAREL_DBCALL* TDBGetUsersIndex)(const char* domain, const char* aliases);
// Starts a walk over the domain's accounts from index + 1, skipping skip accounts; the
// library keeps its state behind *cursor. Non-zero when started.
typedef int(ZAREL_DBCALL* TDBInitUsers)(const char* domain, void** cursor, int index, int skip);
// Delivers the next account into the record and answers non-zero, or answers 0 at the end.
typedef int(ZAREL_DBCALL* TDBNextUser)(void* cursor, void* account);
typedef void(ZAREL_DBCALL* TDBDoneUsers)(void* cursor);
}
