// POSIX backend of the file-system helpers, for the host build of the portable modules.
// Paths keep their Windows form everywhere else; '\' becomes '/' only here.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

#include "base/FileSystemBackend.h"
#include "base/FileSystemUnit.h"

namespace {

// Owns one descriptor.
class TDescriptor {
 public:
  explicit TDescriptor(int fd = -1) : fd_(fd) {}
  ~TDescriptor() { Reset(); }
  TDescriptor(const TDescriptor&) = delete;
  TDescriptor& operator=(const TDescriptor&) = delete;
  int Get() const { return fd_; }
  void Reset(int fd = -1) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// Fills the kind of an entry from lstat-like information; false for pipes and devices.
bool DescribeEntry(const struct stat& info, bool linkTargetIsDirectory, fsbackend::DirEntry& entry) {
  entry.isLink = S_ISLNK(info.st_mode);
  entry.isDirectory = entry.isLink ? linkTargetIsDirectory : S_ISDIR(info.st_mode);
  if (!entry.isLink && !entry.isDirectory && !S_ISREG(info.st_mode)) return false;
  entry.isReadOnly = (info.st_mode & S_IWUSR) == 0;
  entry.size = S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size) : 0;
  return true;
}

// An entry of a tree walk: a folder is held by its own descriptor, opened with O_NOFOLLOW
// relative to its parent's; files and links are removed by name relative to the parent
// descriptor, which never follows a link.
class TPosixNode final : public fsbackend::TTreeNode {
 public:
  TPosixNode(int parent, std::string name, fsbackend::NodeKind kind, int fd, bool readOnly)
      : parent_(parent), name_(std::move(name)), kind_(kind), fd_(fd), readOnly_(readOnly) {}

  fsbackend::NodeKind Kind() const override { return kind_; }
  bool IsReadOnly() const override { return readOnly_; }

