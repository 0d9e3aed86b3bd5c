// The demonstration message that proves a freshly started SMTP service at the end of a first
// installation: composed here from the text table and handed to the SMTP client as plain
// values (the network clients know no texts).
#pragma once

#include <string>

#include "net/NetDeadline.h"

// The demonstration domain demo.dat carries, and its mailboxes (installation data).
constexpr char kDemonstrationDomain[] = "demo.zarel.example";
extern const char kDemonstrationAdminMailbox[];
extern const char kDemonstrationUserMailbox[];

// The whole exchange with the local service ends by then: a service that accepts the
// connection and never answers must not hold the install sequence.
constexpr std::uint32_t kDemoMessageBudgetMs = 30000;

// Lets the window's pending messages through, so Cancel stays usable while the message is
// on its way, and asks to stop once the person confirmed Cancel.
bool LetMessagesThrough();

// From the demonstration user to the administrator, through the local SMTP service on the
// configured port; cancelled is asked between short waits. True when the service accepted
// it (the install sequence does not use the result; the tests do).
bool SendDemonstrationMessage(const TNetCancel& cancelled = LetMessagesThrough,
                              std::uint32_t budgetMs = kDemoMessageBudgetMs);
