#include "system/ServerTable.h"

#include <windows.h>

#include "base/FileSystemUnit.h"

namespace {

std::string serverFolder;

const TServerInfo kSmtpRow = {"ZarelSMTP", "smtp.exe", "Zarel Mail Server SMTP",
                           "Provides support for SMTP protocol.", "TSMTPForm", "SMTP"};
const TServerInfo kPop3Row = {"ZarelPOP3", "pop3.exe", "Zarel Mail Server POP3 / IMAP",
                           "Provides support for POP3 and IMAP4 protocols.", "TPOP3Form", "POP3"};
const TServerInfo kControlRow = {"ZarelControl", "control.exe", "Zarel Mail Server Web / Control",
                              "Provides support for remote administration and web services.", "TControlForm",
                              "Control"};
const TServerInfo kIMRow = {"ZarelIM", "im.exe", "Zarel Instant Messaging Server",
                         "Provides support for Instant Messaging.", "TIMForm", "Instant Messaging Server"};
const TServerInfo kGroupWareRow = {"ZarelCalendar", "cal.exe", "Zarel GroupWare Server",
                                "Provides support for GroupWare & Calendaring.", "TGroupWareForm", "GroupWare"};
const TServerInfo kWebMailRow = {"QWebMail", "webmail.exe", "", "", "TWebMailForm", "Quenfor Web Mail"};
const TServerInfo kPop3AliasRow = {"ZarelPOP3", "pop3.exe", "", "", "TPOP3Form", "POP3"};
const TServerInfo kControlAliasRow = {"ZarelControl", "", "", "", "TControlForm", "Control"};

}  // namespace

const TServerInfo* FindServerInfo(int kind) {
  switch (kind) {
    case kSmtpServer: return &kSmtpRow;
    case kPop3Server: return &kPop3Row;
    case kControlServer: return &kControlRow;
    case kIMServer: return &kIMRow;
    case kGroupWareServer: return &kGroupWareRow;
    case kWebMailServer: return &kWebMailRow;
    case kPop3Alias: return &kPop3AliasRow;
    case kControlAlias: return &kControlAliasRow;
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

void SetServerFolder(const std::string& folder) {
  serverFolder = folder.empty() ? std::string() : NormalizePath(folder, true, false);
}

std::string ServerFolder() { return serverFolder.empty() ? ProgramFolder() : serverFolder; }
