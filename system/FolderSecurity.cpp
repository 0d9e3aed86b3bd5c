#include "system/FolderSecurity.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "base/FileSystemUnit.h"
#include "base/HandleTypes.h"
#include "system/ProcessUnit.h"
#include "system/ServerTable.h"

namespace {

constexpr DWORD kReadAndExecute = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
// Rights that let their holder replace, remove or re-permit what a folder holds.
constexpr DWORD kChangeRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | DELETE | WRITE_DAC |
                                WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;
constexpr BYTE kInheritedByAll = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
// Taking over what another account owns, and reading or rewriting lists that shut the
// administrators out.
const char* const kRepairPrivileges[] = {SE_TAKE_OWNERSHIP_NAME, SE_RESTORE_NAME, SE_BACKUP_NAME};

struct TLocalFree {
  void operator()(void* memory) const { LocalFree(memory); }
};
using TLocalMemory = std::unique_ptr<void, TLocalFree>;

class TWellKnownSid {
 public:
  explicit TWellKnownSid(WELL_KNOWN_SID_TYPE type) {
    DWORD size = sizeof bytes_;
    valid_ = CreateWellKnownSid(type, nullptr, bytes_, &size) != FALSE;
  }
  PSID Get() const { return valid_ ? const_cast<BYTE*>(bytes_) : nullptr; }

 private:
  BYTE bytes_[SECURITY_MAX_SID_SIZE] = {};
  bool valid_ = false;
};

bool IsServiceSid(PSID sid) {
  const SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  return std::memcmp(GetSidIdentifierAuthority(sid), &nt, sizeof nt) == 0 && *GetSidSubAuthorityCount(sid) > 0 &&
         *GetSidSubAuthority(sid, 0) == SECURITY_SERVICE_ID_BASE_RID;
}

bool IsTrusted(PSID sid, PSID ownAccount) {
  static const TWellKnownSid system(WinLocalSystemSid), administrators(WinBuiltinAdministratorsSid),
      creatorOwner(WinCreatorOwnerSid);
  if (!IsValidSid(sid)) return false;
  for (const TWellKnownSid* trusted : {&system, &administrators, &creatorOwner})
    if (trusted->Get() != nullptr && EqualSid(sid, trusted->Get())) return true;
  return (ownAccount != nullptr && EqualSid(sid, ownAccount)) || IsServiceSid(sid);
}

std::string SidText(PSID sid) {
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid, &text)) return "an unreadable SID";
  const TLocalMemory owned(text);
  return text;
}

std::string RightsText(DWORD mask) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(mask));
  return text;
}

std::string ListText(TFolderAccess access) {
  switch (access) {
    case TFolderAccess::Programs:
      return "list: SYSTEM and Administrators full control, Users read and execute, not inherited";
    case TFolderAccess::Private: break;
  }
  return "list: SYSTEM and Administrators full control, nobody else, not inherited";
}

// The setup's own account: what it creates is its own, and that is no foreign access.
std::vector<BYTE> OwnAccount() {
  HANDLE raw = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return {};
  const TKernelHandle token(raw);
  DWORD size = 0;
  GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> user(size);
  if (size == 0 || !GetTokenInformation(token.Get(), TokenUser, user.data(), size, &size)) return {};
  const PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
  std::vector<BYTE> copy(GetLengthSid(sid));
  if (!CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid)) return {};
  return copy;
}

