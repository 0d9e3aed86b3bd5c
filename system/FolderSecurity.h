// Access lists of the installation folder. The servers run as LocalSystem out of it and the
// elevated setup loads libraries from it, so only SYSTEM and Administrators may change what
// it holds; config\ and mail\ (passwords and mail) are closed to everyone else. A folder an
// administrator creates outside Program Files inherits lists such as "Authenticated Users:
// modify" from the drive's root, so the folder gets a protected list of its own.
//
// Entries name well-known SIDs only: account names are translated on non-English Windows.
// Windows 9x and volumes without access lists (FAT) have nothing to set: the functions say so.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

enum class TFolderAccess {
  Programs,  // SYSTEM and Administrators full control, Users read and execute
  Private,   // SYSTEM and Administrators full control, nobody else (also the extraction folder)
};

enum class TFolderSecurityState {
  NoAccessLists,  // Windows 9x or a volume without access lists: nothing set (a missing folder is created plainly)
  Created,        // the folder was created with its list from the start
  Kept,           // existing folder that lets nobody else in: left as it was
  Repaired,       // existing folder that let others in: owner, list and foreign entries below it taken over
  Untouched,      // a link or a volume's root folder: neither followed nor changed (Findings says which)
  Failed,         // Error holds the Win32 code of the step that failed; Changes what was done before
};

struct TFolderSecurityResult {
  TFolderSecurityState State = TFolderSecurityState::Failed;
  DWORD Error = ERROR_SUCCESS;
  std::vector<std::string> Findings;  // why the existing folder was open to others
  std::vector<std::string> Changes;   // what this call changed
};

// The folder's own list: owner Administrators, not inherited from the parent, every entry
// inherited by files and sub-folders. Self-relative; empty when it could not be built.
std::vector<BYTE> FolderSecurityDescriptor(TFolderAccess access);

// Why a folder with this descriptor is open to others, empty when it is not. Trusted are SYSTEM,
// Administrators, service SIDs (TrustedInstaller), CREATOR OWNER and ownAccount (may be null).
// Programs: a right to write, delete or re-permit counts, also one meant only for what the
// folder holds; Private: any right counts. An owner outside the trusted ones counts (an owner
// may always rewrite the list), and so does a missing list (everyone has full control).
std::vector<std::string> FindOpenAccess(PSECURITY_DESCRIPTOR descriptor, TFolderAccess access, PSID ownAccount);

// Creates the folder (one level: its parent must exist) with its list from the start; an
// existing folder is checked and repaired as by RepairFolderSecurity.
TFolderSecurityResult SecureFolder(const std::string& folder, TFolderAccess access);

// Checks an existing folder and, when it is open to others, gives it its list (owner
// Administrators when the owner was someone else) and, when others could write there, takes
// over every entry below it that another account owns or whose owner it hides: an entry
// planted while the folder was open would stay its owner's to rewrite. Links (the folder itself or below it) are never followed; a drive's or
// volume's root folder is left as it is.
TFolderSecurityResult RepairFolderSecurity(const std::string& folder, TFolderAccess access);

// An earlier installation of ours, entry by entry below folder, in two walks that never follow
// a link. First, before any list changes (the system passes a folder's new list on to what it
// holds): links and files with a second name elsewhere, which the setup installs neither of,
// are removed, each one named in Changes; Failed when one stays (Findings names it).
TFolderSecurityResult RemovePlantedEntries(const std::string& folder);
// Then every entry gets Administrators as owner and only what its folder passes on; the folders
// directly below named in privateFolders get the Private list of their own instead. Failed when
// an entry could not be reset, or a link or second name is found now.
TFolderSecurityResult ResetInstallationEntries(const std::string& folder,
                                               const std::vector<std::string>& privateFolders);

// Why a file holding a secret (the administrator's password) could be read or replaced by
// someone else, empty when it cannot: a link or a second name of the file, a volume without
// access lists, an owner other than SYSTEM, Administrators or the account running the setup, or
// any right for another account. Windows 9x keeps no lists and has nothing to find.
std::vector<std::string> FindSecretFileExposure(const std::string& path);

// One line for the install log (the system's text for Error is the caller's to add).
std::string DescribeFolderSecurity(const std::string& folder, const TFolderSecurityResult& result);
