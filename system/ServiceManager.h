// Small helpers over the Service Control Manager shared by the service functions. Every
// handle is owned, so it is closed before the calling operation returns.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "base/HandleTypes.h"

// Poll interval of every wait for a service or tray-program state.
constexpr std::uint32_t kServerPollMs = 10;
// The pause after stopping or starting all servers, so their processes have ended or begun.
constexpr std::uint32_t kSettlePauseMs = 1500;

TServiceHandle OpenServiceManager(DWORD access);
// Null when the manager is not open or the service does not open.
TServiceHandle OpenNamedService(const TServiceHandle& manager, const std::string& name, DWORD access);

// The service's current state; false when the status query fails.
bool QueryCurrentState(const TServiceHandle& service, DWORD& state);

// Polls the service every 10 ms until it is in the state or the time-out has passed.
bool WaitForServiceState(const TServiceHandle& service, DWORD state, std::uint32_t timeoutMs);
