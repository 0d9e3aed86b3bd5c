#include "system/ServiceControl.h"

#include "base/DeadlineClock.h"
#include "system/ServerTable.h"
#include "system/ServiceManager.h"
#include "system/ServicesFuncUnit.h"

bool GetServiceState(const std::string& serviceName, DWORD& state) {
  const TServiceHandle manager = OpenServiceManager(SC_MANAGER_CONNECT);
  const TServiceHandle service = OpenNamedService(manager, serviceName, SERVICE_QUERY_STATUS);
  return QueryCurrentState(service, state);
}

bool QueryServerState(int kind, DWORD& state) {
  if (IsNTPlatform()) return GetServiceState(GetServerServiceName(kind), state);
  return FindServerWindow(kind) != nullptr;
}

bool IsServerRunning(int kind) {
  DWORD state = 0;
  return QueryServerState(kind, state) && (!IsNTPlatform() || state == SERVICE_RUNNING);
}

DWORD ControlServer(int kind, bool start, const std::string& serviceName) {
  const std::string name = serviceName.empty() ? GetServerServiceName(kind) : serviceName;
  if (IsNTPlatform()) return start ? StartNamedService(name, false) : StopNamedService(name, kind, true);
  if (start)
    LaunchTrayProgram(kind, "", false);
  else
    CloseTrayProgram(kind, true);
  return ERROR_SUCCESS;
}

void WaitForPendingStart(int kind) {
  if (!IsNTPlatform()) return;
  WaitUntil(
      [kind] {
        DWORD state = 0;
        return !QueryServerState(kind, state) || state != SERVICE_START_PENDING;
      },
      kServerWaitMs, kServerPollMs);
}

static bool IsStillStarting(int kind) {
  DWORD state = 0;
  return IsNTPlatform() && QueryServerState(kind, state) && state == SERVICE_START_PENDING;
}

DWORD StopServerIfRunning(int kind) {
  // A service still starting (after a boot, say) would be passed by, and come up under the
  // files being replaced or removed.
  WaitForPendingStart(kind);
  // One that is still starting after the deadline hangs in its start: it takes no stop
  // control, and left alone it would hold its program file through the replacement or removal.
  if (IsStillStarting(kind)) {
    EndHungStartByForce(GetServerServiceName(kind), kind);
    return ERROR_SUCCESS;
  }
  return IsServerRunning(kind) ? ControlServer(kind, false) : ERROR_SUCCESS;
}
