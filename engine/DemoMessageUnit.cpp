#include "engine/DemoMessageUnit.h"

#include "engine/InstallUI.h"
#include "net/NetSettings.h"
#include "net/SMTPClientUnit.h"
#include "texts/TextTable.h"

const char kDemonstrationAdminMailbox[] = "admin@demo.zarel.example";
const char kDemonstrationUserMailbox[] = "user@demo.zarel.example";

bool LetMessagesThrough() {
  CurrentUI().ProcessMessages();
  return CurrentUI().CancelRequested();
}

bool SendDemonstrationMessage(const TNetCancel& cancelled, std::uint32_t budgetMs) {
  return SendMailMessage(kDemonstrationAdminMailbox, kDemonstrationUserMailbox, kDemonstrationUserMailbox,
                         "127.0.0.1", cDemoMessage, cDemoMessageSubject, GetNetSettings().SmtpPort,
                         TNetDeadline::After(budgetMs), cancelled);
}
