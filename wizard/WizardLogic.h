// The wizard's decisions that do not need a window: the first-run field check, the user
// name without a domain, the new-version question, the component list against the setup
// state, and which folders the destination accepts. Portable.
#pragma once

#include <array>
#include <string>

#include "engine/ComponentTable.h"
#include "engine/SetupState.h"

// Next on the first-run page: host, domain, user and password are not blank (trimmed) and
// the confirmation equals the password exactly (case-sensitive, untrimmed). What the values
// may hold is FirstRunValueProblem's (engine/FirstRunNames.h).
bool TutorialFieldsComplete(const std::string& host, const std::string& domain,
                            const std::string& user, const std::string& password,
                            const std::string& confirmation);

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
