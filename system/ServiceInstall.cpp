#include "system/ServiceInstall.h"

#include <vector>

#include "base/FileSystemUnit.h"
#include "base/SafeLibrary.h"
#include "system/AdvancedRegistry.h"
#include "system/ServiceManager.h"

namespace {

constexpr char kServicesKey[] = "\\System\\CurrentControlSet\\Services\\";

TChangeServiceConfig2 LookUpChangeServiceConfig2(HMODULE advapi32) {
  return reinterpret_cast<TChangeServiceConfig2>(
      reinterpret_cast<void*>(GetProcAddress(advapi32, "ChangeServiceConfig2A")));
}

TServiceConfig2Lookup serviceConfig2Lookup = LookUpChangeServiceConfig2;

// The service's configuration with its strings; empty when it cannot be read.
std::vector<BYTE> ReadServiceConfig(const TServiceHandle& service) {
  DWORD needed = 0;
  if (QueryServiceConfigA(service.Get(), nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return {};
  std::vector<BYTE> buffer(needed);
  if (!QueryServiceConfigA(service.Get(), reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()), needed, &needed))
    return {};
  return buffer;
}

bool ChangeStartType(const TServiceHandle& service, DWORD startType) {
  return ChangeServiceConfigA(service.Get(), SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr, nullptr) != FALSE;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a.data(),
                                                static_cast<int>(a.size()), b.data(), static_cast<int>(b.size())) == CSTR_EQUAL;
}

}  // namespace

DWORD InstallOrRemoveService(bool install, const ServiceDefinition& definition, const std::string& installDir) {
  const TServiceHandle manager = OpenServiceManager(SC_MANAGER_ALL_ACCESS);
  if (!manager) return GetLastError();
  return install ? InstallService(manager.Get(), definition, installDir)
                 : RemoveService(manager.Get(), definition.ServiceName);
}

std::string QuotedServicePath(const std::string& programPath) { return "\"" + programPath + "\""; }

DWORD InstallService(SC_HANDLE manager, const ServiceDefinition& definition, const std::string& installDir) {
  const std::string path = QuotedServicePath(NormalizePath(installDir, true, false) + definition.ProgramFile);
  const TServiceHandle service(CreateServiceA(manager, definition.ServiceName.c_str(), definition.DisplayName.c_str(),
                                              SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                              SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr, nullptr, nullptr,
                                              nullptr));
  const DWORD creationError = service ? ERROR_SUCCESS : GetLastError();
  WriteServiceDescription(definition.ServiceName, definition.Description);
  if (service) SetServiceRestartOnFailure(service.Get());
  return creationError;
}

DWORD RemoveService(SC_HANDLE manager, const std::string& serviceName) {
  const TServiceHandle service(OpenServiceA(manager, serviceName.c_str(), SERVICE_ALL_ACCESS));
  if (!service) return ERROR_SUCCESS;
  return DeleteService(service.Get()) ? ERROR_SUCCESS : GetLastError();
}

void WriteServiceDescription(const std::string& serviceName, const std::string& description) {
  TRegistryKeyHandle key;
  if (CreateRegistryKey(HKEY_LOCAL_MACHINE, kServicesKey + serviceName, key) != ERROR_SUCCESS) return;
  const std::string text = description.substr(0, 255);
  RegSetValueExA(key.Get(), "Description", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
}

void SetServiceRestartOnFailure(SC_HANDLE service) {
  const TLibrary advapi32(LoadSystemLibrary("advapi32.dll"));
  if (!advapi32) return;
  const TChangeServiceConfig2 changeServiceConfig2 = serviceConfig2Lookup(advapi32.Get());
  if (changeServiceConfig2 == nullptr) return;
  SC_ACTION restart = {SC_ACTION_RESTART, 0};
  SERVICE_FAILURE_ACTIONSA actions{};
  actions.dwResetPeriod = 0;
  actions.cActions = 1;
  actions.lpsaActions = &restart;
  changeServiceConfig2(service, SERVICE_CONFIG_FAILURE_ACTIONS, &actions);
}

std::vector<BYTE> SuspendServiceFailureActions(SC_HANDLE service) {
  const TLibrary advapi32(LoadSystemLibrary("advapi32.dll"));
  if (!advapi32) return {};
  const TChangeServiceConfig2 changeServiceConfig2 = serviceConfig2Lookup(advapi32.Get());
  if (changeServiceConfig2 == nullptr) return {};
  using TQueryServiceConfig2 = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPBYTE, DWORD, LPDWORD);
  const auto query = reinterpret_cast<TQueryServiceConfig2>(
      reinterpret_cast<void*>(GetProcAddress(advapi32.Get(), "QueryServiceConfig2A")));
  std::vector<BYTE> suspended;
  DWORD needed = 0;
  if (query != nullptr && !query(service, SERVICE_CONFIG_FAILURE_ACTIONS, nullptr, 0, &needed) &&
      GetLastError() == ERROR_INSUFFICIENT_BUFFER && needed >= sizeof(SERVICE_FAILURE_ACTIONSA)) {
    suspended.resize(needed);
    if (!query(service, SERVICE_CONFIG_FAILURE_ACTIONS, suspended.data(), needed, &needed)) suspended.clear();
  }
  // An empty list, not a null one: a null list would leave the actions as they are.
  SC_ACTION none = {SC_ACTION_NONE, 0};
  SERVICE_FAILURE_ACTIONSA actions{};
  actions.lpsaActions = &none;
  changeServiceConfig2(service, SERVICE_CONFIG_FAILURE_ACTIONS, &actions);
  return suspended;
}

