// Win32 backend of the file-system helpers.
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <sddl.h>

#include <cstdint>
#include <memory>
#include <utility>

#include "base/FileSystemBackend.h"
#include "base/FileSystemUnit.h"
#include "base/HandleTypes.h"

namespace {

// Only what the tree walk needs of ntdll; the entries are looked up at run time in the
// already loaded ntdll (Windows 9x has none of them, and no links to guard against).
using NTSTATUS_T = LONG;
constexpr NTSTATUS_T kStatusNotADirectory = static_cast<NTSTATUS_T>(0xC0000103);
constexpr NTSTATUS_T kStatusInvalidInfoClass = static_cast<NTSTATUS_T>(0xC0000003);
constexpr NTSTATUS_T kStatusInvalidParameter = static_cast<NTSTATUS_T>(0xC000000D);
constexpr NTSTATUS_T kStatusNotSupported = static_cast<NTSTATUS_T>(0xC00000BB);
constexpr ULONG kFileOpen = 1;
constexpr ULONG kFileDirectoryFile = 0x00000001;
constexpr ULONG kFileSynchronousIoNonAlert = 0x00000020;
constexpr ULONG kFileNonDirectoryFile = 0x00000040;
constexpr ULONG kFileOpenForBackupIntent = 0x00004000;
constexpr ULONG kFileOpenReparsePoint = 0x00200000;
constexpr ULONG kObjCaseInsensitive = 0x00000040;
constexpr ULONG kFileDirectoryInformation = 1;
constexpr ULONG kFileBasicInformation = 4;
constexpr ULONG kFileDispositionInformation = 13;
constexpr ULONG kFileIdBothDirectoryInformation = 37;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

struct TUnicodeString {
  USHORT Length;
  USHORT MaximumLength;
  PWSTR Buffer;
};

struct TObjectAttributes {
  ULONG Length;
  HANDLE RootDirectory;
  TUnicodeString* ObjectName;
  ULONG Attributes;
  PVOID SecurityDescriptor;
  PVOID SecurityQualityOfService;
};

struct TIoStatusBlock {
  union {
    NTSTATUS_T Status;
    PVOID Pointer;
  };
  ULONG_PTR Information;
};

struct TFileBasicInformation {
  LARGE_INTEGER CreationTime, LastAccessTime, LastWriteTime, ChangeTime;  // 0: left as they are
  ULONG FileAttributes;
};

// The common head of FILE_DIRECTORY_INFORMATION and FILE_ID_BOTH_DIR_INFORMATION.
struct TDirectoryInformation {
  ULONG NextEntryOffset;
  ULONG FileIndex;
  LARGE_INTEGER CreationTime, LastAccessTime, LastWriteTime, ChangeTime;
  LARGE_INTEGER EndOfFile;
  LARGE_INTEGER AllocationSize;
  ULONG FileAttributes;
  ULONG FileNameLength;
};

struct TIdBothDirectoryInformation : TDirectoryInformation {
  ULONG EaSize;
  CCHAR ShortNameLength;
  WCHAR ShortName[12];
  LARGE_INTEGER FileId;
  // FileName follows.
};

using NtCreateFileFn = NTSTATUS_T(WINAPI*)(PHANDLE, ACCESS_MASK, TObjectAttributes*, TIoStatusBlock*,
                                            PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtQueryDirectoryFileFn = NTSTATUS_T(WINAPI*)(HANDLE, HANDLE, PVOID, PVOID, TIoStatusBlock*, PVOID,
                                                    ULONG, ULONG, BOOLEAN, TUnicodeString*, BOOLEAN);
using NtSetInformationFileFn = NTSTATUS_T(WINAPI*)(HANDLE, TIoStatusBlock*, PVOID, ULONG, ULONG);

struct TNtEntries {
  NtCreateFileFn CreateFile = nullptr;
  NtQueryDirectoryFileFn QueryDirectoryFile = nullptr;
  NtSetInformationFileFn SetInformationFile = nullptr;
  bool Present() const { return CreateFile != nullptr && QueryDirectoryFile != nullptr && SetInformationFile != nullptr; }
};

const TNtEntries& NtEntries() {
  static const TNtEntries entries = [] {
    TNtEntries found;
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr) return found;
    auto entry = [ntdll](const char* name) { return reinterpret_cast<void*>(GetProcAddress(ntdll, name)); };
    found.CreateFile = reinterpret_cast<NtCreateFileFn>(entry("NtCreateFile"));
    found.QueryDirectoryFile = reinterpret_cast<NtQueryDirectoryFileFn>(entry("NtQueryDirectoryFile"));
    found.SetInformationFile = reinterpret_cast<NtSetInformationFileFn>(entry("NtSetInformationFile"));
    return found;
  }();
  return entries;
}

// Windows NT with the ntdll entries; the 9x platform (also as Wine's per-program win98 mode
// reports it) walks by path.
bool HandleWalkAvailable() {
  static const bool available = [] {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT && NtEntries().Present();
  }();
  return available;
}

std::string AnsiName(const WCHAR* name, std::size_t length) {
  const int size = WideCharToMultiByte(CP_ACP, 0, name, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) WideCharToMultiByte(CP_ACP, 0, name, static_cast<int>(length), &text[0], size, nullptr, nullptr);
  return text;
}

std::uint64_t FileIdOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
}

