// The first run's four values as the configuration store keeps them: the one check that the
// first-run page, the unattended settings (hostname=, domain=, admin=, the password file) and
// ApplyTutorialSettings itself apply, so that a value is refused in the same words wherever it
// is given, and nothing reaches the store that it would cut or that would leave the store.
//
//   host name  at most 127 characters (the settings' host-name field)
//   domain     at most 91 characters (the domain table's name field); labels of letters,
//              digits and hyphens between dots, no label empty or starting or ending with a
//              hyphen. A character beyond ASCII counts as a letter: the store keeps
//              international names in the ANSI code page (an "xn--" label is plain ASCII).
//   user name  at most 127 characters (the account name; aliases and full name keep more);
//              none of \ / : * ? " < > | nor ";" (the alias-list separator) nor control
//              characters, and not dots and blanks alone (no folder of its own)
//   password   at most 127 characters, as typed (the account's password field)
//
// Host name, domain and user name are looked at trimmed, as they are stored. A blank value is
// no problem here: the page waits for it, an unattended run refuses it on its own. Portable.
#pragma once

#include <cstddef>
#include <string>

#include "serverconfig/AccountRecord.h"
#include "serverconfig/DomainEntry.h"
#include "serverconfig/ServerSettings.h"

constexpr std::size_t kHostNameMax = settings::kHostName.Max;
constexpr std::size_t kUserNameMax = account::kAccountName.Max;
constexpr std::size_t kPasswordMax = account::kPassword.Max;

enum class TFirstRunField {
  None,      // nothing to object to
  HostName,
  Domain,
  User,
  Password,
};

struct TFirstRunProblem {
  TFirstRunField Field = TFirstRunField::None;
  // What the page shows and an unattended refusal says: a text of the text table, with the
  // limit filled in where it is one.
  std::string Text;
  explicit operator bool() const { return Field != TFirstRunField::None; }
};

TFirstRunProblem HostNameProblem(const std::string& hostName);
TFirstRunProblem DomainNameProblem(const std::string& domain);
TFirstRunProblem UserNameProblem(const std::string& user);
TFirstRunProblem PasswordProblem(const std::string& password);
// The first problem of the four, in the page's order.
TFirstRunProblem FirstRunValueProblem(const std::string& hostName, const std::string& domain,
                                      const std::string& user, const std::string& password);

// Finish on the first-run page: host, domain, user and password are not blank (trimmed) and
// the confirmation equals the password exactly (case-sensitive, untrimmed). What the values
// may hold is FirstRunValueProblem's.
bool TutorialFieldsComplete(const std::string& host, const std::string& domain, const std::string& user,
                            const std::string& password, const std::string& confirmation);

// Cuts the user name before its first '@' (an address typed where the name goes). True when it
// was cut.
bool CutUserAtSign(std::string& user);
