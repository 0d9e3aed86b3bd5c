// ilds: packs, lists and extracts the setup's data archives.
//
//   ilds pack ARCHIVE SOURCE [--version N] [--raw | --zlib] [--headerless] [--level N]
//             [--header-length N]
//   ilds list ARCHIVE
//   ilds extract ARCHIVE DEST [--overwrite] [--keep LIST]
//   ilds check ARCHIVE
//
// SOURCE is a folder (every file below it, named by its relative path with '\', in byte
// order so that the same tree always gives the same archive) or @LISTFILE: one entry a line,
// "entry-name<TAB>source-file" or a relative path alone; relative source files are taken
// from the list file's folder, blank lines are skipped.
// check reads the archive through as the setup does before it changes anything (every entry
// inflated, its checksum checked, nothing written) and names the first damage.
// Exit codes: 0 done, 1 failed (for extract: ExtractArchive gave false; for check: damage), 2
// usage error.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/ArchiveUnit.h"
#include "base/FileSystemUnit.h"
#include "tools/ilds/ArchiveWriter.h"

namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

int Usage(const char* problem = nullptr) {
  if (problem != nullptr) std::fprintf(stderr, "ilds: %s\n", problem);
  std::fprintf(stderr,
               "usage: ilds pack ARCHIVE SOURCE|@LISTFILE [--version N] [--raw | --zlib] [--headerless]\n"
               "                 [--level N] [--header-length N]\n"
               "       ilds list ARCHIVE\n"
               "       ilds extract ARCHIVE DEST [--overwrite] [--keep LIST]\n"
               "       ilds check ARCHIVE\n");
  return kUsage;
}

bool ParseNumber(const char* text, unsigned long long max, unsigned long long& value) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  value = std::strtoull(text, &end, 10);
  return *end == '\0' && text[0] != '-' && value <= max;
}

struct TSourceFile {
  std::string entryName;  // '\'-separated
  std::string path;       // host form
};

bool ListTree(const std::string& folder, const std::string& relative, std::vector<TSourceFile>& files) {
  bool opened = false;
  const std::vector<TDirEntry> entries = ListDirectory(folder + relative, "*", &opened);
  bool ok = opened;
  for (const TDirEntry& entry : entries) {
    // A link would lead outside the tree; the archive holds only the plain files below it.
    if (entry.isLink) continue;
    if (entry.isDirectory)
      ok = ListTree(folder, relative + entry.name + "\\", files) && ok;
    else
      files.push_back({relative + entry.name, HostPath(folder + relative + entry.name)});
  }
  return ok;
}

bool ReadListFile(const std::string& listPath, std::vector<TSourceFile>& files) {
  std::FILE* list = std::fopen(HostPath(listPath).c_str(), "rb");
  if (list == nullptr) return false;
  std::string text;
  char buffer[4096];
  for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, list)) > 0;) text.append(buffer, got);
  const bool readOk = !std::ferror(list);
  std::fclose(list);
  if (!readOk) return false;

  std::string base = listPath;
  const std::size_t slash = base.find_last_of("\\/");
  base = slash == std::string::npos ? std::string() : base.substr(0, slash + 1);
  auto resolve = [&](std::string path) {
    const bool absolute = !path.empty() && (path[0] == '/' || path[0] == '\\' || path.find(':') != std::string::npos);
    return absolute ? path : base + path;
  };
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    const std::size_t tab = line.find('\t');
    TSourceFile file;
    if (tab != std::string::npos) {
      file.entryName = line.substr(0, tab);
      file.path = resolve(line.substr(tab + 1));
    } else {
      file.entryName = line;
      file.path = resolve(line);
    }
    std::replace(file.entryName.begin(), file.entryName.end(), '/', '\\');
    files.push_back(file);
  }
  return true;
}

