// The few system calls behind the file-system helpers, one backend per platform
// (FileSystemWin32.cpp, FileSystemPosix.cpp). Paths arrive in Windows form; each backend
// converts them for its system call.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/FileEntries.h"

namespace fsbackend {

using DirEntry = TDirEntry;

bool CreateSingleDirectory(const std::string& path);
// Entries of folder (ending in a separator) whose names match the mask (MaskMatches); "." and
// ".." are left out, and so are pipes and devices. opened, when given, tells whether the
// folder could be read.
std::vector<DirEntry> ListDirectory(const std::string& folder, const std::string& mask,
                                    bool* opened = nullptr);
bool PathIsDirectory(const std::string& path);
bool PathIsFile(const std::string& path);
std::string SystemFolder(int kind);  // 0 temporary, 1 Windows, 2 System; empty when unknown
std::string RunningProgramPath();

// An entry as a tree walk lists it: what the folder's handle told about it.
struct TreeEntry : DirEntry {
  std::wstring systemName;  // Windows: the name as stored, which the ANSI name may not spell
  std::uint64_t fileId = 0;  // 0 when the system gives none
};

// What an entry of a tree walk turned out to be once opened.
enum class NodeKind {
  File,    // a file (on POSIX also a pipe or device): removed, never read
  Folder,  // a real folder, listed through its own handle
  Link,    // the link or reparse point itself, held without following it
  // The name no longer leads to what was listed, or leads to a link the system will not hand
  // over itself (Wine opens what a link points to): left alone.
  LeftAlone,
};

// An entry of a tree being deleted, held open without following a link: whatever happens to
// its name afterwards, listing and removal act on what was opened and checked.
class TTreeNode {
 public:
  virtual ~TTreeNode() = default;
  virtual NodeKind Kind() const = 0;
  virtual bool IsReadOnly() const = 0;
  // Folders: the entries matching mask.
  virtual std::vector<TreeEntry> List(const std::string& mask) = 0;
  // Folders: opens an entry that List gave; null when it is gone or cannot be opened.
  // writeAttributes asks for the right to clear its read-only attribute.
  virtual std::unique_ptr<TTreeNode> Open(const TreeEntry& entry, bool writeAttributes) = 0;
  // Removes what was opened: a link itself, a file (read-only cleared first when asked), an
  // empty folder.
  virtual bool Remove(bool clearReadOnly) = 0;
};

enum class TopState { Opened, Missing, Link, NotFolder };
// Opens the top folder of a tree deletion (ending in a separator); a link there is reported,
// never opened.
std::unique_ptr<TTreeNode> OpenTreeTop(const std::string& folder, TopState& state);

// For tests: runs before each listed entry is opened (folder path, entry name), so a test can
// change the tree between the listing and the descent.
using TreeWalkHook = std::function<void(const std::string& folder, const std::string& name)>;
void SetTreeWalkHook(TreeWalkHook hook);

}  // namespace fsbackend
