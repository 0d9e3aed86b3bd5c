// Whether a folder may become the installation folder. The servers run as LocalSystem out of
// it and the elevated setup loads libraries from it, so it must be a place that only SYSTEM
// and Administrators can change, on this machine, reached by no link, and holding nothing that
// someone else put there. The destination page and the unattended run ask the same question
// before anything changes; the install sequence asks it once more.
// Portable: the machine is reached through TDestinationFacts.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/FileSystemUnit.h"

// What the check needs to know of the machine.
struct TDestinationFacts {
  std::function<TNameFacts(const std::string&)> Inspect;  // a name, not followed
  // Whether a drive ("C:\") is a network drive.
  std::function<bool(const std::string&)> IsNetworkDrive;
  // Whether the volume holding an existing folder keeps access lists (always true on Windows 9x,
  // which has none to keep anywhere).
  std::function<bool(const std::string&)> KeepsAccessLists;
  std::function<std::vector<TDirEntry>(const std::string&)> List;
  // The folder of a first installation that a stopped run of ours began and did not finish
  // (engine/RunRecovery): its files are the setup's own, so it is accepted without config\.
  std::string UnfinishedInstallation;
};

// Why folder (absolute, as the page or dir= gives it) may not be installed into; empty when
// it may: a drive's root, a network share or network drive, a device name, an alternate data
// stream, a link anywhere on its path, a volume without access lists, or an existing folder
// that holds something but no installation of ours (config\ with its settings file, or the
// unfinished first installation of a stopped run).
std::string DestinationProblem(const std::string& folder, const TDestinationFacts& facts);

// The installation folder is made one level deep, with its own list: unless it exists, the
// folder above it must (a drive's root always does). Why not, empty when it does. Found before
// the servers stop, not when the folder cannot be made. DestinationProblem includes it.
std::string MissingParentProblem(const std::string& folder, const TDestinationFacts& facts);

// The facts of the machine the setup runs on.
TDestinationFacts MachineDestinationFacts();