  std::vector<fsbackend::TreeEntry> List(const std::string& mask) override {
    std::vector<fsbackend::TreeEntry> entries;
    const int copy = kind_ == fsbackend::NodeKind::Folder ? dup(fd_.Get()) : -1;
    DIR* dir = copy >= 0 ? fdopendir(copy) : nullptr;
    if (dir == nullptr) {
      if (copy >= 0) close(copy);
      return entries;
    }
    rewinddir(dir);
    while (const dirent* item = readdir(dir)) {
      const std::string name = item->d_name;
      if (name == "." || name == ".." || !MaskMatches(mask, name)) continue;
      struct stat info {};
      if (fstatat(fd_.Get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
      fsbackend::TreeEntry entry;
      entry.name = name;
      entry.fileId = info.st_ino;
      struct stat target {};
      const bool targetIsDirectory = S_ISLNK(info.st_mode) &&
                                     fstatat(fd_.Get(), name.c_str(), &target, 0) == 0 &&
                                     S_ISDIR(target.st_mode);
      DescribeEntry(info, targetIsDirectory, entry);
      entries.push_back(entry);
    }
    closedir(dir);
    return entries;
  }

  std::unique_ptr<fsbackend::TTreeNode> Open(const fsbackend::TreeEntry& entry, bool) override {
    if (kind_ != fsbackend::NodeKind::Folder) return nullptr;
    return OpenBelow(fd_.Get(), entry.name);
  }

  // name below the folder parent: a folder is opened, anything else only looked at.
  static std::unique_ptr<TPosixNode> OpenBelow(int parent, const std::string& name) {
    struct stat info {};
    if (fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return nullptr;
    if (S_ISLNK(info.st_mode))
      return std::make_unique<TPosixNode>(parent, name, fsbackend::NodeKind::Link, -1, false);
    if (!S_ISDIR(info.st_mode)) {
      return std::make_unique<TPosixNode>(parent, name, fsbackend::NodeKind::File, -1,
                                          (info.st_mode & S_IWUSR) == 0);
    }
    const int fd = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) return std::make_unique<TPosixNode>(parent, name, fsbackend::NodeKind::Folder, fd, false);
    // Swapped for a link since it was looked at: the link itself is what the name holds now.
    if ((errno == ELOOP || errno == ENOTDIR) &&
        fstatat(parent, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode))
      return std::make_unique<TPosixNode>(parent, name, fsbackend::NodeKind::Link, -1, false);
    return nullptr;
  }

  bool Remove(bool) override {
    switch (kind_) {
      case fsbackend::NodeKind::File:
      case fsbackend::NodeKind::Link:
        return unlinkat(parent_, name_.c_str(), 0) == 0;
      case fsbackend::NodeKind::Folder:
        fd_.Reset();
        return unlinkat(parent_, name_.c_str(), AT_REMOVEDIR) == 0;
      case fsbackend::NodeKind::LeftAlone:
        break;
    }
    return false;
  }

  // The top node owns the descriptor of its parent folder.
  void AdoptParent(int parent) { ownedParent_.Reset(parent); }

 private:
  TDescriptor ownedParent_;
  int parent_;
  std::string name_;
  fsbackend::NodeKind kind_;
  TDescriptor fd_;
  bool readOnly_;
};

}  // namespace

namespace fsbackend {

bool CreateSingleDirectory(const std::string& path) {
  return mkdir(HostPath(path).c_str(), 0777) == 0;
}

std::vector<DirEntry> ListDirectory(const std::string& folder, const std::string& mask, bool* opened) {
  std::vector<DirEntry> entries;
  const std::string host = HostPath(folder);
  DIR* dir = opendir(host.c_str());
  if (opened != nullptr) *opened = dir != nullptr;
  if (dir == nullptr) return entries;
  while (const dirent* item = readdir(dir)) {
    const std::string name = item->d_name;
    if (name == "." || name == ".." || !MaskMatches(mask, name)) continue;
    const std::string path = host + "/" + name;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) continue;
    struct stat target {};
    const bool targetIsDirectory =
        S_ISLNK(info.st_mode) && stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
    DirEntry entry;
    entry.name = name;
    if (DescribeEntry(info, targetIsDirectory, entry)) entries.push_back(entry);
  }
  closedir(dir);
  return entries;
}

std::unique_ptr<TTreeNode> OpenTreeTop(const std::string& folder, TopState& state) {
  state = TopState::Missing;
  std::string path = HostPath(folder);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t cut = path.find_last_of('/');
  const std::string parent = cut == std::string::npos ? "." : cut == 0 ? "/" : path.substr(0, cut);
  const std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
  if (name.empty() || name == "." || name == "..") {
    state = TopState::NotFolder;
    return nullptr;
  }
  const int parentFd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parentFd < 0) return nullptr;
  std::unique_ptr<TPosixNode> top = TPosixNode::OpenBelow(parentFd, name);
  if (!top) {
    close(parentFd);
    return nullptr;
  }
  top->AdoptParent(parentFd);
  if (top->Kind() != NodeKind::Folder) {
    state = top->Kind() == NodeKind::Link ? TopState::Link : TopState::NotFolder;
    return nullptr;
  }
  state = TopState::Opened;
  return top;
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

TNameFacts InspectName(const std::string& path) {
  TNameFacts facts;
  std::string name = HostPath(path);
  while (name.size() > 1 && name.back() == '/') name.pop_back();
  struct stat info {};
  if (lstat(name.c_str(), &info) != 0) return facts;
  facts.exists = true;
  facts.isLink = S_ISLNK(info.st_mode);
  facts.isDirectory = S_ISDIR(info.st_mode);
  facts.names = static_cast<std::uint32_t>(info.st_nlink);
  return facts;
}

std::FILE* OpenFileForWriting(const std::string& path, TWriteMode mode) {
  int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC;
  if (mode == TWriteMode::CreateNew) flags |= O_EXCL;
  if (mode == TWriteMode::Append) flags |= O_APPEND;
  const int fd = open(HostPath(path).c_str(), flags, 0600);
  if (fd < 0) return nullptr;
  // A file that another name in another place also reaches is refused before it is emptied.
  struct stat info {};
  const bool usable = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink <= 1;
  if (!usable || (mode == TWriteMode::Replace && ftruncate(fd, 0) != 0)) {
    close(fd);
    if (!usable) errno = EMLINK;
    return nullptr;
  }
  std::FILE* stream = fdopen(fd, mode == TWriteMode::Append ? "ab" : "wb");
  if (stream == nullptr) close(fd);
  return stream;
}

void RunProgram(void*, const std::string&, const std::string&, const std::string&,
                const std::string&, int) {}
