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
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>

#include "base/FileStreams.h"
#include "base/FileSystemMemory.h"
#include "base/FileSystemBackend.h"
#include "base/FileSystemUnit.h"
#include "base/StringUnit.h"

namespace {

constexpr std::size_t kCapacity = 64u * 1024u * 1024u;

struct TNode {
  bool isDirectory = false;
  std::string name;  // the last component as first spelled
  std::shared_ptr<std::string> bytes;  // a file's contents; none for a folder
};

// Keys in byte order, found by a view of a key too. Compared here rather than by memcmp: a
// harness's every file operation compares keys, and the sanitizers hook each memcmp call.
struct TKeyOrder {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const {
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
      if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]);
    }
    return a.size() < b.size();
  }
};

struct TVolume {
  std::recursive_mutex mutex;
  std::map<std::string, TNode, TKeyOrder> nodes;  // key: resolved lower-case path, '\'-separated
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
// pass into fixed arrays, without allocating: every file operation resolves a path or two, and
// a harness runs tens of thousands of operations a second.
class TPath {
 public:
  explicit TPath(std::string_view path) {
    if (path.size() >= kMaxPath) return;
    if (!path.empty() && (path[0] == '\\' || path[0] == '/')) {
      key_[length_++] = '\\';
      components_[depth_++] = TComponent{1, 0, 1};  // the root
    }
    for (std::size_t from = 0; from <= path.size();) {
      std::size_t end = from;
      while (end < path.size() && path[end] != '\\' && path[end] != '/') ++end;
      const std::string_view part = path.substr(from, end - from);
      if (part.size() == 2 && part[0] == '.' && part[1] == '.') {
        if (depth_ > 1) length_ = components_[--depth_ - 1].keyEnd;
      } else if (!(part.size() == 1 && part[0] == '.')) {
        std::size_t last = part.size();
        while (last > 0 && (part[last - 1] == '.' || part[last - 1] == ' ')) --last;
        if (last > 0) Append(part.substr(0, last), from);
      }
      from = end + 1;
    }
    if (depth_ > 0) name_ = path.substr(components_[depth_ - 1].from, components_[depth_ - 1].length);
  }

  std::string_view Key() const { return {key_.data(), length_}; }
  // The last component as the caller spelled it (a view into the path given).
  std::string_view Name() const { return name_; }
  bool IsEmpty() const { return depth_ == 0; }
  bool IsRoot() const { return depth_ == 1; }
  std::size_t Depth() const { return depth_; }
  std::string_view ParentKey() const {
    return depth_ < 2 ? std::string_view() : std::string_view(key_.data(), components_[depth_ - 2].keyEnd);
  }

 private:
  static constexpr std::size_t kMaxPath = 260;
  struct TComponent {
    std::uint16_t keyEnd, from, length;  // where it ends in the key; where it stands in the path
  };

  // The key never outgrows the path: each component adds at most its own letters and the
  // separator that preceded it.
  void Append(std::string_view component, std::size_t from) {
    if (length_ > 0 && !(length_ == 1 && key_[0] == '\\')) key_[length_++] = '\\';
    for (char c : component) key_[length_++] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    components_[depth_++] = TComponent{static_cast<std::uint16_t>(length_), static_cast<std::uint16_t>(from),
                                       static_cast<std::uint16_t>(component.size())};
  }