// A list in absolute form (owner Administrators, protected), for the calls that take owner
// and list apart. Points into itself: neither copied nor moved.
class TListDescriptor {
 public:
  TListDescriptor(TFolderAccess access, BYTE aceFlags)
      : system_(WinLocalSystemSid), administrators_(WinBuiltinAdministratorsSid), users_(WinBuiltinUsersSid) {
    struct TEntry {
      PSID sid;
      DWORD mask;
    };
    const TEntry entries[] = {{system_.Get(), FILE_ALL_ACCESS},
                              {administrators_.Get(), FILE_ALL_ACCESS},
                              {users_.Get(), kReadAndExecute}};
    const std::size_t count = access == TFolderAccess::Private ? 2 : 3;
    DWORD size = sizeof(ACL);
    for (std::size_t i = 0; i < count; ++i) {
      if (entries[i].sid == nullptr) return;
      size += sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD) + GetLengthSid(entries[i].sid);
    }
    acl_.resize(size);
    if (!InitializeAcl(Acl(), size, ACL_REVISION)) return;
    for (std::size_t i = 0; i < count; ++i)
      if (!AddAccessAllowedAceEx(Acl(), ACL_REVISION, aceFlags, entries[i].mask, entries[i].sid)) return;
    valid_ = InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
             SetSecurityDescriptorOwner(&descriptor_, Owner(), FALSE) &&
             SetSecurityDescriptorDacl(&descriptor_, TRUE, Acl(), FALSE) &&
             SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  }
  TListDescriptor(const TListDescriptor&) = delete;
  TListDescriptor& operator=(const TListDescriptor&) = delete;

  bool Valid() const { return valid_; }
  PSECURITY_DESCRIPTOR Get() { return &descriptor_; }
  PSID Owner() const { return administrators_.Get(); }
  PACL Acl() { return reinterpret_cast<PACL>(acl_.data()); }
  // A setup that is not elevated may not make Administrators the owner: the system's default then.
  void DropOwner() { SetSecurityDescriptorOwner(&descriptor_, nullptr, FALSE); }

 private:
  TWellKnownSid system_, administrators_, users_;
  std::vector<BYTE> acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  bool valid_ = false;
};

class TRepairPrivileges {
 public:
  TRepairPrivileges() {
    for (const char* name : kRepairPrivileges) SetPrivilege(name, true);
  }
  ~TRepairPrivileges() {
    for (const char* name : kRepairPrivileges) SetPrivilege(name, false);
  }
};

PSID SidOf(std::vector<BYTE>& bytes) { return bytes.empty() ? nullptr : bytes.data(); }

// Whether the volume holding path keeps access lists, and whether path is its root folder.
// A volume that cannot be asked counts as keeping them: the calls that set them will tell.
struct TVolumeFacts {
  bool KeepsAccessLists = true;
  bool IsRoot = false;
};

TVolumeFacts VolumeFactsOf(const std::string& path) {
  TVolumeFacts facts;
  char root[MAX_PATH + 1] = {};
  if (!GetVolumePathNameA(path.c_str(), root, sizeof root)) return facts;
  facts.IsRoot = lstrcmpiA(NormalizePath(root, true, false).c_str(), NormalizePath(path, true, false).c_str()) == 0;
  DWORD flags = 0;
  if (GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0))
    facts.KeepsAccessLists = (flags & FILE_PERSISTENT_ACLS) != 0;
  return facts;
}

TFolderSecurityResult Outcome(TFolderSecurityState state, DWORD error = ERROR_SUCCESS) {
  TFolderSecurityResult result;
  result.State = state;
  result.Error = error;
  return result;
}

TFolderSecurityResult CreateWithList(const std::string& folder, TFolderAccess access) {
  TListDescriptor list(access, kInheritedByAll);
  if (!list.Valid()) return Outcome(TFolderSecurityState::Failed, GetLastError());
  SECURITY_ATTRIBUTES attributes{sizeof attributes, list.Get(), FALSE};
  BOOL created = CreateDirectoryA(folder.c_str(), &attributes);
  if (!created && GetLastError() == ERROR_INVALID_OWNER) {
    list.DropOwner();
    created = CreateDirectoryA(folder.c_str(), &attributes);
  }
  if (!created) return Outcome(TFolderSecurityState::Failed, GetLastError());
  TFolderSecurityResult result = Outcome(TFolderSecurityState::Created);
  result.Changes.push_back("created with its " + ListText(access));
  return result;
}

