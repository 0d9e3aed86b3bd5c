// A file system held in memory, linked instead of the POSIX backend and FileStreamsHost.cpp
// in the fuzz build: a harness then runs the real helpers, the archive reader and the store
// without a disk, tens of thousands of inputs a second.
//
// It behaves as a Windows volume where that matters to an attacker's input: names compare
// without letter case, '/' and '\' both separate, "." and ".." are resolved and a component's
// trailing dots and spaces are dropped, as Win32 does before the file system sees a name. A
// path with no separator ("C:", "/") is a root that always exists. Everything is below one
// store; a file or folder is created only inside an existing folder. Writes beyond
// kCapacity bytes fail as on a full disk, so an inflating bomb costs no more than that.
#define _GNU_SOURCE 1
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "base/FileStreams.h"
#include "base/FileSystemBackend.h"
#include "base/FileSystemUnit.h"
#include "base/StringUnit.h"

namespace {

constexpr std::size_t kCapacity = 64u * 1024u * 1024u;

struct TNode {
  bool isDirectory = false;
  std::string name;  // the last component as first spelled
  std::shared_ptr<std::string> bytes = std::make_shared<std::string>();
};

struct TVolume {
  std::recursive_mutex mutex;
  std::map<std::string, TNode> nodes;  // key: resolved lower-case path, '\'-separated
  std::size_t used = 0;
  std::map<std::FILE*, struct TCookie*> streams;  // the open streams, for truncation
};

TVolume& Volume() {
  static TVolume volume;
  return volume;
}

// A path as Win32 resolves it: the key of the store (lower case, '\\'-joined; a leading
// separator or drive is the root) and the last component as spelled. A path longer than the
// ANSI calls take (MAX_PATH) resolves to nothing, so every operation on it fails. Built in one
// pass without allocating per component: every file operation resolves a path or two.
struct TPath {
  std::string key;
  std::string name;

  explicit TPath(const std::string& path) {
    if (path.size() >= kMaxPath) return;
    key.reserve(path.size() + 1);
    TComponent* top = components_.data();
    if (!path.empty() && (path[0] == '\\' || path[0] == '/')) {
      key = "\\";
      *top++ = TComponent{1, 0, 1};
    }
    for (std::size_t from = 0; from <= path.size();) {
      std::size_t end = path.find_first_of("\\/", from);
      if (end == std::string::npos) end = path.size();
      const std::size_t length = end - from;
      const bool dot = length == 1 && path[from] == '.';
      const bool dots = length == 2 && path[from] == '.' && path[from + 1] == '.';
      std::size_t last = end;
      while (!dot && !dots && last > from && (path[last - 1] == '.' || path[last - 1] == ' ')) --last;
      if (dots) {
        if (top - components_.data() > 1) {
          --top;
          key.resize(top[-1].keyEnd);
        }
      } else if (last > from && !dot) {
        if (!key.empty() && key != "\\") key += '\\';
        for (std::size_t i = from; i < last; ++i) key += LowerChar(path[i]);
        *top++ = TComponent{key.size(), from, last - from};
      }
      from = end + 1;
    }
    depth_ = static_cast<std::size_t>(top - components_.data());
    if (depth_ > 0) name = path.substr(top[-1].from, top[-1].length);
  }

  bool IsEmpty() const { return depth_ == 0; }
  bool IsRoot() const { return depth_ == 1; }
  std::size_t Depth() const { return depth_; }
  std::string ParentKey() const { return depth_ < 2 ? std::string() : key.substr(0, components_[depth_ - 2].keyEnd); }

