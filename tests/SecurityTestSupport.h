// Following the access lists the setup hands to the system. Wine keeps no access lists on
// files: a folder's list is made up from its Unix mode whenever it is read (docs/wine.md).
// So the lists are read where they cross over to the system, the owner another account would
// have is reported in Wine's place, and on the disk only what Wine does keep is followed:
// Everyone's right to write, held in the mode's "other" bits.
#pragma once

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/ImportHook.h"

// Owner and list as the setup writes them, in the system's own notation.
constexpr char kProgramsList[] = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
constexpr char kPrivateList[] = "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
constexpr char kOtherAccount[] = "S-1-5-21-1004336348-1177238915-682003330-1001";
// An entry whose list lets not even the administrators read its owner.
constexpr char kHiddenOwner[] = "hidden";

// The account this test runs as, as an SID string.
inline std::string OwnSidText() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
  BYTE buffer[256] = {};
  DWORD size = 0;
  const bool read = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size);
  CloseHandle(token);
  char* text = nullptr;
  if (!read || !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) return "";
  const std::string result = text;
  LocalFree(text);
  return result;
}

inline std::string SddlOf(PSECURITY_DESCRIPTOR descriptor, SECURITY_INFORMATION parts) {
  char* text = nullptr;
  if (descriptor == nullptr ||
      !ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, parts, &text, nullptr))
    return "<none>";
  std::string result = text;
  LocalFree(text);
  return result;
}

// A descriptor from SDDL text, freed with the object.
class TSddlDescriptor {
 public:
  explicit TSddlDescriptor(const std::string& sddl) {
    ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, &raw_, nullptr);
  }
  ~TSddlDescriptor() { LocalFree(raw_); }
  TSddlDescriptor(const TSddlDescriptor&) = delete;
  TSddlDescriptor& operator=(const TSddlDescriptor&) = delete;
  PSECURITY_DESCRIPTOR Get() const { return raw_; }

 private:
  PSECURITY_DESCRIPTOR raw_ = nullptr;
};

// Owner, group and list of a file or folder as the system reports them.
inline std::string DiskSddl(const std::string& path) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT,
                            OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
    return "<none>";
  std::string sddl = SddlOf(descriptor, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                            DACL_SECURITY_INFORMATION);
  LocalFree(descriptor);
  return sddl;
}

// Lets Everyone do everything in the folder, as a careless list would (Wine keeps this much).
inline bool OpenToEveryone(const std::string& path) {
  const TSddlDescriptor open("D:(A;OICI;FA;;;WD)(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL list = nullptr;
  GetSecurityDescriptorDacl(open.Get(), &present, &list, &defaulted);
  std::string name = path;
  return SetNamedSecurityInfoA(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, list,
                               nullptr) == ERROR_SUCCESS;
}

// The rights the list's entries for Everyone allow (all, when there is no list).
inline DWORD EveryoneRights(const std::string& sddl) {
  const TSddlDescriptor descriptor(sddl);
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!GetSecurityDescriptorDacl(descriptor.Get(), &present, &dacl, &defaulted) || !present || dacl == nullptr)
    return FILE_ALL_ACCESS;
  BYTE everyone[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof everyone;
  CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size);
  DWORD rights = 0;
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (GetAce(dacl, index, reinterpret_cast<void**>(&ace)) && ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
        EqualSid(&ace->SidStart, everyone))
      rights |= ace->Mask;
  }
  return rights;
}

// Whether an ordinary local user (in Users, neither an administrator nor the account running
// the tests) is granted every one of the rights by this descriptor. Wine leaves the account's
// own SID enabled in a restricted token, so under Wine this holds only for descriptors that
// do not name that account (the lists the setup writes, not those Wine reports for the disk).
inline bool LocalUserMay(std::string sddl, DWORD rights) {
  if (sddl.find("G:") == std::string::npos) sddl.insert(sddl.find("D:"), "G:SY");  // the check needs a group
  HANDLE own = nullptr;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &own);
  BYTE user[256];
  DWORD size = 0;
  GetTokenInformation(own, TokenUser, user, sizeof user, &size);
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD sidSize = sizeof administrators;
  CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &sidSize);
  SID_AND_ATTRIBUTES denied[] = {{administrators, 0}, {reinterpret_cast<TOKEN_USER*>(user)->User.Sid, 0}};
  HANDLE restricted = nullptr;
  HANDLE token = nullptr;
  CreateRestrictedToken(own, DISABLE_MAX_PRIVILEGE, 2, denied, 0, nullptr, 0, nullptr, &restricted);
  DuplicateToken(restricted, SecurityImpersonation, &token);
  const TSddlDescriptor descriptor(sddl);
  GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
  PRIVILEGE_SET privileges{};
  DWORD privilegesSize = sizeof privileges;
  DWORD granted = 0;
  BOOL allowed = FALSE;
  const BOOL checked = AccessCheck(descriptor.Get(), token, rights, &mapping, &privileges, &privilegesSize, &granted,
                                   &allowed);
  for (HANDLE handle : {own, restricted, token}) CloseHandle(handle);
  return checked && allowed;
}

