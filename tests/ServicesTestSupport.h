// Shared by the service and process tests: the stand-in servers installed into a scratch
// installation folder, a fake deadline clock, the program-end trap and service clean-up.
// Services are machine-wide within the Wine prefix, so every test removes the services it
// may have created, before and after it runs.
#pragma once

#include <windows.h>  // before the helpers: it defines CopyFile and MoveFile as macros

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/FileSystemUnit.h"
#include "engine/ProgramEnd.h"
#include "base/DeadlineClock.h"
#include "base/HandleTypes.h"
#include "system/ProcessUnit.h"

// "/unix/path" (what CMake knows) as Wine sees it: "Z:\unix\path".
inline std::string WinePath(const std::string& unixPath) {
  std::string path = unixPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path.size() > 1 && path[1] == ':' ? path : "Z:" + path;
}

inline bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(20);
  }
}

// Time moves only when the code under test pauses; each pause also yields a real
// millisecond so that real servers polled in a loop get time to act.
class TFakeClock final : public TDeadlineClock {
 public:
  std::uint64_t now = 1000000;
  std::uint64_t NowMs() override { return now; }
  void Pause(std::uint32_t ms) override {
    now += ms;
    Sleep(1);
  }
};

class TScopedClock {
 public:
  explicit TScopedClock(TDeadlineClock& clock) { SetDeadlineClock(&clock); }
  ~TScopedClock() { SetDeadlineClock(nullptr); }
};

// EndProgram throws TProgramEnded instead of ending the test program.
class TProgramEndTrap {
 public:
  TProgramEndTrap() {
    SetProgramEndHandler([](int code) { throw TProgramEnded{code}; });
  }
  ~TProgramEndTrap() { SetProgramEndHandler(nullptr); }
};

inline const char* const kTestServiceNames[] = {"ZarelSMTP", "ZarelPOP3", "ZarelControl",
                                                "ZarelIM", "ZarelCalendar", "SMTPSVC"};

inline TServiceHandle OpenTestService(const std::string& name, DWORD access) {
  const TServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  return manager ? TServiceHandle(OpenServiceA(manager.Get(), name.c_str(), access)) : TServiceHandle();
}

// The service's state and process; a zero state when there is no such service.
inline SERVICE_STATUS_PROCESS ServiceStatus(const std::string& name) {
  const TServiceHandle service = OpenTestService(name, SERVICE_QUERY_STATUS);
  SERVICE_STATUS_PROCESS status{};
  DWORD needed = 0;
  if (!service || !QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                        sizeof status, &needed))
    status = SERVICE_STATUS_PROCESS{};
  return status;
}
inline DWORD ServiceState(const std::string& name) { return ServiceStatus(name).dwCurrentState; }
inline DWORD ServiceProcessId(const std::string& name) { return ServiceStatus(name).dwProcessId; }

// Stops and deletes the service (one that ignored its stop stays "running" in Wine until
// it is deleted and its process ended).
inline void DeleteServiceCompletely(const std::string& name) {
  if (const TServiceHandle service = OpenTestService(name, SERVICE_ALL_ACCESS)) {
    SERVICE_STATUS status{};
    if (ControlService(service.Get(), SERVICE_CONTROL_STOP, &status))
      WaitFor([&] { return ServiceState(name) == SERVICE_STOPPED; }, 3000);
    DeleteService(service.Get());
  }
}

// A program started by the test; ended and closed with the object.
class TChildProcess {
 public:
  TChildProcess(const std::string& program, const std::string& arguments) {
    std::string commandLine = "\"" + program + "\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &info_))
      CloseHandle(info_.hThread);
  }
  ~TChildProcess() {
    if (info_.hProcess == nullptr) return;
    TerminateProcess(info_.hProcess, 0);
    WaitForSingleObject(info_.hProcess, 5000);
    CloseHandle(info_.hProcess);
  }
  TChildProcess(const TChildProcess&) = delete;
  TChildProcess& operator=(const TChildProcess&) = delete;

  bool Started() const { return info_.hProcess != nullptr; }
  bool Running() const { return info_.hProcess != nullptr && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT; }
  // Waits for the end; the exit code, or STILL_ACTIVE on time-out.
  DWORD Wait(DWORD timeoutMs) const {
    WaitForSingleObject(info_.hProcess, timeoutMs);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }
  DWORD Id() const { return info_.dwProcessId; }
  // Waits until the process's modules can be listed: a process caught earlier in its start
  // cannot be recognised by its program yet.
  bool WaitReady() const {
    using TEnumModules = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
    static const auto enumModules = reinterpret_cast<TEnumModules>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryA("psapi.dll"), "EnumProcessModules")));
    return WaitFor(
        [this] {
          HMODULE module = nullptr;
          DWORD needed = 0;
          return enumModules(info_.hProcess, &module, sizeof module, &needed) != FALSE;
        },
        5000);
  }

 private:
  PROCESS_INFORMATION info_{};
};

// Lines of a text file (CR LF or LF), without the line ends.
inline std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::string text = ReadWholeFile(path, false);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}
