// The suite's components, one row each: the item of the wizard's component list, the flag of
// the setup record that says it is left out (and the registry value that remembers it), what
// it puts into the installation folder, the server it brings, and what removing it keeps.
//
// The wizard's list and its checks, the stored choices, the service steps, the removal of a
// component left out on an upgrade and the uninstall all read this table; none of them names
// a component itself. Portable: no <windows.h>.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "engine/SetupState.h"
#include "system/ServerTable.h"

// What removing a component must do before its folder goes.
enum class TRemovalStep : unsigned char {
  None,
  AntivirusEngine,  // the engine's own uninstaller runs first (it unregisters what it installed)
};

// Files below a component's folder that are the customer's, not the setup's: placement never
// overwrites them and no removal deletes them (relative to the folder, lower case).
inline constexpr const char* kKeptSpamFiles[] = {"challenge.mdb", "rules\\local.cf"};

using TNameList = std::span<const char* const>;

// The mail services' programs: the core files in their copy order (a copy that fails ends the
// setup), then the COM library that the archive may lack.
inline constexpr const char* kMailServicesPrograms[] = {
    "smtp.exe",     "pop3.exe", "control.exe", "config.exe", "dnsquery.exe", "tool.exe",      "api.dll",
    "libeay32.dll", "libssl32.dll", "db.dll",  "ldap32.dll", "regex.dll",    "quenforcom.dll"};
inline constexpr TNameList kCoreFiles = TNameList(kMailServicesPrograms).first(std::size(kMailServicesPrograms) - 1);
// The folders the setup fills from its archives for the mail services; config\, mail\, logs\,
// ldap\, webmail\ and calendar\ hold the customer's data and belong to no row.
inline constexpr const char* kMailServicesFolders[] = {"help\\", "wizards\\", "modules\\", "html\\", "api\\",
                                                       "tutorial\\", "examples\\", "xml\\", "php\\"};
inline constexpr const char* kIMPrograms[] = {"im.exe"};
inline constexpr const char* kGroupWarePrograms[] = {"cal.exe"};
inline constexpr const char* kWebMailFolders[] = {"html\\mail\\"};
inline constexpr const char* kAntiSpamFolders[] = {"spam\\"};
inline constexpr const char* kAntiVirusFolders[] = {"avast\\"};

struct TComponentRow {
  const char* ListText;        // its item in the wizard's component list
  const char* AnswerWord;      // its word in the "components=" setting of an unattended run
  bool TSetupState::*LeftOut;  // its NoInstall... flag; null: always installed
  const char* FlagValue;       // that flag's value under the suite's registry key
  int StoredAt;                // the position of that value among the stored choices
  TNameList Programs;          // files in the installation folder
  TNameList Folders;           // folders below the installation folder, with all they hold
  TNameList Kept;              // files below those folders that no removal deletes
  int Server;                  // the server kind it brings (TServerKind), -1 for none
  TRemovalStep Removal;
  // The uninstall has always left this component's program in the folder (the next
  // installation replaces it); leaving the component out on an upgrade deletes it.
  bool UninstallLeavesProgram;
};

// In the order of the component list. Row 0, the mail services, is always installed.
inline constexpr TComponentRow kComponents[] = {
    {"Mail Services (SMTP, POP3, IMAP, LDAP, HTTP)", nullptr, nullptr, nullptr, -1, kMailServicesPrograms,
     kMailServicesFolders, {}, -1, TRemovalStep::None, false},
    {"WebMail", "webmail", &TSetupState::NoInstallWebMail, "NoInstallWebMail", 1, {}, kWebMailFolders, {}, -1,
     TRemovalStep::None, false},
    {"Anti-Spam", "antispam", &TSetupState::NoInstallIAS, "NoInstallIAS", 4, {}, kAntiSpamFolders, kKeptSpamFiles, -1,
     TRemovalStep::None, false},
    {"Anti-Virus", "antivirus", &TSetupState::NoInstallAV, "NoInstallAV", 3, {}, kAntiVirusFolders, {}, -1,
     TRemovalStep::AntivirusEngine, false},
    {"Instant Messaging", "im", &TSetupState::NoInstallIM, "NoInstallIM", 0, kIMPrograms, {}, {}, kIMServer,
     TRemovalStep::None, true},
    {"GroupWare", "groupware", &TSetupState::NoInstallCalendar, "NoInstallCalendar", 2, kGroupWarePrograms, {}, {},
     kGroupWareServer, TRemovalStep::None, false},
};
constexpr int kComponentCount = static_cast<int>(std::size(kComponents));
// Every row but the first can be left out, and each stored position is taken once.
constexpr int kStoredChoiceCount = kComponentCount - 1;

// True when the component is left out in this state (never for the mail services).
inline bool LeftOut(const TComponentRow& component, const TSetupState& state) {
  return component.LeftOut != nullptr && state.*component.LeftOut;
}

// True when the server kind belongs to a component left out in this state.
bool ServerLeftOut(const TSetupState& state, int serverKind);
