// Fuzz target for the data-archive reader: each input is written to a file of its own and
// extracted into a fresh folder with the option sets the setup uses, then everything is removed.
// A second extraction into the same folder runs the existence test and the keep list.
#include <atomic>
#include <cstdint>
#include <cstdio>
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string folder = ScratchFolder();
  ForceDirectories(folder);
  const std::string archive = folder + "input.dat";
  std::FILE* file = std::fopen(HostPath(archive).c_str(), "wb");
  if (file == nullptr) return 0;
  const bool written = std::fwrite(data, 1, size, file) == size;
  std::fclose(file);
  if (written) {
    const std::string out = folder + "out\\";
    ExtractArchive(archive, out, true, "");
    ExtractArchive(archive, out, false, "");
    ExtractArchive(archive, out, false, ";slapd.conf;schema\\core.schema;a;");
  }
  RemoveFolderTree(folder);
  return 0;
}