 private:
  static constexpr std::size_t kMaxPath = 260;
  struct TComponent {
    std::size_t keyEnd, from, length;  // where it ends in key; where it stands in the path
  };
  static char LowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
  std::array<TComponent, kMaxPath / 2 + 1> components_;
  std::size_t depth_ = 0;
};

TNode* Find(const std::string& key) {
  auto it = Volume().nodes.find(key);
  return it == Volume().nodes.end() ? nullptr : &it->second;
}

bool FolderExists(const TPath& path) {
  if (path.IsRoot()) return true;
  const TNode* node = Find(path.key);
  return node != nullptr && node->isDirectory;
}

bool ParentExists(const TPath& path) {
  if (path.Depth() < 2) return false;
  if (path.Depth() == 2) return true;  // directly below a root
  const TNode* parent = Find(path.ParentKey());
  return parent != nullptr && parent->isDirectory;
}

TNode* CreateNode(const TPath& path, bool isDirectory) {
  if (!ParentExists(path) || Find(path.key) != nullptr) return nullptr;
  TNode node;
  node.isDirectory = isDirectory;
  node.name = path.name;
  return &(Volume().nodes[path.key] = std::move(node));
}

// Keys of the entries directly inside a folder key.
std::vector<std::string> ChildKeys(const std::string& folderKey) {
  std::vector<std::string> keys;
  const std::string prefix = folderKey == "\\" ? folderKey : folderKey + "\\";
  for (auto it = Volume().nodes.lower_bound(prefix);
       it != Volume().nodes.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    if (it->first.find('\\', prefix.size()) == std::string::npos) keys.push_back(it->first);
  }
  return keys;
}

void Forget(const std::string& key) {
  auto it = Volume().nodes.find(key);
  if (it == Volume().nodes.end()) return;
  if (it->second.bytes.use_count() == 1) Volume().used -= std::min(Volume().used, it->second.bytes->size());
  Volume().nodes.erase(it);
}

// An open stream: the file's bytes stay with it even when the name is removed meanwhile.
struct TCookie {
  std::shared_ptr<std::string> bytes;
  std::size_t position = 0;
  bool append = false;
};

ssize_t CookieRead(void* cookie, char* target, std::size_t size) {
  std::lock_guard lock(Volume().mutex);
  auto* open = static_cast<TCookie*>(cookie);
  const std::string& bytes = *open->bytes;
  const std::size_t step = open->position < bytes.size() ? std::min(size, bytes.size() - open->position) : 0;
  std::memcpy(target, bytes.data() + open->position, step);
  open->position += step;
  return static_cast<ssize_t>(step);
}

ssize_t CookieWrite(void* cookie, const char* source, std::size_t size) {
  std::lock_guard lock(Volume().mutex);
  auto* open = static_cast<TCookie*>(cookie);
  std::string& bytes = *open->bytes;
  if (open->append) open->position = bytes.size();
  const std::size_t end = open->position + size;
  const std::size_t growth = end > bytes.size() ? end - bytes.size() : 0;
  if (Volume().used + growth > kCapacity) return 0;  // a full disk: fwrite comes back short
  Volume().used += growth;
  if (end > bytes.size()) bytes.resize(end);
  std::memcpy(bytes.data() + open->position, source, size);
  open->position = end;
  return static_cast<ssize_t>(size);
}

int CookieSeek(void* cookie, off64_t* offset, int whence) {
  std::lock_guard lock(Volume().mutex);
  auto* open = static_cast<TCookie*>(cookie);
  const off64_t base = whence == SEEK_SET ? 0
                       : whence == SEEK_CUR ? static_cast<off64_t>(open->position)
                                            : static_cast<off64_t>(open->bytes->size());
  if (*offset < -base) return -1;
  *offset += base;
  open->position = static_cast<std::size_t>(*offset);
  return 0;
}

int CookieClose(void* cookie) {
  std::lock_guard lock(Volume().mutex);
  auto& streams = Volume().streams;
  for (auto it = streams.begin(); it != streams.end(); ++it) {
    if (it->second == cookie) {
      streams.erase(it);
      break;
    }
  }
  delete static_cast<TCookie*>(cookie);
  return 0;
}

class TMemoryNode final : public fsbackend::TTreeNode {
 public:
  TMemoryNode(std::string key, fsbackend::NodeKind kind) : key_(std::move(key)), kind_(kind) {}

  fsbackend::NodeKind Kind() const override { return kind_; }
  bool IsReadOnly() const override { return false; }

