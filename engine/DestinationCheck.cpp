#ifdef _WIN32
#include <windows.h>
#endif

#include "engine/DestinationCheck.h"

#include <cctype>

#include "base/StringUnit.h"
#include "engine/SetupState.h"
#include "serverconfig/StoreFolders.h"

namespace {

const char* const kDeviceNames[] = {"CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4",   "COM5",
                                    "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3", "LPT4",   "LPT5",
                                    "LPT6", "LPT7", "LPT8", "LPT9", "CONIN$", "CONOUT$", "CLOCK$"};

bool IsSlash(char c) { return c == '\\' || c == '/'; }

std::vector<std::string> Segments(const std::string& folder) {
  std::vector<std::string> segments(1);
  for (const char c : folder) {
    if (IsSlash(c)) {
      if (!segments.back().empty()) segments.emplace_back();
    } else {
      segments.back() += c;
    }
  }
  if (segments.back().empty()) segments.pop_back();
  return segments;
}

// "nul", "NUL.txt" and "com1 " all name the device, wherever they stand in a path.
std::string DeviceNameIn(const std::string& folder) {
  for (const std::string& segment : Segments(folder)) {
    std::string base = UpperCase(segment.substr(0, segment.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (const char* device : kDeviceNames)
      if (base == device) return segment;
  }
  return std::string();
}

bool IsShare(const std::string& folder) { return folder.size() >= 2 && IsSlash(folder[0]) && IsSlash(folder[1]); }

// "C:\" of "C:\Program Files\Zarel\" (empty for a share).
std::string DriveOf(const std::string& folder) {
  if (folder.size() >= 2 && std::isalpha(static_cast<unsigned char>(folder[0])) && folder[1] == ':')
    return folder.substr(0, 2) + "\\";
  return std::string();
}

// The existing folders of the path, from the folder itself up to (not including) its drive.
std::vector<std::string> ExistingLevels(const std::string& folder, const std::string& drive,
                                        const TDestinationFacts& facts) {
  std::vector<std::string> levels;
  std::string path = NormalizePath(folder, false, false);
  while (path.size() > drive.size()) {
    if (facts.Inspect(path).exists) levels.push_back(path);
    const std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos) break;
    path.erase(slash);
  }
  return levels;
}

std::string PathTextProblem(const std::string& folder) {
  if (folder.rfind("\\\\?\\", 0) == 0 || folder.rfind("\\\\.\\", 0) == 0 || folder.rfind("//./", 0) == 0)
    return "a device path";
  if (folder.find(':', 2) != std::string::npos) return "a ':' after the drive names an alternate data stream";
  if (const std::string device = DeviceNameIn(folder); !device.empty()) return "\"" + device + "\" is a device name";
  if (IsShare(folder))
    return "a network share: the services run as LocalSystem and would run programs from another machine";
  if (Segments(folder).size() <= 1) return "the root folder of a drive: its list lets users change what it holds";
  return std::string();
}

std::string ParentProblem(const std::string& folder, const std::string& drive, const std::vector<std::string>& levels) {
  const std::string self = NormalizePath(folder, false, false);
  if (!levels.empty() && levels.front() == self) return std::string();
  const std::size_t slash = self.find_last_of("\\/");
  const std::string parent = slash == std::string::npos ? std::string() : self.substr(0, slash);
  if (parent.size() < drive.size() || (!levels.empty() && levels.front() == parent)) return std::string();
  return "its parent folder " + parent + "\\ does not exist (the setup makes only the installation folder itself)";
}

// Ours when config\ holds the settings file of the suite's store, or when a stopped run of ours
// began a first installation there.
bool HoldsOurInstallation(const std::string& folder, const TDestinationFacts& facts) {
  if (!facts.UnfinishedInstallation.empty() &&
      SameText(NormalizePath(facts.UnfinishedInstallation, true, false), folder))
    return true;
  const TNameFacts settings = facts.Inspect(folder + "config\\" + kSettingsFileName);
  return settings.exists && !settings.isDirectory && !settings.isLink;
}

}  // namespace

std::string DestinationProblem(const std::string& folder, const TDestinationFacts& facts) {
  if (const std::string problem = PathTextProblem(folder); !problem.empty()) return problem;
  const std::string drive = DriveOf(folder);
  if (facts.IsNetworkDrive(drive))
    return "a network drive: the services run as LocalSystem and would run programs from another machine";
  const std::vector<std::string> levels = ExistingLevels(folder, drive, facts);
  for (const std::string& level : levels)
    if (facts.Inspect(level).isLink) return level + " is a link (junction or symbolic link) to another place";
  if (const std::string problem = ParentProblem(folder, drive, levels); !problem.empty()) return problem;
  const std::string nearest = levels.empty() ? drive : NormalizePath(levels.front(), true, false);
  if (!facts.KeepsAccessLists(nearest))
    return "its volume keeps no access lists (FAT): every user could change the programs";
  const std::string top = NormalizePath(folder, true, false);
  if (levels.empty() || levels.front() != NormalizePath(folder, false, false)) return std::string();
  if (!facts.Inspect(top).isDirectory) return top + " is a file";
  if (!facts.List(top).empty() && !HoldsOurInstallation(top, facts))
    return "it holds files but no installation of the mail server (config\\" + std::string(kSettingsFileName) +
           "): what someone put there would run inside the services";
  return std::string();
}

std::string MissingParentProblem(const std::string& folder, const TDestinationFacts& facts) {
  const std::string drive = DriveOf(folder);
  return ParentProblem(folder, drive, ExistingLevels(folder, drive, facts));
}

TDestinationFacts MachineDestinationFacts() {
  TDestinationFacts facts;
  facts.Inspect = [](const std::string& path) { return InspectName(path); };
  facts.List = [](const std::string& folder) { return ListDirectory(folder, "*"); };
  facts.UnfinishedInstallation = SetupState().UnfinishedInstallation;
#ifdef _WIN32
  facts.IsNetworkDrive = [](const std::string& drive) {
    return !drive.empty() && GetDriveTypeA(drive.c_str()) == DRIVE_REMOTE;
  };
  facts.KeepsAccessLists = [](const std::string& folder) {
    if ((GetVersion() & 0x80000000u) != 0) return true;  // Windows 9x: no volume keeps any
    char root[MAX_PATH + 1] = {};
    DWORD flags = 0;
    // A volume that cannot be asked counts as keeping them: setting the lists will tell.
    if (!GetVolumePathNameA(folder.c_str(), root, sizeof root) ||
        !GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0))
      return true;
    return (flags & FILE_PERSISTENT_ACLS) != 0;
  };
#else
  facts.IsNetworkDrive = [](const std::string&) { return false; };
  facts.KeepsAccessLists = [](const std::string&) { return true; };
#endif
  return facts;
}
