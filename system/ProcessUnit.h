// Ending processes by force: a server that does not stop within its time-out is terminated.
// psapi.dll is loaded at run time; without it nothing is terminated (false results).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// True when psapi.dll is loaded (loaded on the first call; a failed load is retried).
bool LoadProcessApi();

// Enables or disables a privilege of the own process token; true when the adjustment call
// succeeded.
bool SetPrivilege(const std::string& privilegeName, bool enable);

// Terminates the process with exit code 0 (debug privilege enabled first); true when it was
// terminated.
bool KillProcess(DWORD processId);

// Terminates every process whose main module has this file name (letter case ignored; ".exe"
// added to a name without extension). True when the last matching process was terminated,
// false when none matched.
bool KillProcessByName(const std::string& name);

// Terminates every process whose main module is this full path (letter case ignored), so a
// program of the same name elsewhere on the machine is left running. Same result as
// KillProcessByName.
bool KillProcessByPath(const std::string& path);

// Every process identifier on the machine; the list starts with room for initialCapacity
// and grows until all fit. Empty when psapi is missing or the enumeration fails.
std::vector<DWORD> EnumerateProcessIds(std::size_t initialCapacity = 1024);