DWORD ApplyFolderList(const std::string& path, TFolderAccess access, PSID formerOwner,
                      std::vector<std::string>& changes) {
  TListDescriptor list(access, kInheritedByAll);
  if (!list.Valid()) return GetLastError();
  std::string name = path;
  // Owner first: taking ownership is what gives the right to rewrite a list that shuts us out.
  if (formerOwner != nullptr) {
    const DWORD error = SetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                              list.Owner(), nullptr, nullptr, nullptr);
    if (error != ERROR_SUCCESS) return error;
    changes.push_back("owner Administrators instead of " + SidText(formerOwner));
  }
  // Named, not through a handle: the system passes the new entries on to what the folder holds.
  const DWORD error = SetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT,
                                            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                            nullptr, nullptr, list.Acl(), nullptr);
  if (error == ERROR_SUCCESS) changes.push_back(ListText(access));
  return error;
}

// A link below the folder: the link itself, never what it points at. Administrators own it
// and nobody else may re-aim it.
DWORD TakeOverLink(const std::string& path, PSID ownAccount, std::vector<std::string>& changes) {
  const TKernelHandle link(CreateFileA(path.c_str(), READ_CONTROL | WRITE_OWNER | WRITE_DAC,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (!link) return GetLastError();
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR raw = nullptr;
  DWORD error = GetSecurityInfo(link.Get(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                nullptr, &raw);
  if (error != ERROR_SUCCESS) return error;
  const TLocalMemory descriptor(raw);
  if (owner == nullptr || IsTrusted(owner, ownAccount)) return ERROR_SUCCESS;
  TListDescriptor list(TFolderAccess::Programs, 0);
  if (!list.Valid()) return GetLastError();
  error = SetSecurityInfo(link.Get(), SE_FILE_OBJECT,
                          OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                          list.Owner(), nullptr, list.Acl(), nullptr);
  if (error == ERROR_SUCCESS) changes.push_back("link taken over from " + SidText(owner) + ": " + path);
  return error;
}

// An entry another account owns was put there while the folder was open: Administrators take
// it over and its own entries go, so only what the folder passes on applies to it.
DWORD TakeOverEntry(const std::string& path, PSID ownAccount, std::vector<std::string>& changes) {
  std::string name = path;
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR raw = nullptr;
  DWORD error = GetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                      nullptr, nullptr, &raw);
  // A list that hides even its owner from the administrators was not made by them.
  if (error != ERROR_SUCCESS && error != ERROR_ACCESS_DENIED) return error;
  const TLocalMemory descriptor(raw);
  if (error == ERROR_SUCCESS && (owner == nullptr || IsTrusted(owner, ownAccount))) return ERROR_SUCCESS;
  const std::string formerOwner = error == ERROR_SUCCESS ? SidText(owner) : "an owner that hid itself";
  const TWellKnownSid administrators(WinBuiltinAdministratorsSid);
  error = SetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, administrators.Get(), nullptr,
                                nullptr, nullptr);
  if (error != ERROR_SUCCESS) return error;
  ACL empty{};
  if (!InitializeAcl(&empty, sizeof empty, ACL_REVISION)) return GetLastError();
  error = SetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT,
                                DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                &empty, nullptr);
  if (error == ERROR_SUCCESS) changes.push_back("taken over from " + formerOwner + ": " + path);
  return error;
}

