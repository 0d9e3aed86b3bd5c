// The wizard's decisions that do not need a window: the first-run field check, the user
// name without a domain, the new-version question, the component list against the setup
// state, and which folders the destination accepts. Portable.
#pragma once

#include <array>
#include <string>

#include "engine/ComponentTable.h"
#include "engine/SetupState.h"

// Next on the first-run page: host, domain, user and password are not blank (trimmed) and
// the confirmation equals the password exactly (case-sensitive, untrimmed).
bool TutorialFieldsComplete(const std::string& host, const std::string& domain,
                            const std::string& user, const std::string& password,
                            const std::string& confirmation);

// The domain and the user name become folders of the store (config\<domain>\,
// mail\<domain>\<user>\): each must name exactly one folder there, never one outside it.
// A plausible domain name (trimmed): at most 91 characters (what the domain table keeps), none
// of \ / : * ? " < > | nor control characters, and no empty label ("a..b", ".a", "a.").
bool IsPlausibleDomainName(const std::string& domain);
// A user name (trimmed): not empty, without those characters and not made of dots alone
// (".." would name the domain's own folder).
bool IsPlausibleUserName(const std::string& user);

enum class TFirstRunProblem {
  None,
  Domain,  // a domain that is typed but no plausible domain name
  User,    // a user name that holds a path character
};
// Why Finish stays disabled although the fields may be complete; blank fields are no problem
// of their own (Finish waits for them silently).
TFirstRunProblem FirstRunNameProblem(const std::string& domain, const std::string& user);

// Cuts the user name before its first '@'. True when it was cut.
bool CutUserAtSign(std::string& user);

// The question is asked only for a version newer than the running one.
bool ShouldOfferNewerVersion(bool found, const std::string& latestVersion);

// The items of the component list, one per row of the component table; item 0 (the mail
// services) is always checked.
using TComponentChecks = std::array<bool, kComponentCount>;
TComponentChecks ComponentChecks(const TSetupState& state);
// The items back into the flags (a flag is set when its item is not checked).
void StoreComponentChecks(const TComponentChecks& checks, TSetupState& state);

// An absolute folder: a drive letter, ':' and '\' (or '/'), or a "\\server\share\" path
// with both names present. Anything else would install relative to the current folder. No
// segment may be ".." (or dots alone): the folder shown is the folder installed into.
bool IsAcceptableFolder(const std::string& folder);

// The page number after a Back (tag 0) or Next (tag 1), modulo 256.
unsigned char NextPageIndex(unsigned char page, int senderTag);
