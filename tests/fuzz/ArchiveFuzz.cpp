// Fuzz target for the data-archive reader: each input is read through as the setup's check
// does, then extracted into a fresh folder with the option sets the setup uses; a second extraction into the same folder runs the existence test
// and the keep list. Whatever the archive names, nothing may appear outside the destination.
// The fuzz build keeps these files in memory; the replay of the seeds writes real ones.
#include <atomic>
#include <cstdint>
#include <string>

#include "archive/ArchiveUnit.h"
#include "base/FileSystemUnit.h"

namespace {

std::string ScratchFolder() {
  static std::atomic<unsigned> counter{0};
  // The counter's address differs per process (ASLR), so parallel fuzz jobs do not collide.
  static const std::string base = GetSpecialFolder(SpecialFolder::Temporary, false) + "zarel-fuzz-archive-" +
                                  std::to_string(reinterpret_cast<std::uintptr_t>(&counter)) + "-";
  return base + std::to_string(counter++) + "\\";
}

// Every file below folder, relative to it.
void CollectFiles(const std::string& folder, const std::string& relative, std::string& found) {
  for (const TDirEntry& entry : ListDirectory(folder, "*.*")) {
    if (entry.isDirectory && !entry.isLink) {
      CollectFiles(folder + entry.name + "\\", relative + entry.name + "\\", found);
    } else {
      found += relative + entry.name + "\n";
    }
  }
}

// The only things the scratch folder may hold: the archive, and the destination's tree.
void RequireNothingOutside(const std::string& folder) {
  std::string found;
  CollectFiles(folder, "", found);
  for (std::size_t from = 0; from < found.size();) {
    const std::size_t end = found.find('\n', from);
    const std::string name = found.substr(from, end - from);
    if (name != "input.dat" && name.rfind("deep\\er\\out\\", 0) != 0) __builtin_trap();
    from = end + 1;
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
    ExtractArchive(archive, out, false, "");
    ExtractArchive(archive, out, false, ";slapd.conf;schema\\core.schema;a;");
    RequireNothingOutside(folder);
  }
  RemoveFolderTree(folder);
  return 0;
}