void ResumeServiceFailureActions(SC_HANDLE service, std::vector<BYTE>& suspended) {
  if (suspended.empty()) {
    SetServiceRestartOnFailure(service);
    return;
  }
  const TLibrary advapi32(LoadSystemLibrary("advapi32.dll"));
  if (!advapi32) return;
  const TChangeServiceConfig2 changeServiceConfig2 = serviceConfig2Lookup(advapi32.Get());
  if (changeServiceConfig2 != nullptr)
    changeServiceConfig2(service, SERVICE_CONFIG_FAILURE_ACTIONS, suspended.data());
}

void SetServiceConfig2Lookup(TServiceConfig2Lookup lookup) {
  serviceConfig2Lookup = lookup != nullptr ? lookup : LookUpChangeServiceConfig2;
}

std::int32_t GetSetServiceStartType(const std::string& serviceName, bool change, std::int32_t newStartType) {
  if (change && newStartType == kNoStartType) return kNoStartType;
  const TServiceHandle manager = OpenServiceManager(SC_MANAGER_CONNECT);
  const TServiceHandle service = OpenNamedService(manager, serviceName, SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG);
  if (!service) return kNoStartType;
  const std::vector<BYTE> config = ReadServiceConfig(service);
  if (config.empty()) return kNoStartType;
  const auto startType = static_cast<std::int32_t>(reinterpret_cast<const QUERY_SERVICE_CONFIGA*>(config.data())->dwStartType);
  if (change) ChangeStartType(service, static_cast<DWORD>(newStartType));
  return startType;
}

void DisableService(const std::string& serviceName) {
  const TServiceHandle manager = OpenServiceManager(SC_MANAGER_ALL_ACCESS);
  const TServiceHandle service = OpenNamedService(manager, serviceName, SERVICE_ALL_ACCESS);
  if (service) ChangeStartType(service, SERVICE_DISABLED);
}

TReusedServiceResult ReuseService(const ServiceDefinition& definition, const std::string& installDir) {
  TReusedServiceResult result;
  const std::string programPath = NormalizePath(installDir, true, false) + definition.ProgramFile;
  const TServiceHandle manager = OpenServiceManager(SC_MANAGER_CONNECT);
  const TServiceHandle service =
      OpenNamedService(manager, definition.ServiceName, SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG);
  const std::vector<BYTE> config = service ? ReadServiceConfig(service) : std::vector<BYTE>{};
  if (config.empty()) {
    result.Error = GetLastError();
    return result;
  }
  const char* stored = reinterpret_cast<const QUERY_SERVICE_CONFIGA*>(config.data())->lpBinaryPathName;
  result.StoredPath = stored != nullptr ? stored : "";
  const std::string quoted = QuotedServicePath(programPath);
  if (EqualIgnoringCase(result.StoredPath, quoted)) {
    result.Outcome = TReusedService::Ours;
    return result;
  }
  const bool unquotedOurs = EqualIgnoringCase(result.StoredPath, programPath);
  const BOOL changed =
      unquotedOurs ? ChangeServiceConfigA(service.Get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE,
                                          quoted.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)
                   : ChangeServiceConfigA(service.Get(), SERVICE_WIN32_OWN_PROCESS, SERVICE_NO_CHANGE,
                                          SERVICE_ERROR_NORMAL, quoted.c_str(), "", nullptr, "\0", "LocalSystem", "",
                                          definition.DisplayName.c_str());
  result.Outcome = !changed        ? TReusedService::Unreadable
                   : unquotedOurs ? TReusedService::Quoted
                                  : TReusedService::Repointed;
  result.Error = changed ? ERROR_SUCCESS : GetLastError();
  return result;
}