int Pack(int argc, char** argv) {
  if (argc < 4) return Usage("pack needs ARCHIVE and SOURCE");
  const std::string archive = argv[2];
  const std::string source = argv[3];
  ilds::TPackOptions options;
  bool versionGiven = false;
  bool zlibGiven = false;
  for (int i = 4; i < argc; ++i) {
    const std::string option = argv[i];
    unsigned long long value = 0;
    if (option == "--version" && i + 1 < argc && ParseNumber(argv[i + 1], 0xFFFFFFFFull, value)) {
      options.version = static_cast<std::uint32_t>(value);
      versionGiven = true;
      ++i;
    } else if (option == "--level" && i + 1 < argc && ParseNumber(argv[i + 1], 9, value)) {
      options.level = static_cast<int>(value);
      ++i;
    } else if (option == "--header-length" && i + 1 < argc && ParseNumber(argv[i + 1], 0xFFFFFFFFull, value)) {
      options.headerLength = static_cast<std::uint32_t>(value);
      ++i;
    } else if (option == "--raw") {
      options.compressed = false;
    } else if (option == "--zlib") {
      options.compressed = true;
      zlibGiven = true;
    } else if (option == "--headerless") {
      options.headerless = true;
    } else {
      return Usage(("unknown or incomplete option " + option).c_str());
    }
  }
  if (options.headerless) {
    if (zlibGiven || (versionGiven && options.version != 0) || options.headerLength) {
      return Usage("--headerless archives are raw, version 0, without a header length");
    }
    options.compressed = false;
    options.version = 0;
  }

  std::vector<TSourceFile> files;
  if (!source.empty() && source[0] == '@') {
    if (!ReadListFile(source.substr(1), files)) {
      std::fprintf(stderr, "ilds: cannot read the list %s\n", source.c_str() + 1);
      return kFailed;
    }
  } else {
    if (!DirectoryExists(source)) {
      std::fprintf(stderr, "ilds: %s is not a folder\n", source.c_str());
      return kFailed;
    }
    const std::string folder = NormalizePath(source, true, true);
    if (!ListTree(folder, "", files)) {
      std::fprintf(stderr, "ilds: cannot read the whole of %s\n", source.c_str());
      return kFailed;
    }
    std::sort(files.begin(), files.end(),
              [](const TSourceFile& a, const TSourceFile& b) { return a.entryName < b.entryName; });
  }

  ilds::TArchiveWriter writer;
  bool ok = writer.Create(archive, options);
  for (const TSourceFile& file : files) {
    if (!ok) break;
    ok = writer.AddFile(file.entryName, file.path);
  }
  ok = writer.Close() && ok;
  if (!ok) {
    std::fprintf(stderr, "ilds: %s\n", writer.Error().c_str());
    return kFailed;
  }
  return kDone;
}

int List(int argc, char** argv) {
  if (argc != 3) return Usage("list needs exactly ARCHIVE");
  ilds::TArchiveFormat format;
  std::string error;
  const bool ok = ilds::ListArchive(argv[2], format, [](const ilds::TEntryInfo& entry) {
    std::printf("%s\t%ld\n", entry.name.c_str(), static_cast<long>(entry.size));
  }, error);
  if (!ok) {
    std::fflush(stdout);
    std::fprintf(stderr, "ilds: %s\n", error.c_str());
    return kFailed;
  }
  return kDone;
}

int Extract(int argc, char** argv) {
  if (argc < 4) return Usage("extract needs ARCHIVE and DEST");
  bool overwrite = false;
  std::string keepList;
  for (int i = 4; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--overwrite") {
      overwrite = true;
    } else if (option == "--keep" && i + 1 < argc) {
      keepList = argv[++i];
    } else {
      return Usage(("unknown or incomplete option " + option).c_str());
    }
  }
  if (!ExtractArchive(argv[2], argv[3], overwrite, keepList)) {
    std::fprintf(stderr, "ilds: extraction of %s failed or is incomplete\n", argv[2]);
    return kFailed;
  }
  return kDone;
}

int Check(int argc, char** argv) {
  if (argc != 3) return Usage("check needs ARCHIVE");
  static const char* const kFaults[] = {"sound", "unreadable", "cut short", "damaged data", "malformed entry",
                                        "not written"};
  const TArchiveReport report = CheckArchive(argv[2]);
  std::uint64_t bytes = 0;
  for (const TArchiveEntrySize& entry : report.Entries) bytes += entry.Size;
  if (report.Sound()) {
    std::printf("%s: sound, %zu entries, %llu bytes inflated\n", argv[2], report.Entries.size(),
                static_cast<unsigned long long>(bytes));
    return kDone;
  }
  std::fprintf(stderr, "ilds: %s: %s at %s\n", argv[2], kFaults[static_cast<int>(report.Fault)],
               report.Entry.empty() ? "the header" : report.Entry.c_str());
  return kFailed;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "pack") return Pack(argc, argv);
  if (command == "list") return List(argc, argv);
  if (command == "extract") return Extract(argc, argv);
  if (command == "check") return Check(argc, argv);
  return Usage(("unknown command " + command).c_str());
}
