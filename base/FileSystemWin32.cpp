// Win32 backend of the file-system helpers.
#include <windows.h>

#include "base/FileSystemBackend.h"
#include "base/FileSystemUnit.h"

namespace fsbackend {

bool CreateSingleDirectory(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

bool RemoveEmptyDirectory(const std::string& path) {
  std::string folder = path;
  while (folder.size() > 3 && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return RemoveDirectoryA(folder.c_str()) != FALSE;
}

bool RemoveFile(const std::string& path) { return DeleteFileA(path.c_str()) != FALSE; }

bool RemoveLink(const std::string& path, bool isDirectory) {
  // RemoveDirectory on a junction or directory symlink removes the link, not its target.
  return isDirectory ? RemoveDirectoryA(path.c_str()) != FALSE : DeleteFileA(path.c_str()) != FALSE;
}

std::vector<DirEntry> ListDirectory(const std::string& folder, const std::string& mask) {
  std::vector<DirEntry> entries;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + mask).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    DirEntry entry;
    entry.name = name;
    entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.isReadOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    entry.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entries.push_back(entry);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return entries;
}

bool PathIsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool PathIsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::string SystemFolder(int kind) {
  char buffer[MAX_PATH + 1] = {};
  UINT length = 0;
  switch (kind) {
    case 0: length = GetTempPathA(sizeof buffer, buffer); break;
    case 1: length = GetWindowsDirectoryA(buffer, sizeof buffer); break;
    case 2: length = GetSystemDirectoryA(buffer, sizeof buffer); break;
    default: break;
  }
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

std::string RunningProgramPath() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  return std::string(buffer, length);
}

}  // namespace fsbackend

std::string HostPath(const std::string& path) { return path; }

bool CopyFile(const std::string& source, const std::string& target, bool failIfExists) {
  return CopyFileA(source.c_str(), target.c_str(), failIfExists ? TRUE : FALSE) != FALSE;
}

bool MoveFile(const std::string& source, const std::string& target) {
  return MoveFileA(source.c_str(), target.c_str()) != FALSE;
}

bool DeleteFileAt(const std::string& path) { return DeleteFileA(path.c_str()) != FALSE; }

// shell32 is looked up when first needed: importing it would load most of the user-interface
// libraries into every program that links these helpers (the archive tool among them).
void RunProgram(void* ownerWindow, const std::string& verb, const std::string& file,
                const std::string& parameters, const std::string& folder, int showCommand) {
  using ShellExecuteFn = HINSTANCE(WINAPI*)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT);
  static const ShellExecuteFn shellExecute = [] {
    char system[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryA(system, MAX_PATH);
    const std::string path = std::string(system, length) + "\\shell32.dll";
    HMODULE shell = LoadLibraryA(path.c_str());
    return shell == nullptr ? nullptr
                            : reinterpret_cast<ShellExecuteFn>(reinterpret_cast<void*>(
                                  GetProcAddress(shell, "ShellExecuteA")));
  }();
  if (shellExecute == nullptr) return;
  shellExecute(static_cast<HWND>(ownerWindow), verb.empty() ? nullptr : verb.c_str(), file.c_str(),
               parameters.empty() ? nullptr : parameters.c_str(),
               folder.empty() ? nullptr : folder.c_str(), showCommand);
}