// Every entry below folder (ends in '\'), parents before what they hold; links are not entered.
// The first error, after trying every entry.
DWORD TakeOverEntriesBelow(const std::string& folder, PSID ownAccount, std::vector<std::string>& changes) {
  WIN32_FIND_DATAA data;
  const HANDLE find = FindFirstFileA((folder + "*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return ERROR_SUCCESS;
  std::vector<WIN32_FIND_DATAA> entries;
  do {
    if (std::strcmp(data.cFileName, ".") != 0 && std::strcmp(data.cFileName, "..") != 0) entries.push_back(data);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  DWORD firstError = ERROR_SUCCESS;
  for (const WIN32_FIND_DATAA& entry : entries) {
    const std::string path = folder + entry.cFileName;
    const bool link = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    DWORD error = link ? TakeOverLink(path, ownAccount, changes) : TakeOverEntry(path, ownAccount, changes);
    if (error != ERROR_SUCCESS) changes.push_back("not taken over: " + path);
    if (error == ERROR_SUCCESS && !link && (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      error = TakeOverEntriesBelow(path + "\\", ownAccount, changes);
    if (firstError == ERROR_SUCCESS) firstError = error;
  }
  return firstError;
}

// Checks the list of an existing, pinned folder; when it lets others in, the folder gets its
// own list and, where others could write, what they own below it is taken over.
TFolderSecurityResult RepairWhenOpen(const std::string& path, TFolderAccess access) {
  std::vector<BYTE> own = OwnAccount();
  std::string name = path;
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR raw = nullptr;
  DWORD error = GetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                      &owner, nullptr, nullptr, nullptr, &raw);
  if (error != ERROR_SUCCESS) return Outcome(TFolderSecurityState::Failed, error);
  const TLocalMemory descriptor(raw);
  TFolderSecurityResult result = Outcome(TFolderSecurityState::Kept);
  result.Findings = FindOpenAccess(raw, access, SidOf(own));
  if (result.Findings.empty()) return result;
  const PSID formerOwner = owner != nullptr && !IsTrusted(owner, SidOf(own)) ? owner : nullptr;
  // Only where others could write can they have left something behind (a folder merely
  // readable needs no walk through perhaps a whole mail store).
  const bool othersCouldWrite = !FindOpenAccess(raw, TFolderAccess::Programs, SidOf(own)).empty();
  error = ApplyFolderList(path, access, formerOwner, result.Changes);
  if (error == ERROR_SUCCESS && othersCouldWrite)
    error = TakeOverEntriesBelow(path + "\\", SidOf(own), result.Changes);
  result.State = error == ERROR_SUCCESS ? TFolderSecurityState::Repaired : TFolderSecurityState::Failed;
  result.Error = error;
  return result;
}

// An entry of an earlier installation: owned by Administrators, and only what its folder passes
// on applies to it (entries of its own, such as one letting Everyone write, go).
DWORD ResetToInherited(const std::string& path) {
  std::string name = path;
  const TWellKnownSid administrators(WinBuiltinAdministratorsSid);
  ACL empty{};
  if (!InitializeAcl(&empty, sizeof empty, ACL_REVISION)) return GetLastError();
  return SetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT,
                               OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                   UNPROTECTED_DACL_SECURITY_INFORMATION,
                               administrators.Get(), nullptr, &empty, nullptr);
}

bool NamedIn(const std::string& name, const std::vector<std::string>& names) {
  for (const std::string& candidate : names)
    if (lstrcmpiA(candidate.c_str(), name.c_str()) == 0) return true;
  return false;
}

struct TEntryWalk {
  const std::vector<std::string>& privateFolders;
  TFolderSecurityResult& result;
  int reset = 0;

  void Failed(const std::string& what, DWORD error) {
    result.Findings.push_back(what);
    if (result.Error == ERROR_SUCCESS) result.Error = error == ERROR_SUCCESS ? ERROR_CANT_ACCESS_FILE : error;
  }

  // Links and second names are removed, never followed: whatever they reach stays as it is.
  bool RemovedAsPlanted(const std::string& path, const TNameFacts& facts) {
    if (facts.isLink) {
      if (RemoveLinkItself(path))
        result.Changes.push_back("link removed: " + path);
      else
        Failed("a link that could not be removed: " + path, GetLastError());
      return true;
    }
    if (facts.isDirectory || facts.names <= 1) return false;
    if (DeleteFileA(path.c_str()))
      result.Changes.push_back("file with a second name elsewhere removed: " + path);
    else
      Failed("a file with a second name elsewhere that could not be removed: " + path, GetLastError());
    return true;
  }

  TNameFacts Inspect(const std::string& path, const TDirEntry& entry) {
    TNameFacts facts = InspectName(path);
    facts.isLink = facts.isLink || entry.isLink;
    return facts;
  }

  // First, before any list changes: the system passes a folder's new list on to what it holds,
  // and must find no link there to pass it through.
  void RemovePlanted(const std::string& folder) {
    for (const TDirEntry& entry : ListDirectory(folder, "*")) {
      const std::string path = folder + entry.name;
      const TNameFacts facts = Inspect(path, entry);
      if (!facts.exists || RemovedAsPlanted(path, facts)) continue;
      if (facts.isDirectory) RemovePlanted(path + "\\");
    }
  }

  // Parents before what they hold: once a folder is reset, nobody else can add to it.
  void Reset(const std::string& folder, bool top) {
    for (const TDirEntry& entry : ListDirectory(folder, "*")) {
      const std::string path = folder + entry.name;
      const TNameFacts facts = Inspect(path, entry);
      if (!facts.exists) continue;
      if (facts.isLink || (!facts.isDirectory && facts.names > 1)) {
        Failed("a link or second name that appeared during the repair: " + path, ERROR_CANT_ACCESS_FILE);
        continue;
      }
      std::vector<std::string> ignored;
      const bool ownList = top && facts.isDirectory && NamedIn(entry.name, privateFolders);
      const TWellKnownSid administrators(WinBuiltinAdministratorsSid);
      const DWORD error = ownList ? ApplyFolderList(path, TFolderAccess::Private, administrators.Get(), ignored)
                                  : ResetToInherited(path);
      if (error != ERROR_SUCCESS) {
        Failed("owner and list not reset: " + path, error);
        continue;
      }
      ++reset;
      if (facts.isDirectory) Reset(path + "\\", false);
    }
  }
};

}  // namespace

std::vector<BYTE> FolderSecurityDescriptor(TFolderAccess access) {
  TListDescriptor list(access, kInheritedByAll);
  if (!list.Valid()) return {};
  DWORD size = 0;
  MakeSelfRelativeSD(list.Get(), nullptr, &size);
  std::vector<BYTE> relative(size);
  if (size == 0 || !MakeSelfRelativeSD(list.Get(), relative.data(), &size)) return {};
  return relative;
}

std::vector<std::string> FindOpenAccess(PSECURITY_DESCRIPTOR descriptor, TFolderAccess access, PSID ownAccount) {
  std::vector<std::string> findings;
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner != nullptr && !IsTrusted(owner, ownAccount))
    findings.push_back("owner " + SidText(owner) + " may rewrite its list");
  BOOL present = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
    findings.push_back("its list cannot be read");
    return findings;
  }
  if (!present || dacl == nullptr) {
    findings.push_back("no list: everyone has full control");
    return findings;
  }
  const DWORD counted = access == TFolderAccess::Programs ? kChangeRights : ~static_cast<DWORD>(SYNCHRONIZE);
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    void* ace = nullptr;
    if (!GetAce(dacl, index, &ace)) continue;
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    // Denials only take away; object entries do not occur on files.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_ALLOWED_CALLBACK_ACE_TYPE) continue;
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    const PSID sid = &allowed->SidStart;
    if ((allowed->Mask & counted) == 0 || IsTrusted(sid, ownAccount)) continue;
    findings.push_back(SidText(sid) + (access == TFolderAccess::Programs ? " may change" : " may open") +
                       ((header->AceFlags & INHERIT_ONLY_ACE) != 0 ? " what it holds" : " it") + " (rights " +
                       RightsText(allowed->Mask) + ")");
  }
  return findings;
}

