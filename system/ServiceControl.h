// The wizard's own service functions: they check, create and start the suite's servers
// during the install sequence and show a warning box when the Service Control Manager
// refuses. They report through the engine's UI interface (status line, message pump,
// message boxes), so they run unchanged in the wizard and in tests.
#pragma once

#include <windows.h>

#include <string>

#include "engine/SetupState.h"

// The service's current state; false when the manager, the service or the query fails.
bool GetServiceState(const std::string& serviceName, DWORD& state);

// Whether the server is found: on NT its service, off NT its tray window. On NT the state is
// filled in; off NT it is left alone.
bool QueryServerState(int kind, DWORD& state);
// Found, and on NT also SERVICE_RUNNING.
bool IsServerRunning(int kind);
void StopServerIfRunning(int kind);

// Starts or stops one server. serviceName overrides the table's service name (the
// operating system's own SMTP service); the forced termination after a stop time-out still
// follows the kind.
void ControlServer(int kind, bool start, const std::string& serviceName = "");

// Stops whatever runs and decides per kind whether its service must be created
// (ServiceToCreate); removes the services of components no longer installed.
void CheckRunningServices(TSetupState& state);

// Creates the flagged services, registers the COM libraries and starts the servers.
void InstallServices(TSetupState& state, const std::string& installDir);

// The "Warning" box for a failed service call: cServiceError, the system's text for the
// code and a hint about servers already holding the ports.
void ShowServiceError(DWORD errorCode);
// The same with the calling thread's last error.
void ShowServiceError();

// The text ShowServiceError shows.
std::string ServiceErrorText(DWORD errorCode);
