// Small pieces the engine's steps share: the system's error text, and folder and file
// effects that are logged where they happen.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <set>
#include <string>

// The system's message for a Win32 error code.
std::string SystemErrorText(DWORD code);

// Creates the folder with its parents, logging it when it was not there. On failure the
// system's last error is the reason.
bool EnsureFolder(const std::string& folder);
// Deletes one file, logging what happened; a missing file is no event.
bool DeleteLoggedFile(const std::string& path);
// Deletes a folder with everything below it (read-only files too), logging it when it was
// there. Files named in kept (relative to the folder, lower case) stay with their folders.
// A folder that is a link is left, and so is what it points to.
void DeleteLoggedTree(const std::string& folder, const std::set<std::string>& kept = {});
// Clears read-only, hidden and system so the file can be replaced or deleted.
void ClearFileAttributes(const std::string& path);
// True when both paths name the same existing file.
bool IsSameFile(const std::string& first, const std::string& second);
