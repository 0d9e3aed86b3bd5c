// The suite's servers: service names, program files, the texts of their services and the
// window class and title by which a tray program is found.
//
// ServerKind 0..4 are the five servers; 6 (web mail) and the aliases 8 (= 1) and 10 (= 2,
// without a program file) exist for the shared service functions only.
#pragma once

#include <string>

struct TServerInfo {
  const char* serviceName;
  const char* programFile;  // empty for kind 10
  const char* displayName;  // empty where no service is ever created
  const char* description;
  const char* windowClass;
  const char* windowTitle;
};

// The kinds; operations take them as the small integers the "restart" command word and the
// per-kind arrays of the setup record use.
enum TServerKind : int {
  kSmtpServer = 0,       // smtp.exe, service ZarelSMTP
  kPop3Server = 1,       // pop3.exe (POP3 and IMAP), service ZarelPOP3
  kControlServer = 2,    // control.exe (web and remote administration), service ZarelControl
  kIMServer = 3,         // im.exe (instant messaging), service ZarelIM
  kGroupWareServer = 4,  // cal.exe (groupware and calendar), service ZarelCalendar
  kWebMailServer = 6,    // the older separate web mail product's program
  kPop3Alias = 8,        // the POP3 server under an older number
  kControlAlias = 10,    // the control server without a program file: never started or ended by path
};

// The five servers the setup installs, in the order it handles them.
constexpr TServerKind kInstalledServers[] = {kSmtpServer, kPop3Server, kControlServer, kIMServer,
                                             kGroupWareServer};

// The table row of a kind, null for a kind that names no server.
const TServerInfo* FindServerInfo(int kind);

// The folder the servers are installed in (ends in '\'): the setup program's own folder until
// the engine knows the installation folder (the one-shot "restart" runs from there).
void SetServerFolder(const std::string& folder);
std::string ServerFolder();

// True on the NT family (servers are services), false on 9x (servers are tray programs).
// Decided once from the Windows version: the Service Control Manager may answer even where
// the version says 9x, so asking it would decide wrongly.
bool IsNTPlatform();
