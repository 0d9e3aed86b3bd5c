#include "base/FileSystemUnit.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <utility>

#include "base/FileStreams.h"
#include "base/FileSystemBackend.h"
#include "base/StringUnit.h"

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

char LowerChar(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// '*' any run, '?' one character, letter case ignored.
bool WildcardMatch(const char* mask, const char* name) {
  if (*mask == '\0') return *name == '\0';
  if (*mask == '*') {
    for (const char* rest = name;; ++rest) {
      if (WildcardMatch(mask + 1, rest)) return true;
      if (*rest == '\0') return false;
    }
  }
  if (*name == '\0') return false;
  if (*mask != '?' && LowerChar(*mask) != LowerChar(*name)) return false;
  return WildcardMatch(mask + 1, name + 1);
}

}  // namespace

std::string ShortPath(const std::string& path) {
  return path.size() > kShortPathMax ? path.substr(0, kShortPathMax) : path;
}

std::string NormalizePath(const std::string& path, bool addSeparator, bool convertSlashes) {
  if (path.empty()) return path;
  std::string result = path;
  if (convertSlashes) std::replace(result.begin(), result.end(), '/', '\\');
  if (!IsSeparator(result.back())) result += '\\';
  if (!addSeparator) result.pop_back();
  return result;
}

std::string ExtractFilePath(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::string ExtractFileName(const std::string& path) {
  const std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool DirectoryExists(const std::string& path) {
  return !path.empty() && fsbackend::PathIsDirectory(path);
}

bool FileExists(const std::string& path) { return !path.empty() && fsbackend::PathIsFile(path); }

bool IsAbsolutePath(const std::string& path) {
  const std::string text = ShortPath(path);
  return text.find(':') != std::string::npos || text.find("\\\\") != std::string::npos;
}

bool ForceDirectories(const std::string& folder) {
  const std::string path = ShortPath(folder);
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  fsbackend::CreateSingleDirectory(path);
  if (!DirectoryExists(path)) {
    std::string level = path;
    if (IsSeparator(level.back())) level.pop_back();
    // Two characters or fewer is a drive ("C:") or a root: taken as existing.
    if (level.size() > 2 && !DirectoryExists(level)) {
      const std::string parent = ExtractFilePath(level);
      if (!parent.empty() && parent != level) ForceDirectories(parent);
      fsbackend::CreateSingleDirectory(level);
    }
  }
  return DirectoryExists(path);
}

bool MaskMatches(const std::string& mask, const std::string& name) {
  if (WildcardMatch(mask.c_str(), name.c_str())) return true;
  if (mask.size() >= 2 && mask.compare(mask.size() - 2, 2, ".*") == 0 &&
      name.find('.') == std::string::npos) {
    return WildcardMatch(mask.substr(0, mask.size() - 2).c_str(), name.c_str());
  }
  return false;
}

std::vector<TDirEntry> ListDirectory(const std::string& folder, const std::string& mask,
                                     bool* opened) {
  std::vector<TDirEntry> entries =
      fsbackend::ListDirectory(NormalizePath(folder, true, false), mask, opened);
  std::sort(entries.begin(), entries.end(),
            [](const TDirEntry& a, const TDirEntry& b) { return a.name < b.name; });
  return entries;
}

namespace {

fsbackend::TreeWalkHook& WalkHook() {
  static fsbackend::TreeWalkHook hook;
  return hook;
}

// No install tree is nested this deep; what lies deeper stays rather than holding a handle
// per level without end.
constexpr int kMaxTreeDepth = 128;

class TTreeDeletion {
 public:
  TTreeDeletion(const TDeleteRule& rule, TDeleteResult& result) : rule_(rule), result_(result) {}

  void Folder(fsbackend::TTreeNode& folder, const std::string& path, const std::string& relative,
              int depth) {
    for (const fsbackend::TreeEntry& entry : folder.List(rule_.mask)) {
      if (entry.isDirectory && !entry.isLink && !rule_.recurse) continue;
      if (WalkHook()) WalkHook()(path, entry.name);
      const std::unique_ptr<fsbackend::TTreeNode> node = folder.Open(entry, rule_.deleteReadOnly);
      if (!node) continue;
      switch (node->Kind()) {
        case fsbackend::NodeKind::Link:
          node->Remove(false);
          break;
        case fsbackend::NodeKind::Folder:
          if (!rule_.recurse || depth >= kMaxTreeDepth) break;
          Folder(*node, path + entry.name + "\\", relative + entry.name + "\\", depth + 1);
          node->Remove(false);  // fails, as it should, while something stayed inside
          break;
        case fsbackend::NodeKind::File:
          File(*node, path + entry.name, relative + entry.name);
          break;
        case fsbackend::NodeKind::LeftAlone:
          break;
      }
    }
  }

 private:
  void File(fsbackend::TTreeNode& file, const std::string& path, const std::string& relative) {
    if (rule_.kept.count(LowerCase(relative)) != 0) {
      result_.kept.push_back(path);
    } else if (rule_.deleteReadOnly || !file.IsReadOnly()) {
      file.Remove(rule_.deleteReadOnly);
    }
  }

  const TDeleteRule& rule_;
  TDeleteResult& result_;
};

}  // namespace

namespace fsbackend {
void SetTreeWalkHook(TreeWalkHook hook) { WalkHook() = std::move(hook); }
}  // namespace fsbackend

TDeleteResult DeleteFolderTree(const std::string& folder, const TDeleteRule& rule) {
  TDeleteResult result;
  if (folder.empty()) return result;
  const std::string base = NormalizePath(folder, true, false);
  fsbackend::TopState state = fsbackend::TopState::Missing;
  const std::unique_ptr<fsbackend::TTreeNode> top = fsbackend::OpenTreeTop(base, state);
  result.refused = state == fsbackend::TopState::Link || state == fsbackend::TopState::NotFolder;
  if (!top) return result;
  TTreeDeletion(rule, result).Folder(*top, base, "", 0);
  result.removed = top->Remove(false);
  return result;
}

bool DeleteTree(const std::string& folder, const std::string& mask, bool recurse) {
  TDeleteRule rule;
  rule.mask = mask.empty() ? "*.*" : mask;
  rule.recurse = recurse;
  return DeleteFolderTree(folder, rule).removed;
}

bool RemoveFolderTree(const std::string& folder) {
  return DeleteTree(NormalizePath(ShortPath(folder), true, false), "*.*", true);
}

bool RemoveLinkItself(const std::string& path) {
  const std::string name = ExtractFileName(NormalizePath(path, false, false));
  const std::string parent = ExtractFilePath(NormalizePath(path, false, false));
  if (name.empty() || parent.empty()) return false;
  fsbackend::TopState state = fsbackend::TopState::Missing;
  const std::unique_ptr<fsbackend::TTreeNode> folder = fsbackend::OpenTreeTop(parent, state);
  if (!folder) return false;
  for (const fsbackend::TreeEntry& entry : folder->List(name)) {
    if (entry.name != name) continue;
    // Opened without following: only a node that holds the link itself may be removed.
    const std::unique_ptr<fsbackend::TTreeNode> node = folder->Open(entry, false);
    return node && node->Kind() == fsbackend::NodeKind::Link && node->Remove(false);
  }
  return false;
}

bool WritePrivateFile(const std::string& text, const std::string& path) {
  std::FILE* file = OpenFileForWriting(path, TWriteMode::Replace);
  if (file == nullptr) return false;
  const bool written = text.empty() || std::fwrite(text.data(), 1, text.size(), file) == text.size();
  return std::fclose(file) == 0 && written;
}

std::string ReadWholeFile(const std::string& path, bool deleteAfterwards) {
  std::string bytes;
  if (ReadWholeFileChecked(path, bytes) && deleteAfterwards) DeleteFileAt(path);
  return bytes;
}

bool ReadWholeFileChecked(const std::string& path, std::string& bytes) {
  bytes.clear();
  if (path.empty()) return false;
  std::FILE* file = OpenFileStream(path, "rb");
  if (file == nullptr) return false;
  char buffer[65536];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
  // A folder opens on POSIX hosts and fails at the first read.
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (failed) bytes.clear();
  return !failed;
}

bool WriteWholeFile(const std::string& text, const std::string& path, bool deleteIfEmpty) {
  if (path.empty()) return false;
  const std::string folder = ExtractFilePath(path);
  if (!folder.empty()) ForceDirectories(folder);
  if (deleteIfEmpty && text.empty()) {
    DeleteFileAt(path);
    return !FileExists(path);
  }
  std::FILE* file = OpenFileStream(path, "wb");
  if (file == nullptr) return false;
  const bool written = text.empty() || std::fwrite(text.data(), 1, text.size(), file) == text.size();
  // A full disk may show only when the buffer is flushed.
  const bool closed = std::fclose(file) == 0;
  return written && closed;
}

void ReplaceText(std::string& text, const std::string& oldText, const std::string& newText,
                 bool caseSensitive, bool replaceAll) {
  if (oldText.empty()) return;
  const std::string haystack = caseSensitive ? text : LowerCase(text);
  const std::string needle = caseSensitive ? oldText : LowerCase(oldText);
  std::string result;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = haystack.find(needle, from);
    if (at == std::string::npos) break;
    result.append(text, from, at - from);
    result += newText;
    from = at + needle.size();
    if (!replaceAll) break;
  }
  result.append(text, from, std::string::npos);
  text = std::move(result);
}

int PosFrom(const std::string& sub, const std::string& text, int firstPos, int lastPos) {
  if (sub.empty() || text.empty()) return 0;
  const int length = static_cast<int>(text.size());
  if (firstPos < 1) firstPos = 1;
  if (lastPos <= 0 || lastPos > length) lastPos = length;
  const int width = static_cast<int>(sub.size());
  for (int pos = firstPos; pos + width - 1 <= lastPos; ++pos) {
    if (text.compare(static_cast<std::size_t>(pos - 1), sub.size(), sub) == 0) return pos;
  }
  return 0;
}

std::string GetSpecialFolder(SpecialFolder kind, bool noFallback) {
  std::string folder = TrimText(fsbackend::SystemFolder(static_cast<int>(kind)));
  if (!folder.empty()) return ShortPath(NormalizePath(folder, true, false));
  return noFallback ? std::string() : ShortPath(ProgramFolder());
}

std::string ProgramFolder() {
  return NormalizePath(ExtractFilePath(fsbackend::RunningProgramPath()), true, false);
}
