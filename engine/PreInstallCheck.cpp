#include <windows.h>

#include "engine/PreInstallCheck.h"

#include <algorithm>

#include "base/FileSystemUnit.h"
#include "base/StringUnit.h"
#include "base/TextFormat.h"
#include "engine/EngineSupport.h"
#include "engine/FailureUnit.h"
#include "engine/FilePlacementUnit.h"
#include "engine/InstallLog.h"
#include "engine/InstallSequence.h"
#include "texts/TextTable.h"

namespace {

constexpr char kSetupArchive[] = "Setup.Dat";
constexpr char kDemoArchive[] = "demo.dat";
constexpr std::uint32_t kDefaultCluster = 4096;
// Folders, the configuration store, the logs and the log's copy come on top of the files.
constexpr std::uint64_t kRoomForTheRest = 2u << 20;
constexpr std::uint64_t kMegabyte = 1u << 20;

std::uint64_t RoundUp(std::uint64_t bytes, std::uint32_t cluster) {
  return cluster == 0 ? bytes : (bytes + cluster - 1) / cluster * cluster;
}

// Bytes the entries take unpacked into a fresh folder.
std::uint64_t RoomToUnpack(const std::vector<TArchiveEntrySize>& entries, std::uint32_t cluster) {
  std::uint64_t room = 0;
  for (const TArchiveEntrySize& entry : entries) room += RoundUp(entry.Size, cluster);
  return room;
}

std::uint64_t ExistingSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The folder itself or its nearest parent that exists: the installation folder may not yet.
std::string NearestExistingFolder(std::string folder) {
  folder = NormalizePath(folder, true, false);
  while (!DirectoryExists(folder)) {
    const std::string parent = ExtractFilePath(NormalizePath(folder, false, false));
    if (parent.empty() || parent == folder) break;
    folder = parent;
  }
  return folder;
}

// One drive the run writes to, as the system sees it.
struct TDrive {
  std::string Folder;  // where the run writes (named in the box)
  std::string Volume;  // the volume's root, to tell whether two folders share one
  std::uint64_t Free = 0;
  std::uint32_t Cluster = kDefaultCluster;
  bool Known = false;  // the system answered; an unknown drive is not refused here
};

TDrive DriveOf(const std::string& folder) {
  TDrive drive;
  drive.Folder = folder;
  const std::string existing = NearestExistingFolder(folder);
  char volume[MAX_PATH + 1] = {};
  if (GetVolumePathNameA(existing.c_str(), volume, MAX_PATH)) drive.Volume = LowerCase(volume);
  ULARGE_INTEGER available{};
  drive.Known = GetDiskFreeSpaceExA(existing.c_str(), &available, nullptr, nullptr) != 0;
  drive.Free = available.QuadPart;
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  if (!drive.Volume.empty() &&
      GetDiskFreeSpaceA(volume, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters) &&
      sectorsPerCluster * bytesPerSector != 0)
    drive.Cluster = sectorsPerCluster * bytesPerSector;
  return drive;
}

std::string DescribeFault(const TArchiveReport& report) {
  const std::string entry = report.Entry.empty() ? std::string(cArchiveHeader) : report.Entry;
  switch (report.Fault) {
    case TArchiveFault::Cut: return FormatText(cArchiveCut, {entry});
    case TArchiveFault::DataDamaged: return FormatText(cArchiveDamaged, {entry});
    case TArchiveFault::Malformed: return FormatText(cArchiveMalformed, {entry});
    case TArchiveFault::Unreadable:
    case TArchiveFault::TargetNotWritten: {
      std::string reason = SystemErrorText(report.SystemError);
      if (!reason.empty() && reason.back() == '.') reason.pop_back();  // the box ends the sentence
      return FormatText(cArchiveUnreadable, {reason});
    }
    case TArchiveFault::None: break;
  }
  return std::string();
}

void FailOnArchive(const std::string& name, const TArchiveReport& report) {
  const std::string why = DescribeFault(report);
  InstallLog("Data file refused: " + name + ": " + why);
  Fail("Checking " + name, std::string(cErrorDataFile) + "\r\n\r\n" + FormatText(cDataFileProblem, {name, why}),
       report.SystemError);
}

std::string Megabytes(std::uint64_t bytes) { return std::to_string((bytes + kMegabyte - 1) / kMegabyte); }

// The room each drive needs; two folders on one volume add up.
void CheckRoom(const TDrive& extraction, std::uint64_t extractionNeed, const TDrive& install, std::uint64_t installNeed) {
  const bool shared = !extraction.Volume.empty() && extraction.Volume == install.Volume;
  for (const auto& [drive, need] : {std::pair{&install, installNeed + (shared ? extractionNeed : 0)},
                                    std::pair{&extraction, extractionNeed + (shared ? installNeed : 0)}}) {
    InstallLog("Room on the drive of " + drive->Folder + ": " + Megabytes(need) + " MB needed, " +
               (drive->Known ? Megabytes(drive->Free) + " MB free" : "free room unknown"));
    if (drive->Known && drive->Free < need)
      Fail("Checking the room on the drive of " + drive->Folder,
           FormatText(cNoRoom, {drive->Folder, Megabytes(need), std::to_string(drive->Free / kMegabyte)}),
           ERROR_DISK_FULL);
  }
}

}  // namespace

