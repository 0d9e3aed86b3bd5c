// POSIX backend of the file-system helpers, for the host build of the portable modules.
// Paths keep their Windows form everywhere else; '\' becomes '/' only here.
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "base/FileSystemBackend.h"
#include "base/FileSystemUnit.h"

namespace {

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Windows wildcard match: '*' any run, '?' one character, letter case ignored.
bool WildcardMatch(const char* mask, const char* name) {
  if (*mask == '\0') return *name == '\0';
  if (*mask == '*') {
    for (const char* rest = name;; ++rest) {
      if (WildcardMatch(mask + 1, rest)) return true;
      if (*rest == '\0') return false;
    }
  }
  if (*name == '\0') return false;
  if (*mask != '?' && Lower(*mask) != Lower(*name)) return false;
  return WildcardMatch(mask + 1, name + 1);
}

// As Windows does, a mask ending in ".*" also matches names without any extension ("*.*"
// matches every name).
bool MaskMatches(const std::string& mask, const std::string& name) {
  if (WildcardMatch(mask.c_str(), name.c_str())) return true;
  if (mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0 &&
      name.find('.') == std::string::npos) {
    return WildcardMatch(mask.substr(0, mask.size() - 2).c_str(), name.c_str());
  }
  return false;
}

}  // namespace

namespace fsbackend {

bool CreateSingleDirectory(const std::string& path) {
  return mkdir(HostPath(path).c_str(), 0777) == 0;
}

bool RemoveEmptyDirectory(const std::string& path) { return rmdir(HostPath(path).c_str()) == 0; }

bool RemoveFile(const std::string& path) { return unlink(HostPath(path).c_str()) == 0; }

bool RemoveLink(const std::string& path, bool) { return unlink(HostPath(path).c_str()) == 0; }

std::vector<DirEntry> ListDirectory(const std::string& folder, const std::string& mask) {
  std::vector<DirEntry> entries;
  const std::string host = HostPath(folder);
  DIR* dir = opendir(host.c_str());
  if (dir == nullptr) return entries;
  while (const dirent* item = readdir(dir)) {
    const std::string name = item->d_name;
    if (name == "." || name == ".." || !MaskMatches(mask, name)) continue;
    struct stat info {};
    if (lstat((host + "/" + name).c_str(), &info) != 0) continue;
    DirEntry entry;
    entry.name = name;
    entry.isLink = S_ISLNK(info.st_mode);
    if (entry.isLink) {
      struct stat target {};
      entry.isDirectory = stat((host + "/" + name).c_str(), &target) == 0 && S_ISDIR(target.st_mode);
    } else {
      entry.isDirectory = S_ISDIR(info.st_mode);
    }
    entry.isReadOnly = (info.st_mode & S_IWUSR) == 0;
    entries.push_back(entry);
  }
  closedir(dir);
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return entries;
}

bool PathIsDirectory(const std::string& path) {
  struct stat info {};
  return stat(HostPath(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool PathIsFile(const std::string& path) {
  struct stat info {};
  return stat(HostPath(path).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

std::string SystemFolder(int kind) {
  if (kind != 0) return std::string();  // no Windows or System folder on this host
  const char* temp = std::getenv("TMPDIR");
  std::string folder = temp != nullptr && *temp != '\0' ? temp : "/tmp";
  if (folder.back() != '/') folder += '/';
  return folder;
}

std::string RunningProgramPath() {
  char buffer[PATH_MAX + 1] = {};
  const ssize_t length = readlink("/proc/self/exe", buffer, PATH_MAX);
  return length > 0 ? std::string(buffer, static_cast<std::size_t>(length)) : std::string();
}

}  // namespace fsbackend

std::string HostPath(const std::string& path) {
  std::string host = path;
  std::replace(host.begin(), host.end(), '\\', '/');
  return host;
}

bool CopyFile(const std::string& source, const std::string& target, bool failIfExists) {
  if (failIfExists && access(HostPath(target).c_str(), F_OK) == 0) return false;
  const int in = open(HostPath(source).c_str(), O_RDONLY);
  if (in < 0) return false;
  struct stat info {};
  fstat(in, &info);
  const int out = open(HostPath(target).c_str(), O_WRONLY | O_CREAT | O_TRUNC, info.st_mode & 0777);
  if (out < 0) {
    close(in);
    return false;
  }
  bool ok = true;
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(in, buffer, sizeof buffer);
    if (got < 0) ok = false;
    if (got <= 0) break;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = write(out, buffer + done, static_cast<std::size_t>(got - done));
      if (put <= 0) {
        ok = false;
        break;
      }
      done += put;
    }
    if (!ok) break;
  }
  close(in);
  if (close(out) != 0) ok = false;
  return ok;
}

bool MoveFile(const std::string& source, const std::string& target) {
  // Windows refuses to move onto an existing file; rename() would replace it.
  if (access(HostPath(target).c_str(), F_OK) == 0) return false;
  return rename(HostPath(source).c_str(), HostPath(target).c_str()) == 0;
}

bool DeleteFileAt(const std::string& path) { return unlink(HostPath(path).c_str()) == 0; }

void RunProgram(void*, const std::string&, const std::string&, const std::string&,
                const std::string&, int) {}
