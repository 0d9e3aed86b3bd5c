// Loading libraries without searching the program's or the current folder.
//
// The setup is started from download folders, where anyone can drop a DLL beside it; a
// library loaded by bare name would be looked for there first. System libraries therefore
// come from the system folder only, and the suite's own libraries are loaded by full path,
// their own folder searched for their dependencies (they need the DLLs beside them).
#pragma once

#include <windows.h>

#include <string>

// Called once at program entry: takes the current folder (and, where the system allows it,
// the program's folder) out of the search for libraries loaded later by name.
void HardenLibrarySearch();

// A library of the Windows system folder ("psapi.dll", "advapi32.dll", the TLS libraries
// when looked up); null when it is not there. Never found anywhere else.
HMODULE LoadSystemLibrary(const std::string& fileName);

// How LoadSystemLibrary (false) and LoadLibraryAt (true) ask the system to look for a
// library's own dependencies: where the system knows the search flags, in the library's folder
// (ownFolderFirst) and the system folder only, never along PATH.
DWORD LibrarySearchFlags(bool ownFolderFirst);

// A library at a full path (drive or UNC); its dependencies are looked for in its own folder
// first. A relative path is refused (null, ERROR_INVALID_PARAMETER).
HMODULE LoadLibraryAt(const std::string& fullPath);

// The system folder with a trailing '\', empty when the system gives none.
std::string SystemLibraryFolder();
