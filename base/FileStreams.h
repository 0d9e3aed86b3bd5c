// The files that readers open as C streams (the store, whole-file reads and writes, the
// archive reader on POSIX hosts) and what they ask of a path. The host's fopen and stat
// (FileStreamsHost.cpp) in the product; the fuzz build links a file system held in memory
// instead (FileSystemMemory.cpp), so a harness touches no disk.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// fopen of a Windows-form path; null when it does not open.
std::FILE* OpenFileStream(const std::string& path, const char* mode);

// Empties a stream opened for writing and puts it back at its start.
bool TruncateFileStream(std::FILE* file);

struct TPathFacts {
  bool exists = false;
  bool isRegularFile = false;  // neither a folder nor a pipe or device
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // seconds since 1970, 0 when unknown
};
TPathFacts PathFacts(const std::string& path);
