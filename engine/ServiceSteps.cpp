#include "engine/ServiceSteps.h"

#include "base/DeadlineClock.h"
#include "base/FileSystemUnit.h"
#include "base/TextFormat.h"
#include "base/VersionUnit.h"
#include "engine/ComponentTable.h"
#include "engine/InstallLog.h"
#include "engine/InstallUI.h"
#include "engine/SetupQuestions.h"
#include "system/AdvancedRegistry.h"
#include "system/ComRegistration.h"
#include "system/ServerTable.h"
#include "system/ServiceControl.h"
#include "system/ServiceInstall.h"
#include "system/ServiceManager.h"
#include "system/ServicesFuncUnit.h"
#include "texts/TextTable.h"

namespace {

constexpr char kPortHint[] =
    "\r\nThere might be already some service running on the same TCP/IP port. Make sure MS SMTP, Norton "
    "Antivirus POP3 or some other mail server is not running on this machine.";
constexpr char kSystemSmtpService[] = "SMTPSVC";
// The groupware server's older program file, and the version that replaced it.
constexpr char kOldGroupWareProgram[] = "calendar.exe";
constexpr char kGroupWareReplacedIn[] = "8.1.7";

bool ServiceExistsStopped(const std::string& serviceName) {
  return IsServiceInstalled(serviceName) && IsServiceInState(serviceName, SERVICE_STOPPED);
}

void RemoveServiceWarning(const std::string& serviceName) {
  ShowServiceError(InstallOrRemoveService(false, ServiceDefinition{"", serviceName, "", ""}));
}

void RemoveServiceIfStopped(const std::string& serviceName) {
  if (ServiceExistsStopped(serviceName)) RemoveServiceWarning(serviceName);
}

ServiceDefinition DefinitionOf(int kind) {
  const TServerInfo& info = *FindServerInfo(kind);
  return ServiceDefinition{info.programFile, info.serviceName, info.displayName, info.description};
}

// The operating system's own SMTP service holds port 25 while ours could not start:
// stop and disable it, then start ours in its place.
void ReplaceSystemSmtpService() {
  const std::string ours = GetServerServiceName(kSmtpServer);
  if (!IsServiceInstalled(ours) || IsServiceInState(ours, SERVICE_RUNNING)) return;
  if (!IsServiceInstalled(kSystemSmtpService) || !IsServiceInState(kSystemSmtpService, SERVICE_RUNNING)) return;
  ControlServerWarning(kSmtpServer, false, kSystemSmtpService);
  DisableService(kSystemSmtpService);
  ControlServerWarning(kSmtpServer, true);
  PauseMs(kSettlePauseMs);
}

// The kinds CheckStartedServices tests: the groupware server is never tested.
constexpr int kTestedServers[] = {kSmtpServer, kPop3Server, kControlServer, kIMServer};

}  // namespace

std::string ServiceErrorText(DWORD errorCode) {
  return cServiceError + RegistryErrorText(static_cast<LONG>(errorCode)) + kPortHint;
}

void ShowServiceError(DWORD errorCode) {
  if (errorCode == ERROR_SUCCESS) return;
  NotifyText(TQuestion::ServiceError, ServiceErrorText(errorCode));
}

void ControlServerWarning(int kind, bool start, const std::string& serviceName) {
  ShowServiceError(ControlServer(kind, start, serviceName));
}

void StopServerIfRunningWarning(int kind) { ShowServiceError(StopServerIfRunning(kind)); }

