#include "system/ServiceControl.h"

#include "base/FileSystemUnit.h"
#include "engine/InstallUI.h"
#include "base/VersionUnit.h"
#include "texts/TextTable.h"
#include "system/AdvancedRegistry.h"
#include "system/ComRegistration.h"
#include "base/DeadlineClock.h"
#include "system/ServerTable.h"
#include "system/ServiceInstall.h"
#include "system/ServiceManager.h"
#include "system/ServicesFuncUnit.h"

namespace {

constexpr char kPortHint[] =
    "\r\nThere might be already some service running on the same TCP/IP port. Make sure MS SMTP, Norton "
    "Antivirus POP3 or some other mail server is not running on this machine.";

// Kinds the wizard handles, in the order it handles them.
constexpr int kWizardKinds[] = {kSmtpServer, kPop3Server, kControlServer, kIMServer, kGroupWareServer};

bool ServiceExistsStopped(const std::string& serviceName) {
  return IsServiceInstalled(serviceName) && IsServiceInState(serviceName, SERVICE_STOPPED);
}

bool KindExcluded(const TSetupState& state, int kind) {
  return (kind == kIMServer && state.NoInstallIM) || (kind == kGroupWareServer && state.NoInstallCalendar);
}

void StartServiceOnNT(const std::string& serviceName) {
  const TServiceHandle manager = OpenServiceManager(SC_MANAGER_ALL_ACCESS);
  if (!manager) return ShowServiceError();
  const TServiceHandle service = OpenNamedService(manager, serviceName, SERVICE_START);
  if (!service) return ShowServiceError();
  if (!StartServiceA(service.Get(), 0, nullptr)) ShowServiceError();
}

void StopServiceOnNT(int kind, const std::string& serviceName) {
  const TServiceHandle manager = OpenServiceManager(SC_MANAGER_ALL_ACCESS);
  if (!manager) return ShowServiceError();
  const TServiceHandle service = OpenNamedService(manager, serviceName, SERVICE_STOP | SERVICE_QUERY_STATUS);
  if (!service) return;  // nothing installed, nothing to stop
  SERVICE_STATUS status{};
  if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) return ShowServiceError();
  if (!WaitForServiceState(service, SERVICE_STOPPED, kServerWaitMs)) ForceEndServer(kind);
}

void RemoveServiceIfStopped(const std::string& serviceName) {
  if (ServiceExistsStopped(serviceName)) InstallOrRemoveService(false, ServiceDefinition{"", serviceName, "", ""});
}

ServiceDefinition DefinitionOf(int kind) {
  const TServerInfo& info = *FindServerInfo(kind);
  return ServiceDefinition{info.programFile, info.serviceName, info.displayName, info.description};
}

}  // namespace

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

void StopServerIfRunning(int kind) {
  if (IsServerRunning(kind)) ControlServer(kind, false);
}

void ControlServer(int kind, bool start, const std::string& serviceName) {
  const std::string name = serviceName.empty() ? GetServerServiceName(kind) : serviceName;
  if (IsNTPlatform()) {
    if (start)
      StartServiceOnNT(name);
    else
      StopServiceOnNT(kind, name);
  } else if (start) {
    LaunchTrayProgram(kind, "", false);
  } else {
    CloseTrayProgram(kind, true);
  }
}

void CheckRunningServices(TSetupState& state) {
  CurrentUI().SetStatus(cChecking);
  for (const int kind : kWizardKinds) state.ServiceToCreate[kind] = true;
  for (const int kind : kWizardKinds) {
    StopServerIfRunning(kind);
    StopServerIfRunning(kind);
  }
  CurrentUI().ProcessMessages();
  PauseMs(kSettlePauseMs);
  if (!IsNTPlatform()) return;

  if (state.NoInstallIM) RemoveServiceIfStopped(GetServerServiceName(kIMServer));
  const bool calendarOutdated = !state.InstalledVersion.empty() && !VersionAtLeast(state.InstalledVersion, "8.1.7");
  if (state.NoInstallCalendar || calendarOutdated) {
    const std::string calendar = GetServerServiceName(kGroupWareServer);
    if (ServiceExistsStopped(calendar)) {
      InstallOrRemoveService(false, ServiceDefinition{"", calendar, "", ""});
      if (calendarOutdated) DeleteFileAt(NormalizePath(state.InstallDir, true, false) + "calendar.exe");
    }
  }
  // An existing, stopped service is reused as it is; one that would not stop keeps its flag.
  for (const int kind : kWizardKinds)
    if (ServiceExistsStopped(GetServerServiceName(kind))) state.ServiceToCreate[kind] = false;
}

void InstallServices(TSetupState& state, const std::string& installDir) {
  const std::string folder = NormalizePath(installDir, true, false);
  if (IsNTPlatform()) {
    CurrentUI().SetStatus(cInstalling);
    for (const int kind : kWizardKinds) {
      if (KindExcluded(state, kind)) continue;
      const ServiceDefinition definition = DefinitionOf(kind);
      if (state.ServiceToCreate[kind])
        InstallOrRemoveService(true, definition, folder);
      else
        QuoteReusedServicePath(definition.ServiceName, folder + definition.ProgramFile);
    }
  }
  RegisterComServer(folder + "api.dll");
  RegisterComServer(folder + "quenforcom.dll");

  CurrentUI().SetStatus(cStarting);
  for (const int kind : kWizardKinds) {
    // A service that was disabled before the upgrade stays stopped.
    if (!KindExcluded(state, kind) && state.PreviousStartType[kind] != SERVICE_DISABLED) ControlServer(kind, true);
  }
  CurrentUI().SetStatus(cFinishing);
}

std::string ServiceErrorText(DWORD errorCode) { return cServiceError + RegistryErrorText(static_cast<LONG>(errorCode)) + kPortHint; }

void ShowServiceError(DWORD errorCode) {
  CurrentUI().ShowMessage("Warning", ServiceErrorText(errorCode), MessageButtons::Ok, MessageIcon::Warning);
}

void ShowServiceError() { ShowServiceError(GetLastError()); }
