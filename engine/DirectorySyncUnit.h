// Mirrors the suite's user accounts into its directory server: each account the setup saves
// becomes (or updates) one inetOrgPerson entry, written through the installation's own
// LDAP32.Dll to the server's web host on the configured LDAP port.
//
// The directory server's slapd.conf gives the suffix and the credentials; it is read once per
// run. Nothing here is ever shown or fatal: an account that cannot be mirrored is simply not.
#pragma once

#include <string>

#include "serverconfig/AccountRecord.h"
#include "system/LDAP32Unit.h"

// Where slapd.conf lies below a suite folder.
constexpr char kDirectoryConfigPath[] = "ldap\\slapd.conf";

// Finds ldap\slapd.conf below the folder it was found under before, else below the setup
// program's folder, else below the installation folder registered in the suite's key, and
// reads it. False when none exists or it cannot be read (what was read before is kept).
bool ReadDirectoryConfig();
// The folder slapd.conf was last found under (with "\"), empty before.
std::string DirectoryConfigFolder();
// Back to the state of a fresh run: nothing read, no folder remembered.
void ForgetDirectoryConfig();

enum class TDirectorySyncStep {
  Sent,            // the directory server was asked; the outcome tells its answer
  NotUserAccount,  // only user accounts are mirrored
  NoSuffix,        // no slapd.conf, or one without a suffix
  Bypassed,        // the account's address is listed in ldapbypass.dat (or the list is unreadable)
  NoLibrary,       // no installation folder known, or its LDAP32.Dll did not load
};

struct TDirectorySyncResult {
  TDirectorySyncStep Step = TDirectorySyncStep::Sent;
  TLdapOutcome Ldap;
};

// Whether the directory's host is this machine: empty, "localhost", a loopback address or the
// computer's own name (letter case aside). The bind sends the directory manager's password in
// clear text, so a directory elsewhere is noted in the log.
bool IsThisMachine(const std::string& host, const std::string& computerName);

// Writes the account's entry under store lock 1. domain: the account's domain (its first
// 255 characters count).
TDirectorySyncResult SyncAccountToDirectory(const TAccountRecord& record, const std::string& domain,
                                            TLdapWriteMode mode);

// The account hook of the configuration store (TAccountHooks::SynchroniseDirectory): a new
// account is added, an existing one updated.
void SynchroniseSavedAccount(const TAccountRecord& record, const std::string& domain, bool isNew);