void CheckRunningServices(TSetupState& state) {
  CurrentUI().SetStatus(cChecking);
  for (const int kind : kInstalledServers) state.ServiceToCreate[kind] = true;
  for (const int kind : kInstalledServers) {
    StopServerIfRunningWarning(kind);
    StopServerIfRunningWarning(kind);
  }
  CurrentUI().ProcessMessages();
  PauseMs(kSettlePauseMs);
  if (!IsNTPlatform()) return;

  // The services of components left out go; so does an older groupware server's, whose
  // program file was renamed since.
  const bool calendarOutdated =
      !state.InstalledVersion.empty() && !VersionAtLeast(state.InstalledVersion, kGroupWareReplacedIn);
  for (const int kind : kInstalledServers) {
    const bool outdated = kind == kGroupWareServer && calendarOutdated;
    if (!ServerLeftOut(state, kind) && !outdated) continue;
    const std::string service = GetServerServiceName(kind);
    if (!ServiceExistsStopped(service)) continue;
    RemoveServiceWarning(service);
    if (outdated) DeleteFileAt(NormalizePath(state.InstallDir, true, false) + kOldGroupWareProgram);
  }
  // An existing, stopped service is reused as it is; one that would not stop keeps its flag.
  for (const int kind : kInstalledServers)
    if (ServiceExistsStopped(GetServerServiceName(kind))) state.ServiceToCreate[kind] = false;
}

// An existing service is used again only when it runs our program from this folder.
void ReuseServiceLogged(const ServiceDefinition& definition, const std::string& folder) {
  const TReusedServiceResult reused = ReuseService(definition, folder);
  switch (reused.Outcome) {
    case TReusedService::Ours:
      return;
    case TReusedService::Quoted:
      InstallLog("Service " + definition.ServiceName + ": program path put in quotes");
      return;
    case TReusedService::Repointed:
      InstallLog("Service " + definition.ServiceName + " ran " + reused.StoredPath + ": recreated with " +
                 QuotedServicePath(folder + definition.ProgramFile) + " as LocalSystem");
      return;
    case TReusedService::Unreadable:
      InstallLog("Service " + definition.ServiceName + " could not be checked or changed (error " +
                 std::to_string(reused.Error) + ")");
      ShowServiceError(reused.Error);
      return;
  }
}

void InstallServices(TSetupState& state, const std::string& installDir) {
  const std::string folder = NormalizePath(installDir, true, false);
  if (IsNTPlatform()) {
    CurrentUI().SetStatus(cInstalling);
    for (const int kind : kInstalledServers) {
      if (ServerLeftOut(state, kind)) continue;
      const ServiceDefinition definition = DefinitionOf(kind);
      if (state.ServiceToCreate[kind])
        ShowServiceError(InstallOrRemoveService(true, definition, folder));
      else
        ReuseServiceLogged(definition, folder);
    }
  }
  for (const char* library : {"api.dll", "quenforcom.dll"})
    InstallLog("COM registration of " + folder + library + (RegisterComServer(folder + library) ? " succeeded" : " failed"));

  CurrentUI().SetStatus(cStarting);
  for (const int kind : kInstalledServers) {
    // A service that was disabled before the upgrade stays stopped.
    if (!ServerLeftOut(state, kind) && state.PreviousStartType[kind] != SERVICE_DISABLED)
      ControlServerWarning(kind, true);
  }
  CurrentUI().SetStatus(cFinishing);
}

std::vector<std::string> CheckStartedServices(const TSetupState& state) {
  if (IsNTPlatform()) ReplaceSystemSmtpService();
  bool started[kIMServer + 1] = {};
  bool allFine = true;
  for (const int kind : kTestedServers) {
    if (ServerLeftOut(state, kind)) {
      started[kind] = true;
      continue;
    }
    // A server still starting on a busy machine is not yet one that could not be started.
    WaitForPendingStart(kind);
    started[kind] = IsServerRunning(kind);
    allFine = allFine && (started[kind] || state.PreviousStartType[kind] == SERVICE_DISABLED);
  }
  if (allFine) return {};
  std::vector<std::string> names;
  std::string list;
  for (const int kind : kTestedServers) {
    if (started[kind]) continue;
    names.emplace_back(FindServerInfo(kind)->displayName);
    list += names.back() + "\r\n";
  }
  Notify(TQuestion::ServersNotRunning, {list});
  return names;
}

void RemoveAllServices() {
  for (const int kind : kInstalledServers) StopServerIfRunningWarning(kind);
  CurrentUI().ProcessMessages();
  PauseMs(kSettlePauseMs);
  if (!IsNTPlatform()) return;
  // A service that still runs is left installed rather than deleted under a live process.
  for (const int kind : kInstalledServers) RemoveServiceIfStopped(GetServerServiceName(kind));
}
