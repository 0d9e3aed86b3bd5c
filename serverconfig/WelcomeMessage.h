// The welcome message: the first message a new mailbox holds, when the settings ask for one.
// messages.dat in the configuration folder says which text each domain's new accounts get:
//
//   # comment lines and comments as in every text file of the store
//   example.com=welcome-example.txt
//   *=welcome.txt                       every other domain
//   other.test welcome-other.txt        a line without "=" takes its first blank for one
//
// The key (before the first "=") is a domain in any letter case, or "*"; the value (up to a
// second "=") names the text, relative names in the folder of messages.dat. The first line
// whose key is the account's domain or "*" decides. Variables in the text (see
// MessageVariables.h) are filled in for the account. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "serverconfig/AccountRecord.h"
#include "serverconfig/MessageVariables.h"

struct TWelcomeRule {
  std::string Key;   // lower case
  std::string File;  // as written
};
std::vector<TWelcomeRule> ParseWelcomeRules(const std::vector<std::string>& lines);
// The first rule for domain or "*", null when none applies.
const TWelcomeRule* FindWelcomeRule(const std::vector<TWelcomeRule>& rules, const std::string& domain);

// Where the message goes: mailbox + "welcome.tmp", or with the IMAP layout
// mailbox + "inbox\welcome.imap".
std::string WelcomeTarget(const TAccountRecord& account);
// The MS-DOS date (high word) and time (low word) of a moment.
std::uint32_t DosDateTime(const TLocalMoment& moment);
// First line of an IMAP message file: two zero fields and the arrival time, 24 hex digits.
std::string ImapFirstLine(const TLocalMoment& moment);

enum class TWelcomeOutcome {
  Placed,            // written (and its variables filled in)
  PlacedUnexpanded,  // written, but the variables could not be filled in
  NoMessagesFile,    // messages.dat missing or unreadable
  NoRule,            // no line for the domain or "*"
  NoMailbox,         // the account names no mailbox
  NotCreated,        // the message file could not be written
};
struct TWelcomeResult {
  TWelcomeOutcome Outcome = TWelcomeOutcome::NoMessagesFile;
  std::string Target;
};

// Places the welcome message messages.dat assigns to the account of domain.
TWelcomeResult PlaceWelcomeMessage(const std::string& messagesPath, const std::string& domain,
                                   const TAccountRecord& account);
const char* WelcomeOutcomeName(TWelcomeOutcome outcome);
