// The install engine's service steps: they check, create, start and remove the suite's
// servers and turn what the system reports into the warnings the person sees (the
// service-error box, the list of servers that did not start). They report through the
// engine's UI interface, so they run unchanged in the wizard and in tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine/SetupState.h"

// The "Warning" box for a failed service call: cServiceError, the system's text for the
// code and a hint about servers already holding the ports. Nothing for ERROR_SUCCESS.
void ShowServiceError(DWORD errorCode);
// The text ShowServiceError shows.
std::string ServiceErrorText(DWORD errorCode);

// Starts or stops one server and warns when the system refused (see ControlServer).
void ControlServerWarning(int kind, bool start, const std::string& serviceName = "");
void StopServerIfRunningWarning(int kind);

// Stops whatever runs and decides per kind whether its service must be created
// (ServiceToCreate); removes the services of components no longer installed.
void CheckRunningServices(TSetupState& state);

// Creates the flagged services, registers the COM libraries and starts the servers.
void InstallServices(TSetupState& state, const std::string& installDir);

// After installation: replaces the operating system's own SMTP service if it holds the port,
// then warns (cNotRunning) about servers that do not run. Gives their display names (empty
// when all run), which an unattended run turns into its exit code.
std::vector<std::string> CheckStartedServices(const TSetupState& state);

// The uninstaller's service step: stops the servers and removes every stopped service.
void RemoveAllServices();
