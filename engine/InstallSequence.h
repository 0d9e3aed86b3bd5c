// The install sequence: the one long operation of the wizard. It stops the suite's running
// servers, unpacks Setup.Dat, puts every file in place, seeds a new server's configuration
// (or leaves an existing one's alone), creates shortcuts and the uninstall entry, installs and
// starts the services, and sends the version-upgrade commands of an upgrade.
//
// It reads as a list of named steps run by one loop (InstallSteps): each step's condition is
// part of the list, the loop logs every step's start, end and duration and stops between
// steps when the person confirmed Cancel. A failure after the servers were stopped puts them
// back (start types restored, the servers that ran started again) before the program ends.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/SetupState.h"

// The whole installation, run while the wizard shows its installing page, from the setup
// record: ChosenFolder, the component flags, AdvancedConsole, InstalledVersion,
// WebMailOutdated. Reports through CurrentUI(); a failure raises a TSetupFailure (after the
// servers were put back), which the caller hands to EndWithFailure.
void InstallSequence();

// What one run of the sequence knows besides the setup record.
struct TInstallRun {
  explicit TInstallRun(TSetupState& state) : State(state) {}
  TSetupState& State;
  std::string ExtractionFolder;
  bool FirstInstallation = false;
  // Set once the servers have been stopped: from then on a failure puts them back.
  bool ServersStopped = false;
  // The kinds that ran when the sequence stopped them.
  std::vector<int> RanBefore;
  // The customer's files among those the components keep (PresentKeptFiles before placement).
  std::set<std::string> CustomerFiles;
};

struct TInstallStep {
  const char* Name;
  std::function<bool(const TInstallRun&)> Applies;  // null: always
  std::function<void(TInstallRun&)> Run;            // null: a progress step
};

// The steps in their order; twelve of them advance the progress bar.
std::vector<TInstallStep> InstallSteps();

// One version-upgrade command: message 0x500 with two parameters to a server kind, sent when
// the installed version is older than Before.
struct TUpgradeCommand {
  const char* Before;
  int Kind;
  std::uint32_t First;
  std::uint32_t Second;
};
// The commands an upgrade from installedVersion sends, in order (none for an empty version).
std::vector<TUpgradeCommand> PlanUpgradeCommands(const std::string& installedVersion);

// A folder for Setup.Dat that this run creates itself: tempFolder + "zarelinstall\" when that
// does not exist yet, else the name with a number; setupFolder + "temp\" stands in for a
// missing temporary folder. Accepted only when created now with access for SYSTEM and the
// administrators alone, so nothing planted there beforehand is installed. Empty when no
// folder could be made.
std::string CreateExtractionFolder(const std::string& tempFolder, const std::string& setupFolder);

// The server's temporary, mail and log folders := installation folder + "temp\", "mail\",
// "logs\" in the loaded settings record.
void SetServerFolders();
// Deletes what belongs to the components left out, as the uninstall would (their programs and
// folders, the antivirus engine through its own uninstaller first); of the files the
// components keep, the customer's (customerFiles, PresentKeptFiles before placement) stay.
// Failures are logged.
void RemoveDeselectedComponents(const std::set<std::string>& customerFiles);
