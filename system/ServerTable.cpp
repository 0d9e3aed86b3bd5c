#include "system/ServerTable.h"

#include <windows.h>

namespace {

const TServerInfo kSmtp = {"ZarelSMTP", "smtp.exe", "Zarel Mail Server SMTP",
                           "Provides support for SMTP protocol.", "TSMTPForm", "SMTP"};
const TServerInfo kPop3 = {"ZarelPOP3", "pop3.exe", "Zarel Mail Server POP3 / IMAP",
                           "Provides support for POP3 and IMAP4 protocols.", "TPOP3Form", "POP3"};
const TServerInfo kControl = {"ZarelControl", "control.exe", "Zarel Mail Server Web / Control",
                              "Provides support for remote administration and web services.", "TControlForm",
                              "Control"};
const TServerInfo kIM = {"ZarelIM", "im.exe", "Zarel Instant Messaging Server",
                         "Provides support for Instant Messaging.", "TIMForm", "Instant Messaging Server"};
const TServerInfo kGroupWare = {"ZarelCalendar", "cal.exe", "Zarel GroupWare Server",
                                "Provides support for GroupWare & Calendaring.", "TGroupWareForm", "GroupWare"};
const TServerInfo kWebMail = {"QWebMail", "webmail.exe", "", "", "TWebMailForm", "Quenfor Web Mail"};
const TServerInfo kPop3Alias = {"ZarelPOP3", "pop3.exe", "", "", "TPOP3Form", "POP3"};
const TServerInfo kControlAlias = {"ZarelControl", "", "", "", "TControlForm", "Control"};

}  // namespace

const TServerInfo* FindServerInfo(int kind) {
  switch (kind) {
    case 0: return &kSmtp;
    case 1: return &kPop3;
    case 2: return &kControl;
    case 3: return &kIM;
    case 4: return &kGroupWare;
    case 6: return &kWebMail;
    case 8: return &kPop3Alias;
    case 10: return &kControlAlias;
    default: return nullptr;
  }
}

bool IsNTPlatform() {
  static const bool isNT = [] {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
  }();
  return isNT;
}
