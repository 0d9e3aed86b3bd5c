#include "system/ServicesFuncUnit.h"

#include <windows.h>

#include "base/DeadlineClock.h"
#include "base/FileSystemUnit.h"
#include "system/ProcessUnit.h"
#include "system/ServerTable.h"
#include "system/ServiceInstall.h"
#include "system/ServiceManager.h"

namespace {

constexpr std::uint32_t kRestartPollMs = 100;
constexpr std::uint32_t kFileFreePollMs = 16;
constexpr DWORD kPipeBusyWaitMs = 10000;
constexpr int kShowNormal = SW_SHOWNORMAL;

std::mutex& PipeWaitLock() {
  static std::mutex lock;
  return lock;
}

bool TrayWindowExists(int kind) { return FindServerWindow(kind) != nullptr; }

}  // namespace

HWND FindServerWindow(int kind) {
  const TServerInfo* info = FindServerInfo(kind);
  if (info == nullptr) return nullptr;
  return FindWindowA(info->windowClass, info->windowTitle);
}

std::string GetServerServiceName(int kind) {
  const TServerInfo* info = FindServerInfo(kind);
  return info != nullptr ? info->serviceName : "";
}

std::string GetServerExeName(int kind) {
  const TServerInfo* info = FindServerInfo(kind);
  return info != nullptr ? info->programFile : "";
}

bool IsServiceInstalled(const std::string& serviceName) {
  if (!IsNTPlatform()) return false;
  const TServiceHandle manager = OpenServiceManager(SC_MANAGER_CONNECT);
  return static_cast<bool>(OpenNamedService(manager, serviceName, SERVICE_QUERY_STATUS));
}

bool IsServiceInState(const std::string& serviceName, DWORD state) {
  const TServiceHandle manager = OpenServiceManager(SC_MANAGER_CONNECT);
  const TServiceHandle service = OpenNamedService(manager, serviceName, SERVICE_QUERY_STATUS);
  DWORD current = 0;
  return QueryCurrentState(service, current) && current == state;
}

bool IsServerInState(int kind, DWORD state) {
  if (IsNTPlatform() && IsServiceInState(GetServerServiceName(kind), state)) return true;
  return TrayWindowExists(kind);
}

std::string InstalledServerProgram(int kind) {
  const std::string program = GetServerExeName(kind);
  return program.empty() ? std::string() : ServerFolder() + program;
}

namespace {

// How long the manager may take to see a process ended by force before the service's failure
// actions are put back.
constexpr std::uint32_t kForcedEndNoticeMs = 2000;

// Ends the server's process with the service's failure actions suspended, and puts them back
// once the manager has seen the process go (Wine never shows that: then after the wait).
void EndServiceByForce(const TServiceHandle& manager, const std::string& serviceName, int kind) {
  const TServiceHandle service =
      OpenNamedService(manager, serviceName, SERVICE_CHANGE_CONFIG | SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS);
  std::vector<BYTE> actions;
  if (service) actions = SuspendServiceFailureActions(service.Get());
  ForceEndServer(kind);
  if (!service) return;
  WaitForServiceState(service, SERVICE_STOPPED, kForcedEndNoticeMs);
  ResumeServiceFailureActions(service.Get(), actions);
}

}  // namespace

void EndHungStartByForce(const std::string& serviceName, int kind) {
  const TServiceHandle manager = OpenServiceManager(SC_MANAGER_ALL_ACCESS);
  if (manager) EndServiceByForce(manager, serviceName, kind);
}

DWORD StopNamedService(const std::string& serviceName, int kind, bool wait) {
  const TServiceHandle manager = OpenServiceManager(SC_MANAGER_ALL_ACCESS);
  if (!manager) return GetLastError();
  const TServiceHandle service = OpenNamedService(manager, serviceName, SERVICE_STOP | SERVICE_QUERY_STATUS);
  if (!service) return ERROR_SUCCESS;  // nothing installed, nothing to stop
  SERVICE_STATUS status{};
  if (!ControlService(service.Get(), SERVICE_CONTROL_STOP, &status)) return GetLastError();
  if (wait && !WaitForServiceState(service, SERVICE_STOPPED, kServerWaitMs)) EndServiceByForce(manager, serviceName, kind);
  return ERROR_SUCCESS;
}

DWORD StartNamedService(const std::string& serviceName, bool wait) {
  const TServiceHandle manager = OpenServiceManager(SC_MANAGER_ALL_ACCESS);
  if (!manager) return GetLastError();
  const TServiceHandle service = OpenNamedService(manager, serviceName, SERVICE_START | SERVICE_QUERY_STATUS);
  if (!service) return GetLastError();
  if (!StartServiceA(service.Get(), 0, nullptr)) return GetLastError();
  if (wait) WaitForServiceState(service, SERVICE_RUNNING, kServerWaitMs);
  return ERROR_SUCCESS;
}

