#include "system/ServiceManager.h"

#include "base/DeadlineClock.h"

TServiceHandle OpenServiceManager(DWORD access) { return TServiceHandle(OpenSCManagerA(nullptr, nullptr, access)); }

TServiceHandle OpenNamedService(const TServiceHandle& manager, const std::string& name, DWORD access) {
  if (!manager || name.empty()) return TServiceHandle();
  return TServiceHandle(OpenServiceA(manager.Get(), name.c_str(), access));
}

bool QueryCurrentState(const TServiceHandle& service, DWORD& state) {
  SERVICE_STATUS status{};
  if (!service || !QueryServiceStatus(service.Get(), &status)) return false;
  state = status.dwCurrentState;
  return true;
}

bool WaitForServiceState(const TServiceHandle& service, DWORD state, std::uint32_t timeoutMs) {
  return WaitUntil(
      [&] {
        DWORD current = 0;
        return QueryCurrentState(service, current) && current == state;
      },
      timeoutMs, kServerPollMs);
}