  std::vector<fsbackend::TreeEntry> List(const std::string& mask) override {
    std::lock_guard lock(Volume().mutex);
    std::vector<fsbackend::TreeEntry> entries;
    for (const std::string& key : ChildKeys(key_)) {
      const TNode& node = Volume().nodes[key];
      if (!MaskMatches(mask, node.name)) continue;
      fsbackend::TreeEntry entry;
      entry.name = node.name;
      entry.isDirectory = node.isDirectory;
      entry.size = node.isDirectory ? 0 : node.bytes->size();
      entries.push_back(entry);
    }
    return entries;
  }

  std::unique_ptr<fsbackend::TTreeNode> Open(const fsbackend::TreeEntry& entry, bool) override {
    std::lock_guard lock(Volume().mutex);
    const std::string key = TPath(key_ + "\\" + entry.name).key;
    const TNode* node = Find(key);
    if (node == nullptr) return nullptr;
    return std::make_unique<TMemoryNode>(key, node->isDirectory ? fsbackend::NodeKind::Folder
                                                                : fsbackend::NodeKind::File);
  }

  bool Remove(bool) override {
    std::lock_guard lock(Volume().mutex);
    if (kind_ == fsbackend::NodeKind::Folder && !ChildKeys(key_).empty()) return false;
    if (Find(key_) == nullptr) return false;
    Forget(key_);
    return true;
  }

 private:
  std::string key_;
  fsbackend::NodeKind kind_;
};

}  // namespace

namespace fsbackend {

bool CreateSingleDirectory(const std::string& path) {
  std::lock_guard lock(Volume().mutex);
  const TPath resolved(path);
  return !resolved.IsRoot() && CreateNode(resolved, true) != nullptr;
}

std::vector<DirEntry> ListDirectory(const std::string& folder, const std::string& mask, bool* opened) {
  std::lock_guard lock(Volume().mutex);
  std::vector<DirEntry> entries;
  const TPath resolved(folder);
  const bool exists = FolderExists(resolved);
  if (opened != nullptr) *opened = exists;
  if (!exists) return entries;
  for (const std::string& key : ChildKeys(resolved.key)) {
    const TNode& node = Volume().nodes[key];
    if (!MaskMatches(mask, node.name)) continue;
    DirEntry entry;
    entry.name = node.name;
    entry.isDirectory = node.isDirectory;
    entry.size = node.isDirectory ? 0 : node.bytes->size();
    entries.push_back(entry);
  }
  return entries;
}

std::unique_ptr<TTreeNode> OpenTreeTop(const std::string& folder, TopState& state) {
  std::lock_guard lock(Volume().mutex);
  const TPath resolved(folder);
  state = TopState::Missing;
  if (resolved.IsEmpty() || resolved.IsRoot()) {
    state = TopState::NotFolder;
    return nullptr;
  }
  const TNode* node = Find(resolved.key);
  if (node == nullptr) return nullptr;
  if (!node->isDirectory) {
    state = TopState::NotFolder;
    return nullptr;
  }
  state = TopState::Opened;
  return std::make_unique<TMemoryNode>(resolved.key, NodeKind::Folder);
}

bool PathIsDirectory(const std::string& path) {
  std::lock_guard lock(Volume().mutex);
  return FolderExists(TPath(path));
}

bool PathIsFile(const std::string& path) {
  std::lock_guard lock(Volume().mutex);
  const TNode* node = Find(TPath(path).key);
  return node != nullptr && !node->isDirectory;
}

std::string SystemFolder(int kind) {
  static const char* const folders[] = {"C:\\Temp\\", "C:\\Windows\\", "C:\\Windows\\System32\\"};
  return kind >= 0 && kind < 3 ? folders[kind] : std::string();
}

std::string RunningProgramPath() { return "C:\\Setup\\setup.exe"; }

}  // namespace fsbackend

std::string HostPath(const std::string& path) { return path; }

