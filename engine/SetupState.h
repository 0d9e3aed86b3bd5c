// The one process-wide record shared by the wizard and the install engine.
//
// Created zeroed at start-up and alive until the program ends; the start-up fills it from
// the registry and the earlier installation, the wizard pages and the install sequence
// complete it. Portable: no <windows.h>.
#pragma once

#include <array>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "system/ServerTable.h"

// The servers of the suite, indexed by ServerKind (SMTP, POP3/IMAP, web/control, instant
// messaging, groupware): the per-kind arrays below follow the server table.
constexpr int kServerKindCount = static_cast<int>(std::size(kInstalledServers));
static_assert(
    [] {
      for (int kind = 0; kind < kServerKindCount; ++kind)
        if (kInstalledServers[kind] != kind) return false;
      return true;
    }(),
    "the installed servers are the kinds 0 to kServerKindCount - 1, in order");

// The start type recorded for no server (kNoStartType of the service installation).
constexpr std::int32_t kNoRecordedStartType = -1;
constexpr std::array<std::int32_t, kServerKindCount> NoRecordedStartTypes() {
  std::array<std::int32_t, kServerKindCount> types{};
  types.fill(kNoRecordedStartType);
  return types;
}

struct TSetupState {
  std::string InstallDir;        // ends in '\'
  std::string ConfigDir;         // InstallDir + "config\"
  std::string SystemDir;         // ends in '\'
  std::string InstalledVersion;  // at most 255 characters; empty on a first installation
  bool OlderThan534 = false;
  bool WebMailOutdated = false;
  std::string ProductsXmlUrl;
  // Components left out (true = not installed); engine/ComponentTable.h ties each to its
  // component.
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
  // Per server kind: the start type before an upgrade; kNoRecordedStartType when none was
  // recorded.
  std::array<std::int32_t, kServerKindCount> PreviousStartType = NoRecordedStartTypes();
  // The first-run page's values as applied (trimmed); never the password.
  std::string FirstRunHostName;
  std::string FirstRunDomain;
  std::string FirstRunAdministrator;
  // The servers the install sequence's last check found not running (display names), after
  // the warning named them; an unattended run ends with its own exit code then.
  std::vector<std::string> ServersNotRunning;
  // What a stopped run left for this one to finish (engine/RunRecovery): the folder of a first
  // installation it had not seeded, the upgrade commands it sent already, the demonstration
  // message it still owed, the servers it had stopped.
  std::string UnfinishedInstallation;
  int UpgradeCommandsSent = 0;
  bool DemonstrationMessageOwed = false;
  bool FirstRunOwed = false;  // a stopped first installation never reached its first run
  std::vector<int> ServersStoppedEarlier;
};

// The process-wide record.
TSetupState& SetupState();
// Back to the start-up state (everything empty, no start types recorded).
void ResetSetupState();

constexpr char ProductVersion[] = "8.2.0";

// The setup program's own folder, with a trailing '\': the data archives, info.xml,
// License.txt and Setup.lng are looked for there.
std::string SetupFolder();
