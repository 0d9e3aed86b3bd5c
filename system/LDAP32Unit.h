// The suite's LDAP client library, LDAP32.Dll, loaded at run time, and the one request the
// setup makes through it: writing (adding, updating or deleting) one directory entry.
//
// The library's nine entries use the C calling convention; texts are handed over as they
// are (callers give UTF-8). Nothing here knows about accounts or the configuration store,
// and nothing is shown: every failure is an outcome.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

constexpr char kLdapLibraryFileName[] = "LDAP32.Dll";

// Loads the library from a full path (never through the search path: a library found in the
// current or the setup program's folder would run with the setup's rights) and looks up its
// entries. True when it is loaded with every entry the write needs, also when it was loaded
// already; a library missing one of them is unloaded again.
bool LoadLdapLibrary(const std::string& fullPath);
void UnloadLdapLibrary();
bool LdapLibraryLoaded();

enum class TLdapWriteMode {
  Add = 0,     // a new entry
  Update = 1,  // replace the entry's attributes; an entry that is not there is added
  Delete = 2,  // remove the entry
};

struct TLdapServer {
  std::string Host;
  std::uint16_t Port = 389;
  std::string BindName;
  std::string BindPassword;
};

// Attribute name -> values. An attribute without values is left out of an add and removed
// by an update (replace with no values), so that a value dropped from the source does not
// linger in the directory.
using TLdapAttributes = std::vector<std::pair<std::string, std::vector<std::string>>>;

enum class TLdapStatus {
  NotLoaded,     // no library, or one of its entries missing
  NoConnection,  // ldap_open gave no connection
  BindFailed,    // the bind could not be sent
  NotSent,       // the write request could not be sent
  NoAnswer,      // no result within the wait
  Answered,      // the server answered; ErrorCode is its result code
};

constexpr int kLdapSuccess = 0;
constexpr int kLdapNoSuchObject = 32;
constexpr int kLdapResultWaitSeconds = 5;

struct TLdapOutcome {
  TLdapStatus Status = TLdapStatus::NotLoaded;
  int ErrorCode = -1;         // the server's result code when answered
  bool AddedInstead = false;  // an update found no entry and added it
  bool Succeeded() const { return Status == TLdapStatus::Answered && ErrorCode == kLdapSuccess; }
};

// Connects to the server, sends a simple bind (not awaited: the write queues behind it),
// writes the entry as mode says, waits for the write's result, and unbinds. Needs the library
// loaded.
TLdapOutcome WriteLdapEntry(const TLdapServer& server, const std::string& dn,
                            const TLdapAttributes& attributes, TLdapWriteMode mode);