TFolderSecurityResult SecureFolder(const std::string& folder, TFolderAccess access) {
  if (DirectoryExists(folder)) return RepairFolderSecurity(folder, access);
  const std::string path = NormalizePath(folder, false, false);
  if (!IsNTPlatform() || !VolumeFactsOf(ExtractFilePath(path)).KeepsAccessLists) {
    if (!CreateDirectoryA(path.c_str(), nullptr)) return Outcome(TFolderSecurityState::Failed, GetLastError());
    TFolderSecurityResult result = Outcome(TFolderSecurityState::NoAccessLists);
    result.Changes.push_back("created without a list");
    return result;
  }
  TFolderSecurityResult result = CreateWithList(path, access);
  // Someone made it in the meantime: it is checked like any folder found there.
  if (result.State == TFolderSecurityState::Failed && result.Error == ERROR_ALREADY_EXISTS && DirectoryExists(folder))
    return RepairFolderSecurity(folder, access);
  return result;
}

TFolderSecurityResult RepairFolderSecurity(const std::string& folder, TFolderAccess access) {
  const std::string path = NormalizePath(folder, false, false);
  if (!IsNTPlatform()) return Outcome(TFolderSecurityState::NoAccessLists);
  const TVolumeFacts volume = VolumeFactsOf(path);
  if (!volume.KeepsAccessLists) return Outcome(TFolderSecurityState::NoAccessLists);
  const TRepairPrivileges privileges;
  // Held without delete sharing: while it is open, the path keeps naming this folder.
  const TKernelHandle pinned(CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                         nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  BY_HANDLE_FILE_INFORMATION information{};
  if (!pinned || !GetFileInformationByHandle(pinned.Get(), &information))
    return Outcome(TFolderSecurityState::Failed, GetLastError());
  TFolderSecurityResult result = Outcome(TFolderSecurityState::Untouched);
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    result.Findings.push_back("a link to another place: not followed");
    return result;
  }
  if (volume.IsRoot) {
    result.Findings.push_back("the root folder of a volume: its list is the whole volume's");
    return result;
  }
  return RepairWhenOpen(path, access);
}

