// What the start-up does with a journal that a stopped run left (engine/RunJournal): it puts
// back what that run changed for its own time and hands the next run what it needs to finish
// the job. It runs before any page, right after the installed version is read, so that
// everything derived from the version sees the one the stopped run found. Portable: the
// machine is reached through TInstallMachine.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/InstallMachine.h"
#include "engine/RunJournal.h"
#include "engine/SetupState.h"

// The start types a service can have (the service manager's numbers).
constexpr std::int32_t kAutomaticStart = 2;
constexpr std::int32_t kDisabledStart = 4;

struct TRecoveryPlan {
  // The suite's key holds a version the journal's run neither found nor wrote: another setup
  // ran since, so only the leftovers go (the extraction folder, the journal).
  bool Stale = false;
  std::vector<std::pair<int, std::int32_t>> StartTypes;  // kind, start type to put back
  std::string InstalledVersion;                         // what this run takes as installed
  int UpgradeCommandsSent = 0;
  std::string UnfinishedInstallation;  // a first installation not yet seeded: its folder
  bool DemonstrationMessageOwed = false;
  // The stopped run was a first installation: its first run (the primary domain and its
  // administrator) never came, whatever step it reached, so it belongs to the next run.
  bool FirstRunOwed = false;
  std::vector<int> StoppedServers;
  std::string ExtractionFolder;  // to delete
};

// The decisions, from the journal, the installed version as the suite's key gives it and the
// services' start types now. A start type is put back only where the stopped run left it as it
// made it (a disabled service on automatic) and had not put it back itself: whatever an
// administrator chose since stays.
TRecoveryPlan PlanRecovery(const TRunJournal& journal, const std::string& installedVersion,
                           const std::array<std::int32_t, kServerKindCount>& startTypesNow);

// Reads the journal through the machine, logs what it found and did, carries the plan out and
// fills the setup record (InstalledVersion and what the next run must finish). Gives one line
// that says so, empty when no journal was found.
std::string RecoverStoppedRun(TInstallMachine& machine, TSetupState& state);
