#include "system/ServiceInstall.h"

#include <vector>

#include "base/FileSystemUnit.h"
#include "engine/InstallUI.h"
#include "texts/TextTable.h"
#include "system/AdvancedRegistry.h"
#include "base/DeadlineClock.h"
#include "system/ServerTable.h"
#include "system/ServiceControl.h"
#include "system/ServiceManager.h"
#include "system/ServicesFuncUnit.h"
#include "base/SafeLibrary.h"

namespace {

constexpr char kServicesKey[] = "\\System\\CurrentControlSet\\Services\\";
constexpr char kSystemSmtpService[] = "SMTPSVC";

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

// The operating system's own SMTP service holds port 25 while ours could not start:
// stop and disable it, then start ours in its place.
void ReplaceSystemSmtpService() {
  const std::string ours = GetServerServiceName(kSmtpServer);
  if (!IsServiceInstalled(ours) || IsServiceInState(ours, SERVICE_RUNNING)) return;
  if (!IsServiceInstalled(kSystemSmtpService) || !IsServiceInState(kSystemSmtpService, SERVICE_RUNNING)) return;
  ControlServer(kSmtpServer, false, kSystemSmtpService);
  DisableService(kSystemSmtpService);
  ControlServer(kSmtpServer, true);
  PauseMs(kSettlePauseMs);
}

std::string FormatList(std::string pattern, const std::string& list) {
  const std::size_t at = pattern.find("%s");
  if (at != std::string::npos) pattern.replace(at, 2, list);
  return pattern;
}

}  // namespace

void InstallOrRemoveService(bool install, const ServiceDefinition& definition, const std::string& installDir) {
  const TServiceHandle manager = OpenServiceManager(SC_MANAGER_ALL_ACCESS);
  if (!manager) return ShowServiceError();
  if (install)
    InstallService(manager.Get(), definition, installDir.empty() ? SetupState().InstallDir : installDir);
  else
    RemoveService(manager.Get(), definition.ServiceName);
}

std::string QuotedServicePath(const std::string& programPath) { return "\"" + programPath + "\""; }

void InstallService(SC_HANDLE manager, const ServiceDefinition& definition, const std::string& installDir) {
  const std::string path = QuotedServicePath(NormalizePath(installDir, true, false) + definition.ProgramFile);
  const TServiceHandle service(CreateServiceA(manager, definition.ServiceName.c_str(), definition.DisplayName.c_str(),
                                              SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                              SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr, nullptr, nullptr,
                                              nullptr));
  const DWORD creationError = service ? ERROR_SUCCESS : GetLastError();
  WriteServiceDescription(definition.ServiceName, definition.Description);
  if (service)
    SetServiceRestartOnFailure(service.Get());
  else
    ShowServiceError(creationError);
}

void RemoveService(SC_HANDLE manager, const std::string& serviceName) {
  const TServiceHandle service(OpenServiceA(manager, serviceName.c_str(), SERVICE_ALL_ACCESS));
  if (!service) return;
  if (!DeleteService(service.Get())) ShowServiceError();
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

bool QuoteReusedServicePath(const std::string& serviceName, const std::string& programPath) {
  const TServiceHandle manager = OpenServiceManager(SC_MANAGER_CONNECT);
  const TServiceHandle service = OpenNamedService(manager, serviceName, SERVICE_QUERY_CONFIG | SERVICE_CHANGE_CONFIG);
  if (!service) return false;
  const std::vector<BYTE> config = ReadServiceConfig(service);
  if (config.empty()) return false;
  const char* stored = reinterpret_cast<const QUERY_SERVICE_CONFIGA*>(config.data())->lpBinaryPathName;
  if (stored == nullptr || !EqualIgnoringCase(stored, programPath)) return false;
  const std::string quoted = QuotedServicePath(programPath);
  return ChangeServiceConfigA(service.Get(), SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, quoted.c_str(),
                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) != FALSE;
}

void RemoveAllServices() {
  constexpr int kinds[] = {kSmtpServer, kPop3Server, kControlServer, kIMServer, kGroupWareServer};
  for (const int kind : kinds) StopServerIfRunning(kind);
  CurrentUI().ProcessMessages();
  PauseMs(kSettlePauseMs);
  if (!IsNTPlatform()) return;
  // A service that still runs is left installed rather than deleted under a live process.
  for (const int kind : kinds) {
    const std::string name = GetServerServiceName(kind);
    if (IsServiceInstalled(name) && IsServiceInState(name, SERVICE_STOPPED))
      InstallOrRemoveService(false, ServiceDefinition{"", name, "", ""});
  }
}

void CheckStartedServices(const TSetupState& state) {
  if (IsNTPlatform()) ReplaceSystemSmtpService();
  const bool started[] = {IsServerRunning(kSmtpServer), IsServerRunning(kPop3Server), IsServerRunning(kControlServer),
                          state.NoInstallIM || IsServerRunning(kIMServer)};
  bool allFine = true;
  for (int kind = kSmtpServer; kind <= kIMServer; ++kind)
    allFine = allFine && (started[kind] || state.PreviousStartType[kind] == SERVICE_DISABLED);
  if (allFine) return;
  std::string list;
  for (int kind = kSmtpServer; kind <= kIMServer; ++kind)
    if (!started[kind]) list += std::string(FindServerInfo(kind)->displayName) + "\r\n";
  CurrentUI().ShowMessage("Warning", FormatList(cNotRunning, list), MessageButtons::Ok, MessageIcon::Warning);
}