TFolderSecurityResult RemovePlantedEntries(const std::string& folder) {
  TFolderSecurityResult result = Outcome(TFolderSecurityState::Repaired);
  const std::vector<std::string> none;
  TEntryWalk walk{none, result};
  walk.RemovePlanted(NormalizePath(folder, true, false));
  if (result.Error != ERROR_SUCCESS) result.State = TFolderSecurityState::Failed;
  return result;
}

TFolderSecurityResult ResetInstallationEntries(const std::string& folder,
                                               const std::vector<std::string>& privateFolders) {
  if (!IsNTPlatform()) return Outcome(TFolderSecurityState::NoAccessLists);
  const TRepairPrivileges privileges;
  TFolderSecurityResult result = Outcome(TFolderSecurityState::Repaired);
  TEntryWalk walk{privateFolders, result};
  walk.Reset(NormalizePath(folder, true, false), true);
  result.Changes.push_back("owner Administrators and the folder's list: " + std::to_string(walk.reset) + " entries");
  if (result.Error != ERROR_SUCCESS) result.State = TFolderSecurityState::Failed;
  return result;
}

std::vector<std::string> FindSecretFileExposure(const std::string& path) {
  if (!IsNTPlatform()) return {};
  const TNameFacts facts = InspectName(path);
  if (facts.isLink) return {"it is a link to another place"};
  if (facts.names > 1) return {"it has a second name in another place"};
  if (!VolumeFactsOf(path).KeepsAccessLists) return {"its volume keeps no access lists: every user may read it"};
  std::string name = path;
  PSECURITY_DESCRIPTOR raw = nullptr;
  const DWORD error =
      GetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, nullptr, nullptr, &raw);
  if (error != ERROR_SUCCESS) return {"its owner and list cannot be read (error " + std::to_string(error) + ")"};
  const TLocalMemory descriptor(raw);
  std::vector<BYTE> own = OwnAccount();
  return FindOpenAccess(raw, TFolderAccess::Private, SidOf(own));
}

std::string DescribeFolderSecurity(const std::string& folder, const TFolderSecurityResult& result) {
  std::string text;
  switch (result.State) {
    case TFolderSecurityState::NoAccessLists:
      text = "No access list for " + folder + ": Windows 9x or a volume without access lists";
      break;
    case TFolderSecurityState::Created:
      text = "Folder created with its own access list: " + folder;
      break;
    case TFolderSecurityState::Kept:
      text = "Access list kept, it lets nobody else in: " + folder;
      break;
    case TFolderSecurityState::Repaired:
      text = "Access list repaired: " + folder;
      break;
    case TFolderSecurityState::Untouched:
      text = "Access list left as it is: " + folder;
      break;
    case TFolderSecurityState::Failed:
      text = "Access list not (fully) set: " + folder;
      break;
  }
  for (const std::string& finding : result.Findings) text += "\r\nfound: " + finding;
  for (const std::string& change : result.Changes) text += "\r\nchanged: " + change;
  return text;
}
