// What the install sequence checks before it changes anything: every data archive the run
// will read is read through once (complete, every compressed entry inflating with its checksum
// right), and the drives that receive the extraction folder and the installation have room for
// what will be placed there. A damaged or missing archive, or too little room, ends the run
// with a box before any registry key, start type or server is touched.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "archive/ArchiveUnit.h"
#include "engine/SetupState.h"

// One archive the run reads, and where its entries end up.
struct TArchiveRead {
  std::string Name;         // the archive's file name
  std::string Path;         // the archive beside the setup program
  std::string Destination;  // relative to the installation folder; web mail: see WebMailTarget
  bool Extracted = false;   // unpacked into the extraction folder first (room needed there too)
};

// The archives the run reads, from the component choices, the kind of run and the files that
// lie in setupFolder: Setup.Dat always; SetupAV.Dat when present and chosen; SetupWeb.Dat when
// web mail is chosen (missing, it is reported); Tutorial.Dat, SetupLDAP.Dat, SetupPHP.Dat,
// Other.dat when present; zarel.mcb when present on a first installation. demo.dat is checked
// inside Setup.Dat on a first installation.
std::vector<TArchiveRead> ArchivesTheRunReads(const TSetupState& state, bool firstInstallation,
                                              const std::string& setupFolder);

// Where an entry of the web mail archive is placed, relative to the installation folder.
std::string WebMailTarget(const std::string& entry);

// Bytes an archive's entries take below folder once placed, each rounded up to whole clusters;
// a file already there of the same name is replaced, so only growth counts.
std::uint64_t RoomToPlace(const std::vector<TArchiveEntrySize>& entries, const std::string& folder,
                          const std::function<std::string(const std::string&)>& target,
                          const std::function<std::uint64_t(const std::string&)>& existingSize,
                          std::uint32_t clusterSize);

// The whole check; raises the failure (Fail) that names the archive and the damage, or the
// drive and the room. installDir ends in '\'.
void CheckBeforeFirstChange(const TSetupState& state, const std::string& installDir);