// What a handle holds, judged by the handle alone and, for a child, against its listing.
// Windows reports a link held through FILE_OPEN_REPARSE_POINT with the reparse-point
// attribute. Wine opens what a link points to instead: that shows as a listed link without
// the attribute, or as another file ID than the listing gave.
fsbackend::NodeKind KindOf(const BY_HANDLE_FILE_INFORMATION& info, const fsbackend::TreeEntry* listed) {
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return fsbackend::NodeKind::Link;
  if (listed != nullptr) {
    const std::uint64_t id = FileIdOf(info);
    if (listed->isLink || (listed->fileId != 0 && id != 0 && listed->fileId != id))
      return fsbackend::NodeKind::LeftAlone;
  }
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? fsbackend::NodeKind::Folder
                                                                 : fsbackend::NodeKind::File;
}

// An entry of a tree walk on Windows NT: opened relative to its parent's handle without
// following a link, listed and deleted through its own handle.
class TNtNode final : public fsbackend::TTreeNode {
 public:
  TNtNode(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& info, fsbackend::NodeKind kind)
      : handle_(handle), attributes_(info.dwFileAttributes), kind_(kind) {}

  fsbackend::NodeKind Kind() const override { return kind_; }
  bool IsReadOnly() const override { return (attributes_ & FILE_ATTRIBUTE_READONLY) != 0; }

  std::vector<fsbackend::TreeEntry> List(const std::string& mask) override {
    std::vector<fsbackend::TreeEntry> entries;
    if (kind_ != fsbackend::NodeKind::Folder) return entries;
    // File IDs let a descent notice a swapped name; file systems without them are listed plainly.
    const NTSTATUS_T first = Query(kFileIdBothDirectoryInformation, mask, entries);
    if (first == kStatusInvalidInfoClass || first == kStatusInvalidParameter || first == kStatusNotSupported)
      Query(kFileDirectoryInformation, mask, entries);
    return entries;
  }

  std::unique_ptr<fsbackend::TTreeNode> Open(const fsbackend::TreeEntry& entry, bool writeAttributes) override {
    if (kind_ != fsbackend::NodeKind::Folder) return nullptr;
    const ACCESS_MASK access = FILE_READ_ATTRIBUTES | SYNCHRONIZE | (writeAttributes ? FILE_WRITE_ATTRIBUTES : 0);
    // A folder in use without delete sharing can still be emptied: then it is opened without DELETE.
    HANDLE child = nullptr;
    NTSTATUS_T status = OpenChild(entry.systemName, access | DELETE | FILE_LIST_DIRECTORY, kFileDirectoryFile, child);
    if (status < 0 && status != kStatusNotADirectory)
      status = OpenChild(entry.systemName, access | FILE_LIST_DIRECTORY, kFileDirectoryFile, child);
    if (status == kStatusNotADirectory)
      status = OpenChild(entry.systemName, access | DELETE, kFileNonDirectoryFile, child);
    if (status < 0) return nullptr;
    return Wrap(child, &entry);
  }

  bool Remove(bool clearReadOnly) override {
    if (!handle_ || kind_ == fsbackend::NodeKind::LeftAlone) return false;
    TIoStatusBlock io{};
    if (clearReadOnly && (attributes_ & FILE_ATTRIBUTE_READONLY) != 0) {
      TFileBasicInformation basic{};
      const DWORD settable = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;
      basic.FileAttributes = (attributes_ & settable) != 0 ? attributes_ & settable : FILE_ATTRIBUTE_NORMAL;
      NtEntries().SetInformationFile(handle_.Get(), &io, &basic, sizeof basic, kFileBasicInformation);
    }
    BOOLEAN deleteFile = TRUE;
    const NTSTATUS_T status =
        NtEntries().SetInformationFile(handle_.Get(), &io, &deleteFile, sizeof deleteFile, kFileDispositionInformation);
    handle_.Reset();  // the entry goes when its last handle closes
    return status >= 0;
  }

