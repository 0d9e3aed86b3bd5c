// Querying, starting and stopping the suite's servers for the install engine: on the NT family
// a server is a Windows service, on 9x a tray program found by its window (IsNTPlatform
// decides). A start or stop gives the Win32 code of the call that failed, ERROR_SUCCESS when
// there is nothing to report; the engine decides what the person sees.
#pragma once

#include <windows.h>

#include <string>

// The service's current state; false when the manager, the service or the query fails.
bool GetServiceState(const std::string& serviceName, DWORD& state);

// Whether the server is found: on NT its service, off NT its tray window. On NT the state is
// filled in; off NT it is left alone.
bool QueryServerState(int kind, DWORD& state);
// Found, and on NT also SERVICE_RUNNING.
bool IsServerRunning(int kind);
// On NT, waits (within the servers' 10 s deadline) while the manager is still starting the
// server's service: until then it is neither running nor stopped.
void WaitForPendingStart(int kind);

// Starts or stops one server. serviceName overrides the table's service name (the operating
// system's own SMTP service); the forced termination after a stop time-out still follows the
// kind. On NT a stop waits up to 10 s and then ends the kind's program by force; a start does
// not wait. Off NT the tray program is launched, or closed with a 10 s wait.
DWORD ControlServer(int kind, bool start, const std::string& serviceName = "");
// Stops the server when it runs (ERROR_SUCCESS when it did not run). A service still
// start-pending after the wait for its start has its program ended by force.
DWORD StopServerIfRunning(int kind);