std::vector<TArchiveRead> ArchivesTheRunReads(const TSetupState& state, bool firstInstallation,
                                              const std::string& setupFolder) {
  const auto here = [&](const char* name) { return FileExists(setupFolder + name); };
  const auto read = [&](const char* name, const char* destination, bool extracted = false) {
    return TArchiveRead{name, setupFolder + name, destination, extracted};
  };
  std::vector<TArchiveRead> archives = {read(kSetupArchive, "", true)};
  if (!state.NoInstallAV && here("SetupAV.Dat")) archives.push_back(read("SetupAV.Dat", "avast\\", true));
  if (!state.NoInstallWebMail) archives.push_back(read("SetupWeb.Dat", "", true));
  if (here("Tutorial.Dat")) archives.push_back(read("Tutorial.Dat", "tutorial\\"));
  if (here("SetupLDAP.Dat")) archives.push_back(read("SetupLDAP.Dat", "ldap\\"));
  if (here("SetupPHP.Dat")) archives.push_back(read("SetupPHP.Dat", "php\\"));
  if (here("Other.dat")) archives.push_back(read("Other.dat", ""));
  if (firstInstallation && here("zarel.mcb")) archives.push_back(read("zarel.mcb", "config\\"));
  return archives;
}

std::string WebMailTarget(const std::string& entry) {
  const std::string html = "html\\";
  if (LowerCase(entry.substr(0, html.size())) == html) return "html\\mail\\" + entry.substr(html.size());
  return "webmail\\" + entry;
}

std::uint64_t RoomToPlace(const std::vector<TArchiveEntrySize>& entries, const std::string& folder,
                          const std::function<std::string(const std::string&)>& target,
                          const std::function<std::uint64_t(const std::string&)>& existingSize,
                          std::uint32_t clusterSize) {
  std::uint64_t room = 0;
  for (const TArchiveEntrySize& entry : entries) {
    const std::uint64_t wanted = RoundUp(entry.Size, clusterSize);
    const std::uint64_t present = RoundUp(existingSize(folder + target(entry.Name)), clusterSize);
    if (wanted > present) room += wanted - present;
  }
  return room;
}

void CheckBeforeFirstChange(const TSetupState& state, const std::string& installDir) {
  const bool firstInstallation = !DirectoryExists(installDir + "config\\");
  const std::string setupFolder = CompletedPlacementFolders().SetupFolder;
  const TDrive extraction = DriveOf(ExtractionParent(GetSpecialFolder(SpecialFolder::Temporary, true), SetupFolder()));
  const TDrive install = DriveOf(installDir);
  std::uint64_t extractionNeed = 0;
  std::uint64_t installNeed = kRoomForTheRest;

  const auto place = [&](const std::vector<TArchiveEntrySize>& entries, const std::string& destination, bool web) {
    const auto target = [&](const std::string& name) { return web ? WebMailTarget(name) : destination + name; };
    installNeed += RoomToPlace(entries, installDir, target, ExistingSize, install.Cluster);
  };
  for (const TArchiveRead& archive : ArchivesTheRunReads(state, firstInstallation, setupFolder)) {
    const bool setupData = archive.Name == kSetupArchive;
    const TArchiveReport report =
        CheckArchive(archive.Path, setupData && firstInstallation ? std::set<std::string>{kDemoArchive} : std::set<std::string>{});
    if (!report.Sound()) FailOnArchive(archive.Path, report);
    InstallLog("Data file read through: " + archive.Path + " (" + std::to_string(report.Entries.size()) + " entries)");
    if (archive.Extracted) extractionNeed += RoomToUnpack(report.Entries, extraction.Cluster);
    place(report.Entries, archive.Destination, archive.Name == "SetupWeb.Dat");
    if (setupData && report.Contents.count(kDemoArchive) != 0) {
      const std::string name = archive.Path + " (" + kDemoArchive + ")";
      const TArchiveReport demo = CheckArchiveBytes(report.Contents.at(kDemoArchive));
      if (!demo.Sound()) FailOnArchive(name, demo);
      place(demo.Entries, "config\\", false);
    }
  }
  // The setup program, readme.txt, releasenotes.txt and info.xml are copied from beside it.
  const TPlacementFolders folders = CompletedPlacementFolders();
  std::vector<TArchiveEntrySize> loose;
  for (const std::string& name : {folders.SetupProgram, std::string("readme.txt"), std::string("releasenotes.txt")})
    loose.push_back({name, ExistingSize(folders.SetupFolder + name)});
  place(loose, "", false);
  CheckRoom(extraction, extractionNeed, install, installNeed);
}