  // Wraps an open handle; null (and the handle closed) when the system tells nothing about it.
  static std::unique_ptr<TNtNode> Wrap(HANDLE handle, const fsbackend::TreeEntry* listed) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
      CloseHandle(handle);
      return nullptr;
    }
    return std::make_unique<TNtNode>(handle, info, KindOf(info, listed));
  }

 private:
  NTSTATUS_T OpenChild(const std::wstring& name, ACCESS_MASK access, ULONG kind, HANDLE& child) {
    TUnicodeString text{};
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(WCHAR));
    TObjectAttributes object{};
    object.Length = sizeof object;
    object.RootDirectory = handle_.Get();
    object.ObjectName = &text;
    object.Attributes = kObjCaseInsensitive;
    TIoStatusBlock io{};
    return NtEntries().CreateFile(&child, access, &object, &io, nullptr, 0, kShareAll, kFileOpen,
                                  kind | kFileOpenReparsePoint | kFileSynchronousIoNonAlert | kFileOpenForBackupIntent,
                                  nullptr, 0);
  }

  // Appends the entries of one listing; the result is the status of its first query.
  NTSTATUS_T Query(ULONG infoClass, const std::string& mask, std::vector<fsbackend::TreeEntry>& entries) {
    std::vector<std::uint64_t> buffer(8192);  // 64 KiB, aligned for the records
    NTSTATUS_T first = 0;
    for (BOOLEAN restart = TRUE;; restart = FALSE) {
      TIoStatusBlock io{};
      const NTSTATUS_T status = NtEntries().QueryDirectoryFile(
          handle_.Get(), nullptr, nullptr, nullptr, &io, buffer.data(),
          static_cast<ULONG>(buffer.size() * sizeof buffer[0]), infoClass, FALSE, nullptr, restart);
      if (restart) first = status;
      if (status != 0) break;  // STATUS_NO_MORE_FILES ends it, and so does any failure
      Collect(reinterpret_cast<const char*>(buffer.data()), infoClass, mask, entries);
    }
    return first;
  }

  static void Collect(const char* records, ULONG infoClass, const std::string& mask,
                      std::vector<fsbackend::TreeEntry>& entries) {
    for (const char* at = records;;) {
      const auto* record = reinterpret_cast<const TDirectoryInformation*>(at);
      const bool withId = infoClass == kFileIdBothDirectoryInformation;
      const char* nameStart = at + (withId ? sizeof(TIdBothDirectoryInformation) : sizeof(TDirectoryInformation));
      const std::wstring wide(reinterpret_cast<const WCHAR*>(nameStart), record->FileNameLength / sizeof(WCHAR));
      const std::string name = AnsiName(wide.data(), wide.size());
      if (name != "." && name != ".." && MaskMatches(mask, name)) {
        fsbackend::TreeEntry entry;
        entry.name = name;
        entry.systemName = wide;
        entry.isDirectory = (record->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        entry.isReadOnly = (record->FileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
        entry.isLink = (record->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        entry.size = static_cast<std::uint64_t>(record->EndOfFile.QuadPart);
        if (withId) entry.fileId = static_cast<std::uint64_t>(reinterpret_cast<const TIdBothDirectoryInformation*>(at)->FileId.QuadPart);
        entries.push_back(entry);
      }
      if (record->NextEntryOffset == 0) break;
      at += record->NextEntryOffset;
    }
  }

  TKernelHandle handle_;
  DWORD attributes_;
  fsbackend::NodeKind kind_;
};

// The walk of Windows 9x, which has no handle-relative opens and no links: entries are
// reached by path. A link met here (a system without the ntdll entries) is left alone.
class TPathNode final : public fsbackend::TTreeNode {
 public:
  TPathNode(std::string path, DWORD attributes) : path_(std::move(path)), attributes_(attributes) {}

  fsbackend::NodeKind Kind() const override {
    if ((attributes_ & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return fsbackend::NodeKind::LeftAlone;
    return (attributes_ & FILE_ATTRIBUTE_DIRECTORY) != 0 ? fsbackend::NodeKind::Folder : fsbackend::NodeKind::File;
  }
  bool IsReadOnly() const override { return (attributes_ & FILE_ATTRIBUTE_READONLY) != 0; }

  std::vector<fsbackend::TreeEntry> List(const std::string& mask) override {
    std::vector<fsbackend::TreeEntry> entries;
    if (Kind() != fsbackend::NodeKind::Folder) return entries;
    for (const fsbackend::DirEntry& listed : fsbackend::ListDirectory(path_ + "\\", mask)) {
      fsbackend::TreeEntry entry;
      static_cast<fsbackend::DirEntry&>(entry) = listed;
      entries.push_back(entry);
    }
    return entries;
  }

  std::unique_ptr<fsbackend::TTreeNode> Open(const fsbackend::TreeEntry& entry, bool) override {
    return Wrap(path_ + "\\" + entry.name);
  }

  bool Remove(bool clearReadOnly) override {
    switch (Kind()) {
      case fsbackend::NodeKind::Folder:
        return RemoveDirectoryA(path_.c_str()) != FALSE;
      case fsbackend::NodeKind::File:
        if (clearReadOnly && IsReadOnly()) SetFileAttributesA(path_.c_str(), attributes_ & ~FILE_ATTRIBUTE_READONLY);
        return DeleteFileA(path_.c_str()) != FALSE;
      default:
        return false;
    }
  }

  static std::unique_ptr<TPathNode> Wrap(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return nullptr;
    return std::make_unique<TPathNode>(path, attributes);
  }

 private:
  std::string path_;
  DWORD attributes_;
};

std::unique_ptr<fsbackend::TTreeNode> OpenNtTop(const std::string& path, fsbackend::TopState& state) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
  const DWORD access = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
  HANDLE handle = CreateFileA(path.c_str(), access | DELETE, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE)  // in use without delete sharing: emptied, not removed
    handle = CreateFileA(path.c_str(), access, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  std::unique_ptr<TNtNode> top = TNtNode::Wrap(handle, nullptr);
  if (!top) return nullptr;
  if (top->Kind() != fsbackend::NodeKind::Folder) {
    state = top->Kind() == fsbackend::NodeKind::Link ? fsbackend::TopState::Link : fsbackend::TopState::NotFolder;
    return nullptr;
  }
  state = fsbackend::TopState::Opened;
  return top;
}

}  // namespace

namespace fsbackend {

bool CreateSingleDirectory(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

std::vector<DirEntry> ListDirectory(const std::string& folder, const std::string& mask, bool* opened) {
  std::vector<DirEntry> entries;
  WIN32_FIND_DATAA data;
  // Every name is listed and the mask matched here against the long name: the system's own
  // matching also takes 8.3 aliases ("a.lnkx" as "A~1.LNK").
  const HANDLE find = FindFirstFileA((folder + "*").c_str(), &data);
  if (opened != nullptr) *opened = find != INVALID_HANDLE_VALUE || GetLastError() == ERROR_FILE_NOT_FOUND;
  if (find == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == ".." || !MaskMatches(mask, name)) continue;
    DirEntry entry;
    entry.name = name;
    entry.isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    entry.isReadOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    entry.isLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entry.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    entries.push_back(entry);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return entries;
}

std::unique_ptr<TTreeNode> OpenTreeTop(const std::string& folder, TopState& state) {
  state = TopState::Missing;
  std::string path = folder;
  while (path.size() > 3 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  // The name's own attributes first: Wine opens what a link points to and reports the link
  // only here; Windows reports it on the handle as well, which closes the gap to the open.
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return nullptr;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    state = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? TopState::Link : TopState::NotFolder;
    return nullptr;
  }
  if (HandleWalkAvailable()) return OpenNtTop(path, state);
  state = TopState::Opened;
  return TPathNode::Wrap(path);
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

TNameFacts InspectName(const std::string& path) {
  TNameFacts facts;
  std::string name = path;
  // A drive's root keeps its separator ("C:" alone is the drive's current folder).
  while (name.size() > 3 && (name.back() == '\\' || name.back() == '/')) name.pop_back();
  const DWORD attributes = GetFileAttributesA(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return facts;
  facts.exists = true;
  facts.isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  facts.isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  const TKernelHandle handle(CreateFileA(name.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (handle && GetFileInformationByHandle(handle.Get(), &info)) {
    facts.isLink = facts.isLink || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    facts.names = info.nNumberOfLinks;
  }
  return facts;
}

std::FILE* OpenFileForWriting(const std::string& path, TWriteMode mode) {
  // SYSTEM and Administrators, nobody else, not inherited; the owner is the creator's default.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;FA;;;SY)(A;;FA;;;BA)", SDDL_REVISION_1, &descriptor,
                                                       nullptr);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                                  descriptor != nullptr ? &attributes : nullptr,
                                  mode == TWriteMode::CreateNew ? CREATE_NEW : OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (descriptor != nullptr) LocalFree(descriptor);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  // The link itself was opened, or a file that another name in another place also reaches.
  BY_HANDLE_FILE_INFORMATION info{};
  const bool usable = GetFileInformationByHandle(file, &info) &&
                      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) == 0 &&
                      info.nNumberOfLinks <= 1;
  if (!usable || (mode == TWriteMode::Replace && !SetEndOfFile(file))) {
    CloseHandle(file);
    SetLastError(usable ? GetLastError() : ERROR_CANT_ACCESS_FILE);
    return nullptr;
  }
  const int fd =
      _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_BINARY | (mode == TWriteMode::Append ? _O_APPEND : 0));
  if (fd < 0) {
    CloseHandle(file);
    return nullptr;
  }
  std::FILE* stream = _fdopen(fd, mode == TWriteMode::Append ? "ab" : "wb");
  if (stream == nullptr) _close(fd);
  return stream;
}

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
