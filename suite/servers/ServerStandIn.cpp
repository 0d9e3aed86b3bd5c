// Stand-in for the suite's five server programs (smtp.exe, pop3.exe, control.exe, im.exe,
// cal.exe): one source, the role chosen by the program's own file name. It has exactly the
// outside behaviour the setup relies on, so the setup's service and tray code runs for real:
//
// - Started by the Service Control Manager it runs as a service. The setup registers the
//   service with the bare program path (no arguments), and a tray start on 9x also passes
//   none, so the command line cannot tell the two apart. The service case is recognised by
//   its parent process, the Service Control Manager's services.exe ("/service" forces it).
//   Asking the dispatcher blindly is no option: from a console it blocks for seconds and
//   then fails.
// - Started otherwise (also with "/systray") it runs as a tray program: a hidden top-level
//   window with the class and title the setup looks for, closed by WM_CLOSE.
// - In both modes it serves the named pipe \\.\pipe\<service name> (20-byte commands; as a
//   service, the name it was started under, so a copy registered under another name has a
//   pipe of its own) and, in tray mode, the private window message 0x500. Every command
//   received is appended as one line to logs\<program>-commands.log in its installation
//   folder:
//     pipe <message> <first> <second>      (a command of code 0x1000 from the pipe)
//     pipe-code-<code> <message> <first> <second>   (a command of any other code)
//     window <message> <first> <second>
//   Lifecycle events go to logs\<program>-events.log.
// - A stopped server ends its process, so its program file is free afterwards.
// - A program name that is none of the five ends at once with exit code 2.
//
// Test switches: words in the file <program>.test beside the program (read at start):
//   ignore-stop   the stop control (service) or WM_CLOSE (tray) is ignored
//   fail-start    the service reports itself stopped at once; the tray program exits
//   stop-pending  a stop control moves the service to stop-pending, where it stays
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

namespace {

struct TRole {
  const char* program;  // lower-case base name without ".exe"
  const char* serviceName;
  const char* windowClass;
  const char* windowTitle;
};

constexpr TRole kRoles[] = {
    {"smtp", "ZarelSMTP", "TSMTPForm", "SMTP"},
    {"pop3", "ZarelPOP3", "TPOP3Form", "POP3"},
    {"control", "ZarelControl", "TControlForm", "Control"},
    {"im", "ZarelIM", "TIMForm", "Instant Messaging Server"},
    {"cal", "ZarelCalendar", "TGroupWareForm", "GroupWare"},
};

constexpr UINT kServerCommandMessage = 0x500;
constexpr std::uint32_t kWindowMessageCommand = 0x1000;
constexpr DWORD kCommandSize = 20;

struct TSwitches {
  bool ignoreStop = false;
  bool failStart = false;
  bool stopPending = false;
};

const TRole* role = nullptr;
std::string folder;       // installation folder, ends in '\'
std::string programName;  // e.g. "smtp"
TSwitches switches;
std::mutex logLock;

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

void AppendLine(const std::string& fileName, const std::string& line) {
  const std::lock_guard<std::mutex> guard(logLock);
  const std::string logs = folder + "logs\\";
  CreateDirectoryA(logs.c_str(), nullptr);
  HANDLE file = CreateFileA((logs + fileName).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

void LogEvent(const std::string& text) { AppendLine(programName + "-events.log", text); }

void LogCommand(const std::string& kind, std::uint32_t message, std::uint32_t first, std::uint32_t second) {
  char line[128];
  std::snprintf(line, sizeof line, "%s %lu %lu %lu", kind.c_str(), static_cast<unsigned long>(message),
                static_cast<unsigned long>(first), static_cast<unsigned long>(second));
  AppendLine(programName + "-commands.log", line);
}

bool ResolveRole() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string full = path;
  const std::size_t slash = full.find_last_of("\\/");
  folder = full.substr(0, slash + 1);
  std::string name = Lower(full.substr(slash + 1));
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".exe") == 0) name.resize(name.size() - 4);
  programName = name;
  for (const TRole& candidate : kRoles)
    if (name == candidate.program) role = &candidate;
  return role != nullptr;
}

