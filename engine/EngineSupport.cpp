#include <windows.h>

#include "engine/EngineSupport.h"

#include "base/FileSystemUnit.h"
#include "engine/InstallLog.h"
#include "system/AdvancedRegistry.h"
#include "base/HandleTypes.h"

std::string SystemErrorText(DWORD code) { return RegistryErrorText(static_cast<LONG>(code)); }

bool EnsureFolder(const std::string& folder) {
  if (DirectoryExists(folder)) return true;
  const bool created = ForceDirectories(folder);
  const DWORD error = GetLastError();
  InstallLog(created ? "Folder created: " + folder : "Folder not created: " + folder + ": " + SystemErrorText(error));
  SetLastError(error);  // for the caller's box: the log's own writes would change it
  return created;
}

bool DeleteLoggedFile(const std::string& path) {
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
  ClearFileAttributes(path);
  if (DeleteFileA(path.c_str())) {
    InstallLog("File deleted: " + path);
    return true;
  }
  InstallLog("File not deleted: " + path + ": " + SystemErrorText(GetLastError()));
  return false;
}

void DeleteLoggedTree(const std::string& folder, const std::set<std::string>& kept) {
  if (!DirectoryExists(folder)) return;
  TDeleteRule rule;
  rule.deleteReadOnly = true;
  rule.kept = kept;
  const TDeleteResult result = DeleteFolderTree(folder, rule);
  if (result.refused) {
    InstallLog("Folder not deleted: " + folder + " is a link; what it points to is left alone");
    return;
  }
  for (const std::string& path : result.kept) InstallLog("Kept: " + path);
  InstallLog(result.removed ? "Folder removed: " + folder
                            : "Folder emptied; kept files and files in use stay: " + folder);
}

void ClearFileAttributes(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return;
  const DWORD cleared =
      attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  if (cleared != attributes) SetFileAttributesA(path.c_str(), cleared != 0 ? cleared : FILE_ATTRIBUTE_NORMAL);
}

namespace {

bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  const TKernelHandle file(CreateFileA(path.c_str(), 0,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, 0, nullptr));
  return file && GetFileInformationByHandle(file.Get(), &info);
}

std::string FullPathName(const std::string& path) {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : path;
}

}  // namespace

bool IsSameFile(const std::string& first, const std::string& second) {
  if (GetFileAttributesA(first.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  // The name decides where the system can say no more (Windows 9x knows no delete sharing);
  // the file identity catches the same file reached by another name (short names, shares).
  if (lstrcmpiA(FullPathName(first).c_str(), FullPathName(second).c_str()) == 0) return true;
  BY_HANDLE_FILE_INFORMATION a{};
  BY_HANDLE_FILE_INFORMATION b{};
  if (!FileIdentity(first, a) || !FileIdentity(second, b)) return false;
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}
