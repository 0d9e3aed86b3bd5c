// The directory server's view of a user account: the parameters the setup takes from the
// directory server's slapd.conf, the inetOrgPerson entry written for an account, and the
// rules of ldapbypass.dat that keep addresses out of the directory.
//
// Everything here is plain text work; talking to the server is the LDAP client's business.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "serverconfig/AccountRecord.h"

constexpr const char* kDirectoryConfigFileName = "slapd.conf";
constexpr const char* kDirectoryBypassFileName = "ldapbypass.dat";

// slapd.conf: each line trimmed, empty lines skipped, tabs and runs of blanks taken as one
// blank; the first word, lower-cased, is the keyword, the rest of the line its value (one
// leading and one trailing double quote removed, then trimmed). The last line of a keyword
// wins; keywords other than these four are the server's own business.
struct TDirectoryConfig {
  std::string Suffix;        // "suffix"
  std::string UserSuffix;    // "usersuffix": where the accounts go, when not empty
  std::string BindName;      // "rootdn"
  std::string BindPassword;  // "rootpw", plain text as the server keeps it

  // Base of the account entries: usersuffix, else suffix. "%s" stands for the domain.
  std::string AccountSuffix() const { return UserSuffix.empty() ? Suffix : UserSuffix; }
};
TDirectoryConfig ParseDirectoryConfig(const std::vector<std::string>& lines);

// Attribute name -> values, in the order they are sent. An attribute without values is one
// the entry must not have: an add leaves it out, an update removes it.
using TDirectoryAttributes = std::vector<std::pair<std::string, std::vector<std::string>>>;

struct TDirectoryEntry {
  std::string Dn;  // UTF-8, attribute values escaped
  TDirectoryAttributes Attributes;
};

// An attribute value as it must stand in a distinguished name (UTF-8 in and out): "," "+"
// "\"" "\\" ";" "<" ">" "=" escaped with a backslash, a leading "#" or blank and a trailing
// blank likewise, control characters as "\XX". Without it an alias holding "," or "+" names
// another entry, or an entry in another subtree.
std::string EscapeDnValue(const std::string& value);

// The suffix with every "%s" replaced by the domain (UTF-8, escaped as a DN value). Other
// "%" characters stay as they are: the suffix is the administrator's text, not a format.
std::string FormatDirectorySuffix(const std::string& suffix, const std::string& domain);

// The entry of a user account of domain (account texts and domain in the ANSI code page;
// everything sent is UTF-8, as LDAP version 3 wants):
//   dn         "cn=" + escaped(aliases + "@" + domain) + "," + formatted suffix
//   objectClass inetOrgPerson
//   cn         the full name, or the surname when the name is empty; and the entry's own
//              naming value (aliases@domain), which the server insists on keeping
//   givenName  first word of the full name; no value (removed) for a one-word or empty name
//   sn         the rest of the full name, the one word, or the alias list for an empty name
//   mail       alias + "@" + domain per alias, in list order, each address once
TDirectoryEntry BuildDirectoryEntry(const TAccountRecord& account, const std::string& domain,
                                    const std::string& suffix);

// ldapbypass.dat (configuration folder): the addresses whose accounts stay out of the
// directory. One rule a line; lines are cleaned by the comment rule of the store's text files
// and empty ones skipped; letter case is ignored; angle brackets around a rule are dropped.
//   name@domain      that address; "*" and "?" wildcards on the full address
//                    ("sales*@example.com", "*@*.example.com")
//   @domain, domain  every address of that domain, wildcards allowed ("*.example.com");
//                    a line "*" keeps every account out
std::vector<std::string> ParseBypassRules(const std::vector<std::string>& lines);

// True when the account's address (the alias list + "@" + domain) matches no rule: only then
// is the account synchronised. Each alias of the list is tested; one listed alias is enough
// to keep the account out.
bool PassesBypassRules(const std::vector<std::string>& rules, const std::string& address);