void ReadSwitches() {
  const std::string path = folder + programName + ".test";
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  char buffer[512] = {};
  DWORD read = 0;
  ReadFile(file, buffer, sizeof buffer - 1, &read, nullptr);
  CloseHandle(file);
  const std::string words = Lower(std::string(buffer, read));
  switches.ignoreStop = words.find("ignore-stop") != std::string::npos;
  switches.failStart = words.find("fail-start") != std::string::npos;
  switches.stopPending = words.find("stop-pending") != std::string::npos;
}

std::string ParentProcessName() {
  const DWORD self = GetCurrentProcessId();
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return {};
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  DWORD parent = 0;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
    if (entry.th32ProcessID == self) parent = entry.th32ParentProcessID;
  std::string name;
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more && parent != 0; more = Process32Next(snapshot, &entry))
    if (entry.th32ProcessID == parent) name = Lower(entry.szExeFile);
  CloseHandle(snapshot);
  return name;
}

// ---- The command pipe ----------------------------------------------------------------

class TCommandPipe {
 public:
  void Start(const std::string& serviceName) {
    name_ = "\\\\.\\pipe\\" + serviceName;
    thread_ = std::thread([this] { Serve(); });
  }
  void Stop() {
    if (!thread_.joinable()) return;
    stopping_ = true;
    // The server thread waits in ConnectNamedPipe; a connection of our own wakes it.
    HANDLE wake = CreateFileA(name_.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (wake != INVALID_HANDLE_VALUE) CloseHandle(wake);
    thread_.join();
  }

 private:
  HANDLE CreateInstance() const {
    return CreateNamedPipeA(name_.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT,
                            PIPE_UNLIMITED_INSTANCES, 512, 512, 0, nullptr);
  }

  void Serve() {
    // The next instance exists before the current client is served, so a client arriving
    // meanwhile never finds the pipe missing.
    HANDLE next = CreateInstance();
    while (next != INVALID_HANDLE_VALUE) {
      HANDLE current = next;
      // A client may have connected, written its command and gone before we got here
      // (ERROR_PIPE_CONNECTED or ERROR_NO_DATA): what it wrote is still there to read.
      ConnectNamedPipe(current, nullptr);
      if (stopping_) {
        CloseHandle(current);
        return;
      }
      next = CreateInstance();
      ReadCommands(current);
      DisconnectNamedPipe(current);
      CloseHandle(current);
    }
    LogEvent("pipe creation failed " + std::to_string(GetLastError()));
  }

  static void ReadCommands(HANDLE pipe) {
    for (;;) {
      unsigned char command[kCommandSize];
      DWORD have = 0;
      while (have < kCommandSize) {
        DWORD read = 0;
        if (!ReadFile(pipe, command + have, kCommandSize - have, &read, nullptr) || read == 0) return;
        have += read;
      }
      std::uint32_t field[5];
      std::memcpy(field, command, sizeof field);  // little-endian, as the setup writes it
      const std::string kind =
          field[0] == kWindowMessageCommand ? std::string("pipe") : "pipe-code-" + std::to_string(field[0]);
      LogCommand(kind, field[1], field[2], field[3]);
    }
  }

  std::string name_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
};

TCommandPipe commandPipe;

// Where the protocol work of each role starts and stops. The pipe is common to all five;
// the SMTP role's receiver belongs here beside it.
void StartServerWork(const std::string& serviceName) { commandPipe.Start(serviceName); }
void StopServerWork() { commandPipe.Stop(); }

// ---- Service mode ------------------------------------------------------------------------

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;

void ReportStatus(DWORD state, DWORD exitCode = NO_ERROR, DWORD specificCode = 0) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  status.dwWin32ExitCode = exitCode;
  status.dwServiceSpecificExitCode = specificCode;
  status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : 60000;
  SetServiceStatus(statusHandle, &status);
}