  std::array<char, kMaxPath + 1> key_;
  std::size_t length_ = 0;
  std::array<TComponent, kMaxPath / 2 + 1> components_;
  std::size_t depth_ = 0;
  std::string_view name_;
};

TNode* Find(std::string_view key) {
  auto it = Volume().nodes.find(key);
  return it == Volume().nodes.end() ? nullptr : &it->second;
}

bool FolderExists(const TPath& path) {
  if (path.IsRoot()) return true;
  const TNode* node = Find(path.Key());
  return node != nullptr && node->isDirectory;
}

bool ParentExists(const TPath& path) {
  if (path.Depth() < 2) return false;
  if (path.Depth() == 2) return true;  // directly below a root
  const TNode* parent = Find(path.ParentKey());
  return parent != nullptr && parent->isDirectory;
}

TNode* CreateNode(const TPath& path, bool isDirectory) {
  if (!ParentExists(path) || Find(path.Key()) != nullptr) return nullptr;
  TNode node;
  node.isDirectory = isDirectory;
  node.name = path.Name();
  if (!isDirectory) node.bytes = std::make_shared<std::string>();
  return &Volume().nodes.emplace(std::string(path.Key()), std::move(node)).first->second;
}

// Keys of the entries directly inside a folder key.
std::vector<std::string> ChildKeys(std::string_view folderKey) {
  std::vector<std::string> keys;
  const std::string prefix = folderKey == "\\" ? std::string(folderKey) : std::string(folderKey) + "\\";
  for (auto it = Volume().nodes.lower_bound(prefix);
       it != Volume().nodes.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
    if (it->first.find('\\', prefix.size()) == std::string::npos) keys.push_back(it->first);
  }
  return keys;
}

void Forget(std::string_view key) {
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
  char buffer[512];  // the stream's buffer: the callers read and write in blocks of their own
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
    const std::string key(TPath(key_ + "\\" + entry.name).Key());
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
  for (const std::string& key : ChildKeys(resolved.Key())) {
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
  const TNode* node = Find(resolved.Key());
  if (node == nullptr) return nullptr;
  if (!node->isDirectory) {
    state = TopState::NotFolder;
    return nullptr;
  }
  state = TopState::Opened;
  return std::make_unique<TMemoryNode>(std::string(resolved.Key()), NodeKind::Folder);
}

bool PathIsDirectory(const std::string& path) {
  std::lock_guard lock(Volume().mutex);
  return FolderExists(TPath(path));
}

bool PathIsFile(const std::string& path) {
  std::lock_guard lock(Volume().mutex);
  const TNode* node = Find(TPath(path).Key());
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
  TNode* node = Find(resolved.Key());
  if (node != nullptr && node->isDirectory) return nullptr;
  if (node == nullptr) {
    if (reading) return nullptr;
    node = CreateNode(resolved, false);
    if (node == nullptr) return nullptr;
  } else if (!reading && !appending) {
    Volume().used -= std::min(Volume().used, node->bytes->size());
    node->bytes = std::make_shared<std::string>();  // "w": a fresh file; open readers keep theirs
  }
  auto* cookie = new TCookie{node->bytes, 0, appending, {}};
  std::FILE* file = fopencookie(cookie, mode, {CookieRead, CookieWrite, CookieSeek, CookieClose});
  if (file == nullptr) {
    delete cookie;
    return nullptr;
  }
  // The stream's buffer comes with the cookie: one allocation per open, not two.
  std::setvbuf(file, cookie->buffer, _IOFBF, sizeof cookie->buffer);
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
  const TNode* node = Find(resolved.Key());
  if (node == nullptr) return facts;
  facts.exists = true;
  facts.isRegularFile = !node->isDirectory;
  facts.size = node->isDirectory ? 0 : node->bytes->size();
  return facts;
}

bool CopyFile(const std::string& source, const std::string& target, bool failIfExists) {
  std::lock_guard lock(Volume().mutex);
  const TNode* from = Find(TPath(source).Key());
  if (from == nullptr || from->isDirectory) return false;
  const std::string bytes = *from->bytes;
  const TPath to(target);
  TNode* node = Find(to.Key());
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
  const TNode* node = Find(from.Key());
  // Windows refuses to move onto an existing file.
  if (node == nullptr || Find(to.Key()) != nullptr || !ParentExists(to)) return false;
  if (node->isDirectory && !ChildKeys(from.Key()).empty()) return false;  // no folder trees moved
  TNode moved = *node;
  moved.name = to.Name();
  Volume().nodes.erase(Volume().nodes.find(from.Key()));
  Volume().nodes.emplace(std::string(to.Key()), std::move(moved));
  return true;
}

bool DeleteFileAt(const std::string& path) {
  std::lock_guard lock(Volume().mutex);
  const TPath resolved(path);
  const TNode* node = Find(resolved.Key());
  if (node == nullptr || node->isDirectory) return false;
  Forget(resolved.Key());
  return true;
}

// The memory volume has neither links nor second names: every name is itself.
TNameFacts InspectName(const std::string& path) {
  std::lock_guard lock(Volume().mutex);
  TNameFacts facts;
  const TNode* node = Find(TPath(path).Key());
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

void ForgetAllMemoryFiles() {
  std::lock_guard lock(Volume().mutex);
  Volume().nodes.clear();
  Volume().used = 0;
  // A stream still open keeps its bytes, and they stay on the capacity's account.
  for (const auto& [file, cookie] : Volume().streams) Volume().used += cookie->bytes->size();
}

std::vector<std::string> AllMemoryFiles() {
  std::lock_guard lock(Volume().mutex);
  std::vector<std::string> files;
  for (const auto& [key, node] : Volume().nodes) {
    if (!node.isDirectory) files.push_back(key);
  }
  return files;
}
