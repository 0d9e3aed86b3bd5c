// The install sequence: the one long operation of the wizard. It stops the suite's running
// servers, unpacks Setup.Dat, puts every file in place, seeds a new server's configuration
// (or leaves an existing one's alone), creates shortcuts and the uninstall entry, installs and
// starts the services, and sends the version-upgrade commands of an upgrade.
//
// Every effect on the machine goes through TInstallMachine. Before its first change the
// sequence writes a journal of the run (engine/RunJournal) and keeps it up to date; a run that
// stops for any reason leaves it, and the next run's start-up finishes the job from it
// (engine/RunRecovery). The last step removes it.
//
// It reads as a list of named steps run by one loop (InstallSteps): each step's condition is
// part of the list, the loop logs every step's start, end and duration and stops between
// steps when the person confirmed Cancel. A failure puts back what the run changed for its own
// time (start types switched to automatic, the servers that ran) before the program ends.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/InstallMachine.h"
#include "engine/RunJournal.h"
#include "engine/SetupState.h"

// The whole installation, run while the wizard shows its installing page, from the setup
// record: ChosenFolder, the component flags, AdvancedConsole, InstalledVersion,
// WebMailOutdated and what a stopped run left to finish. Reports through CurrentUI(); a
// failure raises a TSetupFailure (after the servers were put back), which the caller hands to
// EndWithFailure. InstallSequence runs it on this machine (engine/RealInstallMachine).
void InstallSequence();
void RunInstallSequence(TInstallMachine& machine);

// What one run of the sequence knows besides the setup record.
struct TInstallRun {
  TInstallRun(TSetupState& state, TInstallMachine& machine) : State(state), Machine(machine) {}
  TSetupState& State;
  TInstallMachine& Machine;
  TRunJournal Journal;
  bool JournalOpen = false;  // written, not yet removed
  std::string ExtractionFolder;
  bool FirstInstallation = false;
  // Set once a disabled service was switched to automatic: from then on a failure puts the
  // start types back.
  bool StartTypesChanged = false;
  // Set once the servers have been stopped: from then on a failure starts them again.
  bool ServersStopped = false;
  // The kinds that ran when the sequence stopped them (or a stopped run before it).
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

// The commands an upgrade from installedVersion sends, in order (none for an empty version).
std::vector<TUpgradeCommand> PlanUpgradeCommands(const std::string& installedVersion);

// A folder for Setup.Dat that this run creates itself: tempFolder + "zarelinstall\" when that
// does not exist yet, else the name with a number; setupFolder + "temp\" stands in for a
// missing temporary folder. Accepted only when created now with access for SYSTEM and the
// administrators alone, so nothing planted there beforehand is installed. Empty when no
// folder could be made.
std::string CreateExtractionFolder(const std::string& tempFolder, const std::string& setupFolder);
// The folder the extraction folder is made in: the temporary folder, or setupFolder + "temp\"
// without one (the room check measures the same drive).
std::string ExtractionParent(const std::string& tempFolder, const std::string& setupFolder);

// The server's temporary, mail and log folders := installation folder + "temp\", "mail\",
// "logs\" in the loaded settings record.
void SetServerFolders();
// Deletes what belongs to the components left out, as the uninstall would (their programs and
// folders, the antivirus engine through its own uninstaller first); of the files the
// components keep, the customer's (customerFiles, PresentKeptFiles before placement) stay.
// Failures are logged.
void RemoveDeselectedComponents(const std::set<std::string>& customerFiles);