std::FILE* OpenFileStream(const std::string& path, const char* mode) {
  std::lock_guard lock(Volume().mutex);
  const std::string text = mode;
  const bool reading = text.find('r') != std::string::npos;
  const bool appending = text.find('a') != std::string::npos;
  const TPath resolved(path);
  if (resolved.IsEmpty() || resolved.IsRoot()) return nullptr;
  TNode* node = Find(resolved.key);
  if (node != nullptr && node->isDirectory) return nullptr;
  if (node == nullptr) {
    if (reading) return nullptr;
    node = CreateNode(resolved, false);
    if (node == nullptr) return nullptr;
  } else if (!reading && !appending) {
    Volume().used -= std::min(Volume().used, node->bytes->size());
    node->bytes = std::make_shared<std::string>();  // "w": a fresh file; open readers keep theirs
  }
  auto* cookie = new TCookie{node->bytes, 0, appending};
  std::FILE* file = fopencookie(cookie, mode, {CookieRead, CookieWrite, CookieSeek, CookieClose});
  if (file == nullptr) {
    delete cookie;
    return nullptr;
  }
  Volume().streams[file] = cookie;
  return file;
}

bool TruncateFileStream(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
  {
    std::lock_guard lock(Volume().mutex);
    const auto it = Volume().streams.find(file);
    if (it == Volume().streams.end()) return false;
    std::string& bytes = *it->second->bytes;
    Volume().used -= std::min(Volume().used, bytes.size());
    bytes.clear();
  }
  return std::fseek(file, 0, SEEK_SET) == 0;
}

TPathFacts PathFacts(const std::string& path) {
  std::lock_guard lock(Volume().mutex);
  TPathFacts facts;
  const TPath resolved(path);
  if (resolved.IsEmpty()) return facts;
  if (resolved.IsRoot()) {
    facts.exists = true;
    return facts;
  }
  const TNode* node = Find(resolved.key);
  if (node == nullptr) return facts;
  facts.exists = true;
  facts.isRegularFile = !node->isDirectory;
  facts.size = node->isDirectory ? 0 : node->bytes->size();
  return facts;
}

bool CopyFile(const std::string& source, const std::string& target, bool failIfExists) {
  std::lock_guard lock(Volume().mutex);
  const TNode* from = Find(TPath(source).key);
  if (from == nullptr || from->isDirectory) return false;
  const std::string bytes = *from->bytes;
  const TPath to(target);
  TNode* node = Find(to.key);
  if (node != nullptr && (failIfExists || node->isDirectory)) return false;
  if (node == nullptr) node = CreateNode(to, false);
  if (node == nullptr || Volume().used + bytes.size() > kCapacity) return false;
  Volume().used += bytes.size();
  node->bytes = std::make_shared<std::string>(bytes);
  return true;
}

bool MoveFile(const std::string& source, const std::string& target) {
  std::lock_guard lock(Volume().mutex);
  const TPath from(source);
  const TPath to(target);
  const TNode* node = Find(from.key);
  // Windows refuses to move onto an existing file.
  if (node == nullptr || Find(to.key) != nullptr || !ParentExists(to)) return false;
  if (node->isDirectory && !ChildKeys(from.key).empty()) return false;  // no folder trees moved
  TNode moved = *node;
  moved.name = to.name;
  Volume().nodes.erase(from.key);
  Volume().nodes[to.key] = std::move(moved);
  return true;
}

bool DeleteFileAt(const std::string& path) {
  std::lock_guard lock(Volume().mutex);
  const TPath resolved(path);
  const TNode* node = Find(resolved.key);
  if (node == nullptr || node->isDirectory) return false;
  Forget(resolved.key);
  return true;
}

// The memory volume has neither links nor second names: every name is itself.
TNameFacts InspectName(const std::string& path) {
  std::lock_guard lock(Volume().mutex);
  TNameFacts facts;
  const TNode* node = Find(TPath(path).key);
  if (node == nullptr) return facts;
  facts.exists = true;
  facts.isDirectory = node->isDirectory;
  facts.names = 1;
  return facts;
}

std::FILE* OpenFileForWriting(const std::string& path, TWriteMode mode) {
  if (mode == TWriteMode::CreateNew && InspectName(path).exists) return nullptr;
  return OpenFileStream(path, mode == TWriteMode::Append ? "ab" : "wb");
}

void RunProgram(void*, const std::string&, const std::string&, const std::string&,
                const std::string&, int) {}
