#include "base/FileStreams.h"

#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "base/FileSystemUnit.h"

std::FILE* OpenFileStream(const std::string& path, const char* mode) {
  return path.empty() ? nullptr : std::fopen(HostPath(path).c_str(), mode);
}

bool TruncateFileStream(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
#ifdef _WIN32
  return _chsize(_fileno(file), 0) == 0 && std::fseek(file, 0, SEEK_SET) == 0;
#else
  return ftruncate(fileno(file), 0) == 0 && std::fseek(file, 0, SEEK_SET) == 0;
#endif
}

TPathFacts PathFacts(const std::string& path) {
  TPathFacts facts;
  struct stat info {};
  if (path.empty() || ::stat(HostPath(path).c_str(), &info) != 0) return facts;
  facts.exists = true;
  facts.isRegularFile = S_ISREG(info.st_mode);
  facts.size = static_cast<std::uint64_t>(info.st_size);
  facts.modified = static_cast<std::int64_t>(info.st_mtime);
  return facts;
}
