// The few system calls behind the file-system helpers, one backend per platform
// (FileSystemWin32.cpp, FileSystemPosix.cpp). Paths arrive in Windows form; each backend
// converts them for its system call.
#pragma once

#include <string>
#include <vector>

namespace fsbackend {

struct DirEntry {
  std::string name;
  bool isDirectory = false;
  bool isReadOnly = false;
  // A symbolic link, junction or other reparse point: removed itself, never followed.
  bool isLink = false;
};

bool CreateSingleDirectory(const std::string& path);
bool RemoveEmptyDirectory(const std::string& path);
bool RemoveFile(const std::string& path);
// Removes a link entry (file or folder link) without touching what it points to.
bool RemoveLink(const std::string& path, bool isDirectory);
// Entries of folder (ending in a separator) whose names match the Windows wildcard mask;
// "." and ".." are left out.
std::vector<DirEntry> ListDirectory(const std::string& folder, const std::string& mask);
bool PathIsDirectory(const std::string& path);
bool PathIsFile(const std::string& path);
std::string SystemFolder(int kind);  // 0 temporary, 1 Windows, 2 System; empty when unknown
std::string RunningProgramPath();

}  // namespace fsbackend
