// Creating and removing the suite's services and their start types around an upgrade. Calls
// that can fail give the Win32 code of the failure (ERROR_SUCCESS when there is nothing to
// report); the engine turns it into the service-error warning.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct ServiceDefinition {
  std::string ProgramFile;  // file name inside the installation folder, e.g. "smtp.exe"
  std::string ServiceName;
  std::string DisplayName;
  std::string Description;  // at most 255 characters
};

// Opens the manager and creates (install) or removes the service. installDir is used for
// creation only.
DWORD InstallOrRemoveService(bool install, const ServiceDefinition& definition, const std::string& installDir = "");

// Creates an automatically started own-process service running the program in double
// quotes (a path with spaces stays one path), writes its description and asks for a
// restart on failure. Gives the creation's own error code; the description is written
// either way.
DWORD InstallService(SC_HANDLE manager, const ServiceDefinition& definition, const std::string& installDir);
// Deletes the service; a service that does not open is no failure.
DWORD RemoveService(SC_HANDLE manager, const std::string& serviceName);
// HKLM\System\CurrentControlSet\Services\<name> value Description; failures are ignored.
void WriteServiceDescription(const std::string& serviceName, const std::string& description);
// Restart after 0 ms on every failure, through ChangeServiceConfig2A looked up at run time;
// without it nothing happens.
void SetServiceRestartOnFailure(SC_HANDLE service);

// The manager counts a service process ended by force as a failure and applies the failure
// actions, which would start the server again at once. Suspend clears the service's actions
// and gives back what they were (empty when they could not be read); Resume puts them back,
// or the setup's own restart action when nothing was read.
std::vector<BYTE> SuspendServiceFailureActions(SC_HANDLE service);
void ResumeServiceFailureActions(SC_HANDLE service, std::vector<BYTE>& suspended);

// "No start type was recorded" (first installation, 9x, a service that did not open).
constexpr std::int32_t kNoStartType = -1;

// The service's start type, or -1 when it cannot be read; with change set, the start type
// is then changed to newStartType and nothing else. change with -1 does nothing.
std::int32_t GetSetServiceStartType(const std::string& serviceName, bool change, std::int32_t newStartType);
// Sets the start type to disabled; failures are silent.
void DisableService(const std::string& serviceName);

// The program path a service is created with: "<folder><program>" in double quotes.
std::string QuotedServicePath(const std::string& programPath);
// What became of an existing service of ours before it is used again.
enum class TReusedService {
  Ours,        // it runs programPath in quotes: left as it is
  Quoted,      // it ran the unquoted programPath: the quotes were added, nothing else changed
  Repointed,   // it ran another program (StoredPath): made ours again, see ReuseService
  Unreadable,  // it could not be opened, read or changed (Error)
};

struct TReusedServiceResult {
  TReusedService Outcome = TReusedService::Unreadable;
  std::string StoredPath;
  DWORD Error = ERROR_SUCCESS;
};

// A service of ours that exists already is used again only when it runs our program from the
// installation folder (letter case aside). One that points anywhere else (an old folder that
// others may now write to, another program) is given the definition's program in quotes, its
// display name, its own process, LocalSystem, no group and no dependencies, as a new one would
// have; its start type is kept for the upgrade's restore.
TReusedServiceResult ReuseService(const ServiceDefinition& definition, const std::string& installDir);

// Test seam: how ChangeServiceConfig2A is found in the loaded advapi32.dll. Null restores
// the lookup by name.
using TChangeServiceConfig2 = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPVOID);
using TServiceConfig2Lookup = TChangeServiceConfig2 (*)(HMODULE advapi32);
void SetServiceConfig2Lookup(TServiceConfig2Lookup lookup);