void CloseTrayProgram(int kind, bool wait) {
  const HWND window = FindServerWindow(kind);
  if (window == nullptr) return;
  SendMessageA(window, WM_CLOSE, 0, 0);
  if (wait) WaitUntil([kind] { return !TrayWindowExists(kind); }, kServerWaitMs, kServerPollMs);
}

void LaunchTrayProgram(int kind, const std::string& parameters, bool wait) {
  const std::string program = InstalledServerProgram(kind);
  if (program.empty() || !FileExists(program)) return;
  RunProgram(nullptr, "", program, parameters, ServerFolder(), kShowNormal);
  if (wait) WaitUntil([kind] { return TrayWindowExists(kind); }, kServerWaitMs, kServerPollMs);
}

bool ForceEndServer(int kind) { return KillProcessByPath(InstalledServerProgram(kind)); }

void SetServerRunning(int kind, bool start, bool wait) {
  // Nothing is reported here: a failed call leaves the server as it was.
  const std::string serviceName = GetServerServiceName(kind);
  if (IsServiceInstalled(serviceName)) {
    if (start)
      StartNamedService(serviceName, wait);
    else
      StopNamedService(serviceName, kind, wait);
  } else if (start) {
    LaunchTrayProgram(kind, IsNTPlatform() ? "/systray" : "", wait);
  } else {
    CloseTrayProgram(kind, wait);
  }
}

namespace {

// A tray program answers every state test with "its window exists", so the state tests
// alone would take a tray program that ignores the close for stopped and start a second one
// beside it. A tray program has stopped when its window is gone.
bool ServerHasStopped(int kind) {
  if (TrayWindowExists(kind) &&
      !(IsNTPlatform() && IsServiceInState(GetServerServiceName(kind), SERVICE_STOPPED))) {
    return false;
  }
  if (!IsServerInState(kind, SERVICE_STOP_PENDING) && !IsServerInState(kind, SERVICE_RUNNING)) return true;
  return IsServerInState(kind, SERVICE_STOPPED);
}

}  // namespace

bool RestartServer(int kind) {
  const TDeadline deadline(kRestartWaitMs);
  for (;;) {
    // Nobody waits for a server that will not stop: nothing is started then.
    if (deadline.Passed()) return false;
    SetServerRunning(kind, false, false);
    if (ServerHasStopped(kind)) break;
    PauseMs(kRestartPollMs);
  }
  const std::string program = InstalledServerProgram(kind);
  if (!program.empty()) WaitFileFree(program);
  SetServerRunning(kind, true, false);
  return true;
}

bool ParseServerKindWord(const std::string& word, int& kind) {
  if (word.empty() || word.size() > 9) return false;
  int value = 0;
  for (const char c : word) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  kind = value;
  return true;
}

LRESULT SendServerWindowMessage(int kind, std::uint32_t message, std::uint32_t first, std::uint32_t second) {
  const HWND window = FindServerWindow(kind);
  if (window == nullptr) return 0;
  return SendMessageA(window, message, static_cast<WPARAM>(first), static_cast<LPARAM>(second));
}

bool SendServerCommand(int kind, std::uint32_t message, std::uint32_t first, std::uint32_t second) {
  if (!IsNTPlatform()) {
    // A tray program is reached through its window alone: without one nothing is delivered.
    const HWND window = FindServerWindow(kind);
    if (window == nullptr) return false;
    SendMessageA(window, message, static_cast<WPARAM>(first), static_cast<LPARAM>(second));
    return true;
  }
  if (!IsServerInState(kind, SERVICE_RUNNING)) return false;
  TPipeClient client;
  if (!client.Connect(GetServerServiceName(kind))) return false;
  const TServerPipeCommand command = {kWindowMessageCommand, message, first, second, 0};
  return client.Write(&command, sizeof command);
}

bool WaitFileFree(const std::string& path, std::uint32_t timeoutMs) {
  if (!FileExists(path)) return false;
  return WaitUntil(
      [&path] {
        const TKernelHandle file(
            CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        return static_cast<bool>(file);
      },
      timeoutMs == 0 ? kFileFreeWaitMs : timeoutMs, kFileFreePollMs);
}

bool TPipeClient::Connect(const std::string& pipeName) {
  const std::string path = "\\\\.\\pipe\\" + pipeName;
  // Identification only: whoever created the pipe first (not necessarily our server) may learn
  // who is calling but never act as the administrator running the setup.
  const auto open = [&path] {
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
  };
  pipe_.Reset(open());
  if (!pipe_ && GetLastError() == ERROR_PIPE_BUSY) {
    const std::lock_guard<std::mutex> guard(PipeWaitLock());
    if (WaitNamedPipeA(path.c_str(), kPipeBusyWaitMs)) pipe_.Reset(open());
  }
  return Connected();
}

bool TPipeClient::Write(const void* data, std::size_t size) {
  if (!pipe_) return false;
  const char* next = static_cast<const char*>(data);
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(pipe_.Get(), next, static_cast<DWORD>(size), &written, nullptr) || written == 0) return false;
    next += written;
    size -= written;
  }
  return true;
}
