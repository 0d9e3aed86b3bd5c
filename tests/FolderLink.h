// Folder links made as a less privileged user could make them, for the tests that a tree
// deletion never follows one.
//
// POSIX: a symbolic link. Windows: a junction. Wine can make neither (CreateSymbolicLinkA
// reports success and makes nothing; FSCTL_SET_REPARSE_POINT is not supported), but it shows a
// Unix symbolic link as a folder with the reparse-point attribute, so there /bin/ln makes one.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cstring>
#include <string>
#include <vector>

#include "base/FileSystemUnit.h"

#ifdef _WIN32
inline bool OnWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

namespace folderlink {

inline std::string UnixName(const std::string& path) {
  using UnixNameFn = char*(CDECL*)(LPCWSTR);
  const auto unixName = reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (unixName == nullptr) return std::string();
  const std::wstring wide(path.begin(), path.end());  // test paths are ASCII
  char* name = unixName(wide.c_str());
  const std::string result = name != nullptr ? name : "";
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

// Runs a Unix program of the host (Wine starts those too) with quoted arguments.
inline bool RunUnix(const std::string& program, const std::vector<std::string>& arguments) {
  std::string command = program;
  for (const std::string& argument : arguments) command += " \"" + argument + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

// Wine signals a Unix program's process handle at once, so its effect is waited for.
inline bool AwaitAttributes(const std::string& path, bool present) {
  for (int tries = 0; tries < 500; ++tries) {
    if ((GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) == present) return true;
    Sleep(10);
  }
  return false;
}

// The Unix name of a path whose folder exists.
inline std::string UnixPathOf(const std::string& path) {
  const std::string parent = UnixName(NormalizePath(ExtractFilePath(path), false, false));
  return parent.empty() ? parent : parent + "/" + ExtractFileName(path);
}

// A mount-point reparse point, which any user may set on an empty folder of their own.
inline bool MakeJunction(const std::string& link, const std::string& target) {
  if (!CreateDirectoryA(link.c_str(), nullptr)) return false;
  const HANDLE folder = CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (folder == INVALID_HANDLE_VALUE) return false;
  const std::string substitute = "\\??\\" + target;
  const std::wstring names = std::wstring(substitute.begin(), substitute.end()) + L'\0' +
                             std::wstring(target.begin(), target.end()) + L'\0';
  const WORD substituteBytes = static_cast<WORD>(substitute.size() * 2);
  const WORD printBytes = static_cast<WORD>(target.size() * 2);
  std::vector<char> buffer(16 + names.size() * 2);
  const DWORD tag = 0xA0000003;  // IO_REPARSE_TAG_MOUNT_POINT
  const WORD header[6] = {static_cast<WORD>(buffer.size() - 8), 0, 0, substituteBytes,
                          static_cast<WORD>(substituteBytes + 2), printBytes};
  std::memcpy(buffer.data(), &tag, 4);
  std::memcpy(buffer.data() + 4, header, sizeof header);
  std::memcpy(buffer.data() + 16, names.data(), names.size() * 2);
  DWORD returned = 0;
  const BOOL set = DeviceIoControl(folder, 0x000900A4 /* FSCTL_SET_REPARSE_POINT */, buffer.data(),
                                   static_cast<DWORD>(buffer.size()), nullptr, 0, &returned, nullptr);
  CloseHandle(folder);
  if (!set) RemoveDirectoryA(link.c_str());
  return set != FALSE;
}

}  // namespace folderlink

// Makes link (which must not exist) point to the folder target; false when this system
// cannot make a folder link that it reports as one.
inline bool MakeFolderLink(const std::string& link, const std::string& target) {
  const std::string linkPath = NormalizePath(link, false, false);
  const std::string targetPath = NormalizePath(target, false, false);
  if (OnWine()) {
    folderlink::RunUnix("/bin/ln", {"-s", folderlink::UnixName(targetPath), folderlink::UnixPathOf(linkPath)});
    folderlink::AwaitAttributes(linkPath, true);
  } else {
    folderlink::MakeJunction(linkPath, targetPath);
  }
  const DWORD attributes = GetFileAttributesA(linkPath.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Removes a folder link itself (Wine's own calls would reach what it points to).
inline void RemoveFolderLink(const std::string& link) {
  const std::string linkPath = NormalizePath(link, false, false);
  const DWORD attributes = GetFileAttributesA(linkPath.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return;
  if (OnWine()) {
    folderlink::RunUnix("/bin/rm", {"-f", folderlink::UnixPathOf(linkPath)});
    folderlink::AwaitAttributes(linkPath, false);
  } else {
    RemoveDirectoryA(linkPath.c_str());
  }
}
#else
inline bool OnWine() { return false; }

inline bool MakeFolderLink(const std::string& link, const std::string& target) {
  return symlink(HostPath(NormalizePath(target, false, false)).c_str(),
                 HostPath(NormalizePath(link, false, false)).c_str()) == 0;
}

inline void RemoveFolderLink(const std::string& link) { unlink(HostPath(NormalizePath(link, false, false)).c_str()); }
#endif

// A second name for a file, as any user who may write in both folders can make one.
inline bool MakeHardLink(const std::string& link, const std::string& target) {
#ifdef _WIN32
  return CreateHardLinkA(link.c_str(), target.c_str(), nullptr) != FALSE;
#else
  return ::link(HostPath(target).c_str(), HostPath(link).c_str()) == 0;
#endif
}

// True when the link itself is there (not what it points to).
inline bool LinkExists(const std::string& link) {
  const std::string path = NormalizePath(link, false, false);
  for (const TDirEntry& entry : ListDirectory(ExtractFilePath(path), "*"))
    if (entry.name == ExtractFileName(path)) return entry.isLink;
  return false;
}
