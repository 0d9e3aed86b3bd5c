// Fuzz target for the data-archive reader: each input is read through as the setup's check
// does, then extracted into a fresh folder; a second extraction into the same folder runs the
// existence test and the keep list. Whatever the archive names, nothing may appear outside the destination.
// The fuzz build keeps these files in memory and empties the volume after each input; the
// replay of the seeds writes real ones.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "archive/ArchiveUnit.h"
#include "base/FileSystemUnit.h"
#include "base/StringUnit.h"

#ifdef ZAREL_MEMORY_FILES
#include "base/FileSystemMemory.h"
#endif

namespace {

#ifdef ZAREL_MEMORY_FILES
// The volume is emptied after every input, so one folder serves them all.
std::string ScratchFolder() { return GetSpecialFolder(SpecialFolder::Temporary, false) + "zarel-fuzz-archive\\"; }

// Every file on the whole volume, as the volume spells it (lower case): an entry that escaped
// the scratch folder altogether is among them too.
std::vector<std::string> FilesLeft(const std::string&) { return AllMemoryFiles(); }

void ForgetScratch(const std::string&) { ForgetAllMemoryFiles(); }
#else
std::string ScratchFolder() {
  static std::atomic<unsigned> counter{0};
  // The counter's address differs per process (ASLR), so parallel replays do not collide.
  static const std::string base = GetSpecialFolder(SpecialFolder::Temporary, false) + "zarel-fuzz-archive-" +
                                  std::to_string(reinterpret_cast<std::uintptr_t>(&counter)) + "-";
  return base + std::to_string(counter++) + "\\";
}

void CollectFiles(const std::string& folder, std::vector<std::string>& found) {
  for (const TDirEntry& entry : ListDirectory(folder, "*.*")) {
    if (entry.isDirectory && !entry.isLink) {
      CollectFiles(folder + entry.name + "\\", found);
    } else {
      found.push_back(LowerCase(folder + entry.name));
    }
  }
}

// Every file below folder, in lower case.
std::vector<std::string> FilesLeft(const std::string& folder) {
  std::vector<std::string> found;
  CollectFiles(folder, found);
  return found;
}

void ForgetScratch(const std::string& folder) { RemoveFolderTree(folder); }
#endif

// The only things the scratch folder may hold: the archive, and the destination's tree; and
// nothing may be outside it.
void RequireNothingOutside(const std::string& folder) {
  const std::string archive = LowerCase(folder + "input.dat");
  const std::string destination = LowerCase(folder + "deep\\er\\out\\");
  for (const std::string& file : FilesLeft(folder)) {
    if (file != archive && file.rfind(destination, 0) != 0) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string folder = ScratchFolder();
  const std::string archive = folder + "input.dat";
  WriteWholeFile(std::string(reinterpret_cast<const char*>(data), size), archive, false);
  if (FileExists(archive)) {
    const std::string out = folder + "deep\\er\\out\\";
    // The read-through sees what the extraction sees: an extraction into an empty folder that
    // completes was preceded by a sound check, and an unsound check by a failed extraction.
    const TArchiveReport check = CheckArchive(archive, {"demo.dat"});
    if (check.Contents.count("demo.dat") != 0) CheckArchiveBytes(check.Contents.at("demo.dat"));
    if (ExtractArchive(archive, out, true, "") != check.Sound() && !check.Sound()) __builtin_trap();
    // The existence test and the keep list see the files of the first extraction (an archive
    // with no entry at all has nothing for them to decide). The keep list's run decides every
    // entry both ways: kept when listed, overwritten when not.
    if (!check.Entries.empty()) ExtractArchive(archive, out, false, ";slapd.conf;schema\\core.schema;a;");
    RequireNothingOutside(folder);
  }
  ForgetScratch(folder);
  return 0;
}
