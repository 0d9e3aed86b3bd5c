// The run journal: what a later run needs to finish a run that stopped (an error box, Cancel,
// a killed process, a power cut). The install sequence writes it before its first change,
// updates it as steps complete and removes it at the successful end; the start-up of the next
// run reads it (engine/RunRecovery). It is one text value, written whole in one call, so a
// reader sees the journal before or after an update, never half of one. Portable, pure.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/SetupState.h"

struct TRunJournal {
  std::string InstalledBefore;  // the installed Version before the run; empty: none
  std::string Installing;       // the version the run installs
  std::string InstallDir;       // ends in '\'
  bool FirstInstallation = false;
  bool Seeded = false;  // the first installation's store was seeded
  // The start types the run found (kNoRecordedStartType: none), and whether it put them back.
  std::array<std::int32_t, kServerKindCount> StartTypes = NoRecordedStartTypes();
  bool StartTypesRestored = false;
  std::vector<int> StoppedServers;  // kinds that ran before and were stopped by the run
  std::string ExtractionFolder;     // made by the run, not yet deleted
  bool VersionWritten = false;      // the suite's key holds Installing
  bool DemonstrationMessageSent = false;
  int UpgradeCommandsSent = 0;      // of PlanUpgradeCommands(InstalledBefore), in order
};

// One "name=value" line per field after a first line naming the format.
std::string JournalText(const TRunJournal& journal);
// Nothing for a text that is not a journal of this format or holds a value out of range.
std::optional<TRunJournal> ParseJournal(const std::string& text);
