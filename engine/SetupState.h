// The one process-wide record shared by the wizard and the install engine.
//
// Created zeroed at start-up and alive until the program ends; the start-up fills it from
// the registry and the earlier installation, the wizard pages and the install sequence
// complete it. Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The five servers of the suite, indexed by ServerKind 0..4 (SMTP, POP3/IMAP, web/control,
// instant messaging, groupware).
constexpr int kServerKindCount = 5;


struct TSetupState {
  std::string InstallDir;        // ends in '\'
  std::string ConfigDir;         // InstallDir + "config\"
  std::string SystemDir;         // ends in '\'
  std::string InstalledVersion;  // at most 255 characters; empty on a first installation
  bool OlderThan534 = false;
  bool WebMailOutdated = false;
  std::string ProductsXmlUrl;
  // Components left out (true = not installed).
  bool NoInstallWebMail = false;
  bool NoInstallIAS = false;
  bool NoInstallAV = false;
  bool NoInstallIM = false;
  bool NoInstallCalendar = false;
  bool IsUpgrade = false;
  // The installation folder as chosen on the destination page (or given unattended); the
  // install sequence normalises it into InstallDir.
  std::string ChosenFolder;
  // The console layout chosen on the interface-mode page: advanced (true) or basic.
  bool AdvancedConsole = true;
  bool WebMailInstalled = false;
  // Per server kind: the service must be created by the install sequence.
  bool ServiceToCreate[kServerKindCount] = {};
  // Per server kind: the start type before an upgrade; -1 (kNoStartType of the service
  // installation) when none was recorded.
  std::int32_t PreviousStartType[kServerKindCount] = {-1, -1, -1, -1, -1};
  // The first-run page's values as applied (trimmed); never the password.
  std::string FirstRunHostName;
  std::string FirstRunDomain;
  std::string FirstRunAdministrator;
  // The servers the install sequence's last check found not running (display names), after
  // the warning named them; an unattended run ends with its own exit code then.
  std::vector<std::string> ServersNotRunning;
};

// The process-wide record.
TSetupState& SetupState();
// Back to the start-up state (everything empty, no start types recorded).
void ResetSetupState();

constexpr char ProductVersion[] = "8.2.0";

// The setup program's own folder, with a trailing '\': the data archives, info.xml,
// License.txt and Setup.lng are looked for there.
std::string SetupFolder();