DWORD WINAPI ServiceControlHandler(DWORD control, DWORD, LPVOID, LPVOID) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      if (switches.ignoreStop) {
        LogEvent("stop ignored");
        return NO_ERROR;
      }
      ReportStatus(SERVICE_STOP_PENDING);
      if (switches.stopPending) {
        LogEvent("stop pending for ever");
        return NO_ERROR;
      }
      SetEvent(stopEvent);
      return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
      return NO_ERROR;
    default:
      return ERROR_CALL_NOT_IMPLEMENTED;
  }
}

void WINAPI ServiceMain(DWORD argc, LPSTR* argv) {
  // The name the manager started us under (a copy may be registered under another name).
  const std::string serviceName = argc > 0 && argv[0] != nullptr ? argv[0] : role->serviceName;
  statusHandle = RegisterServiceCtrlHandlerExA(serviceName.c_str(), ServiceControlHandler, nullptr);
  if (statusHandle == nullptr) return;
  ReportStatus(SERVICE_START_PENDING);
  if (switches.failStart) {
    LogEvent("service " + serviceName + " failed to start (test switch)");
    ReportStatus(SERVICE_STOPPED, ERROR_SERVICE_SPECIFIC_ERROR, 1);
    return;
  }
  stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  StartServerWork(serviceName);
  // Logged before the state is visible, so whoever sees "running" finds the line.
  LogEvent("service " + serviceName + " running");
  ReportStatus(SERVICE_RUNNING);
  WaitForSingleObject(stopEvent, INFINITE);
  StopServerWork();
  LogEvent("service " + serviceName + " stopped");
  ReportStatus(SERVICE_STOPPED);
}

int RunAsService() {
  SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(role->serviceName), ServiceMain}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherA(table)) {
    LogEvent("service dispatcher failed " + std::to_string(GetLastError()));
    return 1;
  }
  return 0;
}

// ---- Tray mode ---------------------------------------------------------------------------

NOTIFYICONDATAA trayIcon{};

LRESULT CALLBACK TrayWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case kServerCommandMessage:
      LogCommand("window", message, static_cast<std::uint32_t>(wParam), static_cast<std::uint32_t>(lParam));
      return 1;
    case WM_CLOSE:
      if (switches.ignoreStop) {
        LogEvent("close ignored");
        return 0;
      }
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      Shell_NotifyIconA(NIM_DELETE, &trayIcon);
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

int RunAsTrayProgram() {
  if (switches.failStart) {
    LogEvent("tray program failed to start (test switch)");
    return 1;
  }
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = TrayWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = role->windowClass;
  windowClass.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  RegisterClassA(&windowClass);
  StartServerWork(role->serviceName);
  // Logged before the window can be found, so whoever finds it finds the line.
  LogEvent("tray program running");
  HWND window = CreateWindowExA(0, role->windowClass, role->windowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 200, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (window == nullptr) {
    LogEvent("window creation failed " + std::to_string(GetLastError()));
    StopServerWork();
    return 1;
  }
  // Without a display driver's tray the icon is simply not shown.
  trayIcon.cbSize = sizeof trayIcon;
  trayIcon.hWnd = window;
  trayIcon.uID = 1;
  trayIcon.uFlags = NIF_ICON | NIF_TIP;
  trayIcon.hIcon = windowClass.hIcon;
  lstrcpynA(trayIcon.szTip, role->windowTitle, sizeof trayIcon.szTip);
  Shell_NotifyIconA(NIM_ADD, &trayIcon);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  StopServerWork();
  LogEvent("tray program stopped");
  return 0;
}

bool HasArgument(int argc, char** argv, const char* wanted) {
  for (int i = 1; i < argc; ++i)
    if (lstrcmpiA(argv[i], wanted) == 0) return true;
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (!ResolveRole()) return 2;
  ReadSwitches();
  const bool asService = HasArgument(argc, argv, "/service") ||
                         (!HasArgument(argc, argv, "/systray") && ParentProcessName() == "services.exe");
  return asService ? RunAsService() : RunAsTrayProgram();
}