// Records the descriptors CreateDirectoryA and SetNamedSecurityInfoA are given (as SDDL, only
// the parts given), and reports another account as the owner of chosen paths, as Windows
// would for what that account made. One at a time.
class TSecurityRecorder {
 public:
  explicit TSecurityRecorder(bool passOn = true)
      : passOn_(passOn),
        create_("kernel32.dll", "CreateDirectoryA", reinterpret_cast<void*>(&Create)),
        set_("advapi32.dll", "SetNamedSecurityInfoA", reinterpret_cast<void*>(&Set)),
        get_("advapi32.dll", "GetNamedSecurityInfoA", reinterpret_cast<void*>(&Get)) {
    active_ = this;
  }
  ~TSecurityRecorder() { active_ = nullptr; }
  bool Installed() const { return create_.Installed() && set_.Installed() && get_.Installed(); }

  std::map<std::string, std::string> created;               // folder -> descriptor it was made with
  std::vector<std::pair<std::string, std::string>> written;  // path, descriptor set on it
  std::map<std::string, std::string> owners;                // path -> owner SID to report, or kHiddenOwner

 private:
  static BOOL WINAPI Create(LPCSTR path, LPSECURITY_ATTRIBUTES attributes) {
    if (attributes != nullptr && attributes->lpSecurityDescriptor != nullptr)
      active_->created[path] =
          SddlOf(attributes->lpSecurityDescriptor, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
    if (!active_->passOn_) return TRUE;
    return active_->create_.Original<decltype(&CreateDirectoryA)>()(path, attributes);
  }

  static DWORD WINAPI Set(LPSTR path, SE_OBJECT_TYPE type, SECURITY_INFORMATION parts, PSID owner, PSID group,
                          PACL dacl, PACL sacl) {
    SECURITY_DESCRIPTOR descriptor;
    InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
    SECURITY_INFORMATION shown = 0;
    if ((parts & OWNER_SECURITY_INFORMATION) != 0) {
      SetSecurityDescriptorOwner(&descriptor, owner, FALSE);
      shown |= OWNER_SECURITY_INFORMATION;
    }
    if ((parts & DACL_SECURITY_INFORMATION) != 0) {
      SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE);
      if ((parts & PROTECTED_DACL_SECURITY_INFORMATION) != 0)
        SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
      shown |= DACL_SECURITY_INFORMATION;
    }
    active_->written.emplace_back(path, SddlOf(&descriptor, shown));
    if (!active_->passOn_) return ERROR_SUCCESS;
    return active_->set_.Original<decltype(&SetNamedSecurityInfoA)>()(path, type, parts, owner, group, dacl, sacl);
  }

  static DWORD WINAPI Get(LPCSTR path, SE_OBJECT_TYPE type, SECURITY_INFORMATION parts, PSID* owner, PSID* group,
                          PACL* dacl, PACL* sacl, PSECURITY_DESCRIPTOR* descriptor) {
    const auto original = active_->get_.Original<decltype(&GetNamedSecurityInfoA)>();
    const auto fake = active_->owners.find(path);
    if (fake == active_->owners.end()) return original(path, type, parts, owner, group, dacl, sacl, descriptor);
    if (fake->second == kHiddenOwner) return ERROR_ACCESS_DENIED;
    PSECURITY_DESCRIPTOR real = nullptr;
    const DWORD error = original(path, type, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr, &real);
    if (error != ERROR_SUCCESS) return error;
    const std::string sddl = "O:" + fake->second + "G:SY" + SddlOf(real, DACL_SECURITY_INFORMATION);
    LocalFree(real);
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, descriptor, nullptr))
      return GetLastError();
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    if (owner != nullptr) GetSecurityDescriptorOwner(*descriptor, owner, &defaulted);
    if (group != nullptr) GetSecurityDescriptorGroup(*descriptor, group, &defaulted);
    if (dacl != nullptr) GetSecurityDescriptorDacl(*descriptor, &present, dacl, &defaulted);
    if (sacl != nullptr) *sacl = nullptr;
    return ERROR_SUCCESS;
  }

  static inline TSecurityRecorder* active_ = nullptr;
  bool passOn_;
  TImportHook create_;
  TImportHook set_;
  TImportHook get_;
};
