// The install sequence's one way to the machine: every effect it has on files, the registry,
// services, processes and the configuration store goes through TInstallMachine. The program
// runs the real one (engine/RealInstallMachine); the engine's native test runs a recording
// fake that can fail or stop any call, so the sequence and the recovery of a stopped run are
// proven without Windows. Calls are coarse where the fault handling belongs to the machine:
// PlaceFiles, for instance, names the file and the system's reason and looks at Cancel
// between files itself. A call that cannot do its part raises a TSetupFailure (Fail).
// Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "engine/SetupState.h"

// One version-upgrade command: message 0x500 with two parameters to a server kind, sent when
// the installed version is older than Before.
struct TUpgradeCommand {
  const char* Before;
  int Kind;
  std::uint32_t First;
  std::uint32_t Second;
};

class TInstallMachine {
 public:
  virtual ~TInstallMachine() = default;

  // --- looks, which change nothing ---
  // Every data archive the run reads is whole and the drives have room (raises the failure).
  virtual void CheckDataFilesAndRoom(const TSetupState& state) = 0;
  // Why the folder may not be installed into; empty when it may (DestinationProblem).
  virtual std::string DestinationProblem(const std::string& installDir) = 0;
  virtual bool FolderExists(const std::string& folder) = 0;
  // True on the NT family: the servers are services with start types.
  virtual bool ServicesPlatform() = 0;
  // The files of the components that are the customer's, present before placement.
  virtual std::set<std::string> CustomerFiles(const std::string& installDir) = 0;
  // The service's start type; kNoRecordedStartType when there is no service.
  virtual std::int32_t StartType(int kind) = 0;
  virtual bool ServerRunning(int kind) = 0;
  virtual std::string ServerName(int kind) = 0;   // display name, for the boxes
  virtual std::string ServiceName(int kind) = 0;  // service name, for the log
  // A fresh name for the extraction folder (nothing is made yet).
  virtual std::string NewExtractionFolderName() = 0;

  // --- the run journal: one registry value only administrators write, set in one call ---
  virtual std::string ReadJournal() = 0;  // empty when there is none
  virtual bool WriteJournal(const std::string& text) = 0;
  virtual void RemoveJournal() = 0;

  // --- changes ---
  virtual void MigrateRegistry() = 0;
  virtual void StoreComponentChoices(const TSetupState& state) = 0;
  // The servers' folder and the placement folders follow the installation folder.
  virtual void UseInstallationFolder(const TSetupState& state) = 0;
  virtual bool SetStartType(int kind, std::int32_t startType) = 0;
  // Stops every server of the suite that runs (by force when it will not stop) and decides
  // per kind whether its service must be created (ServiceToCreate).
  virtual void StopServers(TSetupState& state) = 0;
  // Starts a server that ran before a failure and waits for it; false when it does not run.
  virtual bool StartServerAgain(int kind) = 0;
  // Makes the folder, private to SYSTEM and the administrators: 0 when it was made now, else the
  // system's reason (ERROR_ALREADY_EXISTS when something of that name was there already).
  virtual std::uint32_t CreateExtractionFolder(const std::string& folder) = 0;
  virtual void ExtractSetupData(const std::string& extractionFolder) = 0;
  virtual void PlaceFiles(const TSetupState& state) = 0;
  virtual void UnpackShippedConfiguration(const TSetupState& state) = 0;
  virtual void SeedConfiguration(const TSetupState& state, const std::string& extractionFolder) = 0;
  virtual void StoreConsoleLayout(const TSetupState& state) = 0;
  virtual void PatchWebServer() = 0;
  // Start-menu links, the uninstall entry and the suite's key with InstallDir and Version.
  virtual void ShortcutsAndUninstallEntry(const TSetupState& state) = 0;
  virtual void RemoveLeftOutComponents(const TSetupState& state, const std::set<std::string>& customerFiles) = 0;
  virtual void CreateAndStartServices(TSetupState& state) = 0;
  virtual void DeleteFolder(const std::string& folder) = 0;
  virtual void LetServersSettle() = 0;
  virtual bool SendDemonstrationMessage() = 0;
  // Display names of the servers that do not run (after the warning that names them).
  virtual std::vector<std::string> CheckServersRun(const TSetupState& state) = 0;
  virtual bool SendUpgradeCommand(const TUpgradeCommand& command) = 0;
  virtual void KeepLogIn(const std::string& installDir) = 0;
};
