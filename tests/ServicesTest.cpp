// The service functions against Wine's real Service Control Manager, with the stand-in
// servers installed as real services. Wine differs from Windows in two places: failure
// actions are accepted but not stored (the call itself is recorded instead), and a service
// whose process was ended by force is never shown as stopped (the process being gone and
// its program file being free prove the forced stop instead).
#include "tests/ServicesTestSupport.h"

#include <cctype>
#include <thread>

#include "app/OneShotCommands.h"
#include "engine/ExitCodes.h"
#include "engine/ServiceSteps.h"
#include "engine/SetupState.h"
#include "texts/TextTable.h"
#include "system/AdvancedRegistry.h"
#include "system/ServerTable.h"
#include "system/ServiceControl.h"
#include "system/ServiceInstall.h"
#include "system/ServicesFuncUnit.h"
#include "tests/ImportHook.h"
#include "tests/TestFolder.h"
#include "tests/support/RecordingUI.h"

namespace {

const std::string kStandInDir = WinePath(ZAREL_STANDIN_DIR) + "\\";
const std::string kSleeperExe = WinePath(ZAREL_SLEEPER_EXE);
const std::string kComServersDir = WinePath(ZAREL_COMSERVERS_DIR) + "\\";
const char* const kPrograms[] = {"smtp.exe", "pop3.exe", "control.exe", "im.exe", "cal.exe"};

ServiceDefinition DefinitionOf(int kind) {
  const TServerInfo& info = *FindServerInfo(kind);
  return ServiceDefinition{info.programFile, info.serviceName, info.displayName, info.description};
}

int CountContaining(const std::vector<std::string>& lines, const std::string& part) {
  int count = 0;
  for (const std::string& line : lines)
    if (line.find(part) != std::string::npos) ++count;
  return count;
}

bool ProcessAlive(DWORD id) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, id);
  if (process == nullptr) return false;
  const bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return alive;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string RegistryString(HKEY root, const std::string& path, const std::string& name) {
  TRegistryKeyHandle key;
  std::string text;
  if (OpenRegistryKey(root, path, KEY_READ, key) == ERROR_SUCCESS) QueryStringValue(key.Get(), name, text);
  return text;
}

QUERY_SERVICE_CONFIGA ReadConfig(const std::string& name, std::vector<BYTE>& buffer) {
  const TServiceHandle service = OpenTestService(name, SERVICE_QUERY_CONFIG);
  DWORD needed = 0;
  QueryServiceConfigA(service.Get(), nullptr, 0, &needed);
  buffer.assign(needed + sizeof(QUERY_SERVICE_CONFIGA), 0);
  QueryServiceConfigA(service.Get(), reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data()), needed, &needed);
  return *reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
}

TServiceHandle CreateTestService(const std::string& name, const std::string& displayName, const std::string& path,
                                 DWORD startType, DWORD errorControl) {
  const TServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  return TServiceHandle(CreateServiceA(manager.Get(), name.c_str(), displayName.c_str(), SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, startType, errorControl, path.c_str(), nullptr,
                                       nullptr, nullptr, nullptr, nullptr));
}

// What the failure-action call received, recorded on its way to the real entry.
struct TFailureActionCall {
  int calls = 0;
  DWORD level = 0;
  DWORD resetPeriod = 99;
  bool noRebootMessage = false;
  bool noCommand = false;
  std::vector<SC_ACTION> actions;
  DWORD watchedProcess = 0;  // whose life each call records
  std::vector<bool> processAlive;
  std::vector<bool> noActionLeft;  // a list without an action, which clears the actions
};
TFailureActionCall failureActionCall;

BOOL WINAPI RecordChangeServiceConfig2(SC_HANDLE service, DWORD level, LPVOID info) {
  ++failureActionCall.calls;
  failureActionCall.level = level;
  const auto* actions = static_cast<SERVICE_FAILURE_ACTIONSA*>(info);
  failureActionCall.resetPeriod = actions->dwResetPeriod;
  failureActionCall.noRebootMessage = actions->lpRebootMsg == nullptr;
  failureActionCall.noCommand = actions->lpCommand == nullptr;
  failureActionCall.actions.assign(actions->lpsaActions, actions->lpsaActions + actions->cActions);
  failureActionCall.processAlive.push_back(ProcessAlive(failureActionCall.watchedProcess));
  failureActionCall.noActionLeft.push_back(actions->lpsaActions != nullptr && actions->cActions == 0);
  const auto real = reinterpret_cast<TChangeServiceConfig2>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("advapi32.dll"), "ChangeServiceConfig2A")));
  return real(service, level, info);
}

TChangeServiceConfig2 RecordingLookup(HMODULE) { return RecordChangeServiceConfig2; }
TChangeServiceConfig2 MissingLookup(HMODULE) { return nullptr; }

}  // namespace

class ServicesTest : public ::testing::Test {
 protected:
  TestFolder scratch;
  std::string installDir;  // with a space, as "C:\Program Files\Zarel\" has
  TRecordingUI ui;
  std::vector<std::string> extraPrograms;  // outside the installation, ended at the end

  void SetUp() override {
    RemoveTestServices();
    ResetSetupState();
    installDir = scratch / "Zarel Mail\\";
    ForceDirectories(installDir);
    for (const char* program : kPrograms) ASSERT_TRUE(CopyFile(kStandInDir + program, installDir + program, false));
    SetupState().InstallDir = installDir;
    SetServerFolder(installDir);
    SetCurrentUI(&ui);
    failureActionCall = TFailureActionCall{};
  }

  void TearDown() override {
    SetCurrentUI(nullptr);
    SetDeadlineClock(nullptr);
    SetProgramEndHandler(nullptr);
    SetServiceConfig2Lookup(nullptr);
    RemoveTestServices();
    ResetSetupState();
  }

  void RemoveTestServices() {
    std::vector<std::string> programs = extraPrograms;
    for (const char* program : kPrograms)
      if (!installDir.empty()) programs.push_back(installDir + program);
    for (const char* name : kTestServiceNames) DeleteServiceCompletely(name);
    for (const std::string& program : programs) KillProcessByPath(program);
  }

  void SetSwitches(const std::string& program, const std::string& words) {
    WriteWholeFile(words, installDir + program + ".test", false);
  }

  void CreateServices(std::initializer_list<int> kinds) {
    for (const int kind : kinds) InstallOrRemoveService(true, DefinitionOf(kind), installDir);
  }

  static bool WaitForState(const std::string& name, DWORD state, DWORD timeoutMs = 10000) {
    return WaitFor([&] { return ServiceState(name) == state; }, timeoutMs);
  }

  void StartAndWait(int kind) {
    const std::string name = GetServerServiceName(kind);
    ASSERT_TRUE(StartServiceA(OpenTestService(name, SERVICE_START).Get(), 0, nullptr)) << name << " " << GetLastError();
    ASSERT_TRUE(WaitForState(name, SERVICE_RUNNING)) << name;
  }

  std::vector<std::string> Log(const std::string& program, const std::string& which) const {
    return ReadLines(installDir + "logs\\" + program + "-" + which + ".log");
  }
};

TEST(ServerKinds, AliasesAndUnknownKinds) {
  struct Case {
    int kind;
    const char* service;
    const char* program;
    const char* windowClass;
  } cases[] = {
      {0, "ZarelSMTP", "smtp.exe", "TSMTPForm"},
      {4, "ZarelCalendar", "cal.exe", "TGroupWareForm"},
      {6, "QWebMail", "webmail.exe", "TWebMailForm"},
      {8, "ZarelPOP3", "pop3.exe", "TPOP3Form"},
      {10, "ZarelControl", "", "TControlForm"},  // the control server without a program file
      {5, "", "", nullptr},
      {7, "", "", nullptr},
      {-1, "", "", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    EXPECT_EQ(GetServerServiceName(c.kind), c.service);
    EXPECT_EQ(GetServerExeName(c.kind), c.program);
    const TServerInfo* info = FindServerInfo(c.kind);
    EXPECT_EQ(info == nullptr ? "" : std::string(info->windowClass), c.windowClass == nullptr ? "" : c.windowClass);
    EXPECT_EQ(info == nullptr, c.windowClass == nullptr);
  }
  // Without a program file nothing can be launched or ended by force.
  EXPECT_EQ(InstalledServerProgram(10), "");
  EXPECT_FALSE(ForceEndServer(10));
  EXPECT_TRUE(IsNTPlatform());
}

TEST(RestartWord, OnlyWholeDecimalNumbersNameAKind) {
  struct Case {
    const char* word;
    bool valid;
    int kind;
  } cases[] = {
      {"0", true, 0}, {"2", true, 2}, {"10", true, 10}, {"007", true, 7},
      {"", false, 0}, {"smtp", false, 0}, {"1a", false, 0}, {"-1", false, 0},
      {"+1", false, 0}, {" 1", false, 0}, {"0x1", false, 0}, {"99999999999", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    int kind = -5;
    EXPECT_EQ(ParseServerKindWord(c.word, kind), c.valid);
    if (c.valid) {
      EXPECT_EQ(kind, c.kind);
    }
  }
}

// The flags every open of a pipe was given.
struct TPipeOpens {
  static HANDLE WINAPI Open(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security, DWORD disposition,
                            DWORD flags, HANDLE templateFile) {
    if (std::string(path).rfind("\\\\.\\pipe\\", 0) == 0) seen.push_back(flags);
    return hook->Original<decltype(&CreateFileA)>()(path, access, share, security, disposition, flags, templateFile);
  }
  static inline TImportHook* hook = nullptr;
  static inline std::vector<DWORD> seen;
};

TEST(PipeClient, WaitsForABusyPipeAndWritesTheWholeCommand) {
  TImportHook hook("kernel32.dll", "CreateFileA", reinterpret_cast<void*>(&TPipeOpens::Open));
  ASSERT_TRUE(hook.Installed());
  TPipeOpens::hook = &hook;
  TPipeOpens::seen.clear();
  const std::string name = "ZarelTestBusyPipe";
  HANDLE server = CreateNamedPipeA(("\\\\.\\pipe\\" + name).c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT,
                                   1, 64, 64, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  TPipeClient first;
  ASSERT_TRUE(first.Connect(name));
  ConnectNamedPipe(server, nullptr);
  // The only instance is taken: the second client waits until the server is free again.
  std::string received;
  SECURITY_IMPERSONATION_LEVEL level = SecurityDelegation;
  std::thread serverThread([&] {
    Sleep(300);
    DisconnectNamedPipe(server);
    ConnectNamedPipe(server, nullptr);
    char buffer[64];
    DWORD read = 0;
    while (received.size() < sizeof(TServerPipeCommand) && ReadFile(server, buffer, sizeof buffer, &read, nullptr) && read > 0)
      received.append(buffer, read);
    // How far the pipe's creator could act as the client.
    HANDLE token = nullptr;
    DWORD size = 0;
    if (ImpersonateNamedPipeClient(server) && OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
      GetTokenInformation(token, TokenImpersonationLevel, &level, sizeof level, &size);
      CloseHandle(token);
    }
    RevertToSelf();
  });
  TPipeClient second;
  const DWORD start = GetTickCount();
  EXPECT_TRUE(second.Connect(name));
  EXPECT_GE(GetTickCount() - start, 250u);
  const TServerPipeCommand command = {kWindowMessageCommand, kServerCommandMessage, 0x01020304u, 5, 0};
  EXPECT_TRUE(second.Write(&command, sizeof command));
  serverThread.join();
  const std::string expected("\x00\x10\x00\x00\x00\x05\x00\x00\x04\x03\x02\x01\x05\x00\x00\x00\x00\x00\x00\x00", 20);
  EXPECT_EQ(received, expected);
  CloseHandle(server);
  TPipeClient none;
  EXPECT_FALSE(none.Connect("ZarelNoSuchPipe"));
  EXPECT_FALSE(none.Write(&command, sizeof command));
  // Every open, the one after the wait too, lets the server identify the setup, never act as it.
  EXPECT_GE(TPipeOpens::seen.size(), 4u);
  for (const DWORD flags : TPipeOpens::seen)
    EXPECT_EQ(flags & SECURITY_VALID_SQOS_FLAGS, static_cast<DWORD>(SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION)) << flags;
  // Wine ignores the client's choice and always hands the server an impersonation token.
  if (!RunningUnderWine()) {
    EXPECT_EQ(level, SecurityIdentification);
  }
}

TEST(WaitFileFree, WaitsForExclusiveAccessUntilTheDeadline) {
  TestFolder folder;
  const std::string path = folder / "held.exe";
  WriteWholeFile("x", path, false);
  TFakeClock clock;
  const TScopedClock scoped(clock);
  struct Case {
    bool exists;
    bool held;
    std::uint32_t timeout;
    bool expected;
    std::uint64_t elapsedAtLeast;
    std::uint64_t elapsedBelow;
  } cases[] = {
      {false, false, 0, false, 0, 1},       // a missing file: no wait at all
      {true, false, 0, true, 0, 1},         // free at the first try
      {true, true, 500, false, 500, 520},   // held: up to the given time-out
      {true, true, 0, false, 20000, 20020}, // 0 means 20 s
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.timeout);
    HANDLE holder = c.held ? CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)
                           : INVALID_HANDLE_VALUE;
    const std::uint64_t start = clock.now;
    EXPECT_EQ(WaitFileFree(c.exists ? path : folder / "missing.exe", c.timeout), c.expected);
    EXPECT_GE(clock.now - start, c.elapsedAtLeast);
    EXPECT_LT(clock.now - start, c.elapsedBelow);
    if (holder != INVALID_HANDLE_VALUE) CloseHandle(holder);
  }
}

TEST_F(ServicesTest, CreatesServiceWithQuotedPathDescriptionAndRestartOnFailure) {
  SetServiceConfig2Lookup(RecordingLookup);
  InstallOrRemoveService(true, DefinitionOf(kSmtpServer), installDir);
  EXPECT_TRUE(ui.boxes.empty());

  std::vector<BYTE> buffer;
  const QUERY_SERVICE_CONFIGA config = ReadConfig("ZarelSMTP", buffer);
  EXPECT_EQ(std::string(config.lpBinaryPathName), "\"" + installDir + "smtp.exe\"");
  EXPECT_EQ(config.dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(config.dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(config.dwErrorControl, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
  EXPECT_EQ(std::string(config.lpDisplayName), "Zarel Mail Server SMTP");
  const std::string key = "System\\CurrentControlSet\\Services\\ZarelSMTP";
  EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, key, "Description"), "Provides support for SMTP protocol.");

  // Wine accepts failure actions without storing them: the call itself is the proof.
  EXPECT_EQ(failureActionCall.calls, 1);
  EXPECT_EQ(failureActionCall.level, static_cast<DWORD>(SERVICE_CONFIG_FAILURE_ACTIONS));
  EXPECT_EQ(failureActionCall.resetPeriod, 0u);
  EXPECT_TRUE(failureActionCall.noRebootMessage);
  EXPECT_TRUE(failureActionCall.noCommand);
  ASSERT_EQ(failureActionCall.actions.size(), 1u);
  EXPECT_EQ(failureActionCall.actions[0].Type, SC_ACTION_RESTART);
  EXPECT_EQ(failureActionCall.actions[0].Delay, 0u);

  // The service runs from the quoted path.
  StartAndWait(kSmtpServer);
  EXPECT_EQ(CountContaining(Log("smtp", "events"), "service ZarelSMTP running"), 1);

  TRegistryKeyHandle handle;
  ASSERT_EQ(OpenRegistryKey(HKEY_LOCAL_MACHINE, key, KEY_SET_VALUE, handle), ERROR_SUCCESS);
  RegSetValueExA(handle.Get(), "Description", 0, REG_SZ, reinterpret_cast<const BYTE*>("old"), 4);
  // Over an existing service: the creation's own error, shown as the warning with the system's
  // text; the description is rewritten all the same.
  ShowServiceError(InstallOrRemoveService(true, DefinitionOf(kSmtpServer), installDir));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].caption, "Warning");
  EXPECT_EQ(ui.boxes[0].icon, MessageIcon::Warning);
  EXPECT_EQ(ui.boxes[0].text, ServiceErrorText(ERROR_SERVICE_EXISTS));
  EXPECT_EQ(RegistryString(HKEY_LOCAL_MACHINE, key, "Description"), "Provides support for SMTP protocol.");
  EXPECT_EQ(failureActionCall.calls, 1);

  // Without ChangeServiceConfig2A the service is created all the same, silently.
  SetServiceConfig2Lookup(MissingLookup);
  InstallOrRemoveService(true, DefinitionOf(kPop3Server), installDir);
  EXPECT_EQ(ServiceState("ZarelPOP3"), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST(ServiceError, TextIsMadeOfThreePieces) {
  EXPECT_EQ(ServiceErrorText(ERROR_SERVICE_DOES_NOT_EXIST),
            cServiceError + RegistryErrorText(ERROR_SERVICE_DOES_NOT_EXIST) +
                "\r\nThere might be already some service running on the same TCP/IP port. Make sure MS SMTP, "
                "Norton Antivirus POP3 or some other mail server is not running on this machine.");
  EXPECT_EQ(ServiceErrorText(ERROR_SERVICE_DOES_NOT_EXIST).rfind("Service error: ", 0), 0u);
}

TEST_F(ServicesTest, StartCommandAndStopOfAService) {
  CreateServices({kSmtpServer});
  ControlServerWarning(kSmtpServer, true);
  ASSERT_TRUE(WaitForState("ZarelSMTP", SERVICE_RUNNING));
  DWORD state = 0;
  EXPECT_TRUE(QueryServerState(kSmtpServer, state));
  EXPECT_TRUE(IsServerRunning(kSmtpServer));

  // Each 20 bytes arrive as one command with both parameters intact, also back to back.
  EXPECT_TRUE(SendServerCommand(kSmtpServer, kServerCommandMessage, 7, 0xFFFFFFFFu));
  EXPECT_TRUE(SendServerCommand(kSmtpServer, kServerCommandMessage, 1, 2));
  EXPECT_TRUE(SendServerCommand(kSmtpServer, kServerCommandMessage, 3, 4));
  const std::vector<std::string> sent = {"pipe 1280 7 4294967295", "pipe 1280 1 2", "pipe 1280 3 4"};
  EXPECT_TRUE(WaitFor([&] { return Log("smtp", "commands").size() == 3; }, 5000));
  EXPECT_EQ(Log("smtp", "commands"), sent);

  const DWORD pid = ServiceProcessId("ZarelSMTP");
  StopServerIfRunningWarning(kSmtpServer);
  EXPECT_EQ(ServiceState("ZarelSMTP"), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_TRUE(WaitFor([&] { return !ProcessAlive(pid); }, 5000));
  EXPECT_TRUE(WaitFileFree(installDir + "smtp.exe", 2000));

  // A stopped server is sent nothing.
  EXPECT_FALSE(SendServerCommand(kSmtpServer, kServerCommandMessage, 8, 0));
  EXPECT_EQ(Log("smtp", "commands"), sent);
  EXPECT_TRUE(ui.boxes.empty());

  // A missing service: stopping is silent, starting warns with the system's text.
  ControlServerWarning(kPop3Server, false);
  EXPECT_TRUE(ui.boxes.empty());
  ControlServerWarning(kPop3Server, true);
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, ServiceErrorText(ERROR_SERVICE_DOES_NOT_EXIST));
}

TEST_F(ServicesTest, ServerIgnoringStopIsEndedAfterTenSecondsAndOnlyThatProgram) {
  SetSwitches("smtp", "ignore-stop");
  CreateServices({kSmtpServer});
  StartAndWait(kSmtpServer);
  const DWORD pid = ServiceProcessId("ZarelSMTP");
  // Another product's smtp.exe, and Windows' own control.exe, must survive our forced stop.
  const std::string outside = scratch / "other product\\smtp.exe";
  ForceDirectories(ExtractFilePath(outside));
  ASSERT_TRUE(CopyFile(kSleeperExe, outside, false));
  extraPrograms.push_back(outside);
  TChildProcess other(outside, "120");
  ASSERT_TRUE(other.Started());

  SetServiceConfig2Lookup(RecordingLookup);
  failureActionCall.watchedProcess = pid;
  const DWORD start = GetTickCount();
  ControlServerWarning(kSmtpServer, false);
  const DWORD elapsed = GetTickCount() - start;
  EXPECT_GE(elapsed, 9900u);
  EXPECT_LT(elapsed, 16000u);
  // Windows would restart a service ended by force at once (its failure action): the actions
  // are cleared while the process lives and put back once it is gone.
  EXPECT_EQ(failureActionCall.processAlive, (std::vector<bool>{true, false}));
  EXPECT_EQ(failureActionCall.noActionLeft, (std::vector<bool>{true, false}));
  EXPECT_EQ(CountContaining(Log("smtp", "events"), "stop ignored"), 1);
  // Wine never shows such a service as stopped: the process is gone and the file is free.
  EXPECT_FALSE(ProcessAlive(pid));
  EXPECT_TRUE(WaitFileFree(installDir + "smtp.exe", 2000));
  EXPECT_TRUE(other.Running());
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ServicesTest, CheckRunningServicesReusesStoppedServicesAndKeepsStuckOnes) {
  SetSwitches("control", "stop-pending");
  CreateServices({kSmtpServer, kPop3Server, kControlServer, kIMServer, kGroupWareServer});
  StartAndWait(kSmtpServer);
  StartAndWait(kControlServer);
  const DWORD controlPid = ServiceProcessId("ZarelControl");
  TSetupState& state = SetupState();
  state.NoInstallIM = true;
  state.InstalledVersion = "8.1.6";  // older than 8.1.7: the old groupware program goes
  WriteWholeFile("old", installDir + "calendar.exe", false);

  TFakeClock clock;
  const TScopedClock scoped(clock);
  const std::uint64_t start = clock.now;
  CheckRunningServices(state);

  ASSERT_FALSE(ui.statuses.empty());
  EXPECT_EQ(ui.statuses[0], cChecking);
  EXPECT_GE(ui.pumps, 1);
  // SMTP stopped and POP3 already stopped: reused. Control stuck in stop-pending: created
  // anew (and ended by force after the 10 s). IM and GroupWare were removed.
  const bool expected[kServerKindCount] = {false, false, true, true, true};
  for (int kind = 0; kind < kServerKindCount; ++kind) EXPECT_EQ(state.ServiceToCreate[kind], expected[kind]) << kind;
  EXPECT_EQ(ServiceState("ZarelSMTP"), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(ServiceState("ZarelIM"), 0u);
  EXPECT_EQ(ServiceState("ZarelCalendar"), 0u);
  EXPECT_FALSE(FileExists(installDir + "calendar.exe"));
  EXPECT_FALSE(ProcessAlive(controlPid));
  EXPECT_GE(clock.now - start, 10000u + 1500u);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ServicesTest, DisabledPop3IsNotStartedDoesNotWarnAndIsDisabledAgain) {
  CreateServices({kSmtpServer, kPop3Server, kControlServer, kIMServer});
  DisableService("ZarelPOP3");
  TSetupState& state = SetupState();
  state.NoInstallCalendar = true;
  // The upgrade's handling of start types around the install sequence.
  for (int kind = 0; kind <= kIMServer; ++kind) {
    state.PreviousStartType[kind] = GetSetServiceStartType(GetServerServiceName(kind), false, kNoStartType);
    if (state.PreviousStartType[kind] == SERVICE_DISABLED)
      GetSetServiceStartType(GetServerServiceName(kind), true, SERVICE_AUTO_START);
    state.ServiceToCreate[kind] = false;
  }
  const std::int32_t recorded[] = {2, 4, 2, 2};
  for (int kind = 0; kind <= kIMServer; ++kind) EXPECT_EQ(state.PreviousStartType[kind], recorded[kind]) << kind;
  EXPECT_EQ(GetSetServiceStartType("ZarelPOP3", false, kNoStartType), SERVICE_AUTO_START);

  // The COM libraries beside the servers register themselves (their key names their path).
  for (const char* library : {"api.dll", "quenforcom.dll"})
    ASSERT_TRUE(CopyFile(kComServersDir + library, installDir + library, false));
  InstallServices(state, installDir);
  EXPECT_EQ(ui.statuses, (std::vector<std::string>{cInstalling, cStarting, cFinishing}));
  for (const char* library : {"api", "quenforcom"}) {
    const std::string key = std::string("Software\\Quenfor\\StandIn\\") + library;
    EXPECT_EQ(RegistryString(HKEY_CURRENT_USER, key, "Module"), installDir + library + ".dll");
    DeleteRegistryTree(HKEY_CURRENT_USER, key);
  }
  for (const char* name : {"ZarelSMTP", "ZarelControl", "ZarelIM"}) EXPECT_TRUE(WaitForState(name, SERVICE_RUNNING)) << name;
  EXPECT_EQ(ServiceState("ZarelPOP3"), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_TRUE(Log("pop3", "events").empty());

  CheckStartedServices(state);
  EXPECT_TRUE(ui.boxes.empty());

  for (int kind = 0; kind <= kIMServer; ++kind)
    GetSetServiceStartType(GetServerServiceName(kind), true, state.PreviousStartType[kind]);
  EXPECT_EQ(GetSetServiceStartType("ZarelPOP3", false, kNoStartType), SERVICE_DISABLED);
  EXPECT_EQ(GetSetServiceStartType("ZarelSMTP", false, kNoStartType), SERVICE_AUTO_START);
  // Nothing recorded, nothing changed.
  EXPECT_EQ(GetSetServiceStartType("ZarelNoSuchService", false, kNoStartType), kNoStartType);
  EXPECT_EQ(GetSetServiceStartType("ZarelSMTP", true, kNoStartType), kNoStartType);
  EXPECT_EQ(GetSetServiceStartType("ZarelSMTP", false, kNoStartType), SERVICE_AUTO_START);
}

TEST_F(ServicesTest, CheckStartedServicesReplacesSystemSmtpAndNamesTheFailingServer) {
  // The operating system's SMTP service, holding the port, from a folder of its own.
  const std::string systemSmtp = scratch / "system smtp\\smtp.exe";
  ForceDirectories(ExtractFilePath(systemSmtp));
  ASSERT_TRUE(CopyFile(kStandInDir + "smtp.exe", systemSmtp, false));
  extraPrograms.push_back(systemSmtp);
  const TServiceHandle service = CreateTestService("SMTPSVC", "Simple Mail Transfer Protocol",
                                                  "\"" + systemSmtp + "\"", SERVICE_AUTO_START, SERVICE_ERROR_NORMAL);
  ASSERT_TRUE(service);
  ASSERT_TRUE(StartServiceA(service.Get(), 0, nullptr));
  ASSERT_TRUE(WaitForState("SMTPSVC", SERVICE_RUNNING));

  SetSwitches("pop3", "fail-start");
  CreateServices({kSmtpServer, kPop3Server, kControlServer, kIMServer});
  for (const int kind : {kPop3Server, kControlServer, kIMServer}) ControlServerWarning(kind, true);
  EXPECT_TRUE(WaitForState("ZarelControl", SERVICE_RUNNING));
  EXPECT_TRUE(WaitForState("ZarelIM", SERVICE_RUNNING));
  EXPECT_TRUE(WaitForState("ZarelPOP3", SERVICE_STOPPED));
  ui.boxes.clear();

  CheckStartedServices(SetupState());

  EXPECT_EQ(ServiceState("SMTPSVC"), static_cast<DWORD>(SERVICE_STOPPED));
  EXPECT_EQ(GetSetServiceStartType("SMTPSVC", false, kNoStartType), SERVICE_DISABLED);
  EXPECT_EQ(ServiceState("ZarelSMTP"), static_cast<DWORD>(SERVICE_RUNNING));
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].caption, "Warning");
  EXPECT_EQ(ui.boxes[0].icon, MessageIcon::Warning);
  EXPECT_EQ(ui.boxes[0].text,
            "The following service(s) could not be started:\r\nZarel Mail Server POP3 / IMAP\r\n\r\nThere must be "
            "already running some other service(s) on the same TCP/IP port(s). Please, make sure no other SMTP or "
            "POP3 servers are running (including MS SMTP and Norton POP3).");
}

// An existing service is used again only when it runs our program from this folder: the
// unquoted path gets its quotes, one that runs anything else is made ours again (a leftover of
// an old folder that others may write to now would run their program as LocalSystem).
TEST_F(ServicesTest, ReusedServiceRunsOurProgramOrIsMadeOursAgain) {
  struct Case {
    int kind;
    std::string storedPath;
    bool ours;
  } cases[] = {
      {kSmtpServer, installDir + "smtp.exe", true},
      {kPop3Server, "C:\\Other Place\\pop3.exe", false},
      {kControlServer, "\"" + installDir + "control.exe\"", true},
      {kIMServer, installDir + "im.exe /debug", false},                 // not exactly ours
      {kGroupWareServer, Upper(installDir + "cal.exe"), true},          // ours in capitals
  };
  for (const Case& c : cases)
    ASSERT_TRUE(CreateTestService(GetServerServiceName(c.kind), "Kept display name " + std::to_string(c.kind),
                                  c.storedPath, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE))
        << c.kind << " " << GetLastError();
  TSetupState& state = SetupState();
  for (int kind = 0; kind < kServerKindCount; ++kind) {
    state.ServiceToCreate[kind] = false;
    state.PreviousStartType[kind] = SERVICE_DISABLED;  // keeps this test from starting them
  }

  InstallServices(state, installDir);

  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    std::vector<BYTE> buffer;
    const QUERY_SERVICE_CONFIGA config = ReadConfig(GetServerServiceName(c.kind), buffer);
    // Windows compares program paths without regard to letter case.
    EXPECT_EQ(Upper(config.lpBinaryPathName), Upper("\"" + installDir + FindServerInfo(c.kind)->programFile + "\""));
    EXPECT_EQ(std::string(config.lpDisplayName) == "Kept display name " + std::to_string(c.kind), c.ours);
    EXPECT_EQ(config.dwErrorControl, static_cast<DWORD>(c.ours ? SERVICE_ERROR_IGNORE : SERVICE_ERROR_NORMAL));
    EXPECT_EQ(config.dwStartType, static_cast<DWORD>(SERVICE_DEMAND_START));
  }
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ServicesTest, RestartServerStopsAndStartsTheServer) {
  CreateServices({kSmtpServer});
  StartAndWait(kSmtpServer);
  const DWORD pid = ServiceProcessId("ZarelSMTP");
  EXPECT_TRUE(RestartServer(kSmtpServer));
  EXPECT_TRUE(WaitForState("ZarelSMTP", SERVICE_RUNNING));
  EXPECT_NE(ServiceProcessId("ZarelSMTP"), pid);
  const std::vector<std::string> events = Log("smtp", "events");
  EXPECT_EQ(CountContaining(events, "service ZarelSMTP stopped"), 1);
  EXPECT_EQ(CountContaining(events, "service ZarelSMTP running"), 2);
}

TEST_F(ServicesTest, RestartGivesUpAfterThirtySecondsWhenTheServiceNeverStops) {
  SetSwitches("smtp", "stop-pending");
  CreateServices({kSmtpServer});
  StartAndWait(kSmtpServer);
  const DWORD pid = ServiceProcessId("ZarelSMTP");
  TFakeClock clock;
  const TScopedClock scoped(clock);
  const TProgramEndTrap trap;
  const std::uint64_t start = clock.now;
  try {
    RunRestartCommand("0");
    FAIL() << "the restart command returned";
  } catch (const TProgramEnded& ended) {
    EXPECT_EQ(ended.code, kExitRestartTimedOut);
  }
  // Ended at the deadline: no wait for the file (which would add 20 s), no start.
  EXPECT_GE(clock.now - start, 30000u);
  EXPECT_LT(clock.now - start, 30200u);
  EXPECT_TRUE(ProcessAlive(pid));
  EXPECT_EQ(ServiceState("ZarelSMTP"), static_cast<DWORD>(SERVICE_STOP_PENDING));
  EXPECT_EQ(CountContaining(Log("smtp", "events"), "service ZarelSMTP running"), 1);
}

TEST_F(ServicesTest, RestartWordThatIsNoNumberTouchesNoServer) {
  CreateServices({kSmtpServer});
  StartAndWait(kSmtpServer);
  const DWORD pid = ServiceProcessId("ZarelSMTP");
  const TProgramEndTrap trap;
  for (const char* word : {"smtp", "", "0x0", "-0"}) {
    SCOPED_TRACE(word);
    try {
      RunRestartCommand(word);
      FAIL() << "the restart command returned";
    } catch (const TProgramEnded& ended) {
      EXPECT_EQ(ended.code, 0);
    }
  }
  EXPECT_EQ(ServiceState("ZarelSMTP"), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(ServiceProcessId("ZarelSMTP"), pid);
  EXPECT_EQ(CountContaining(Log("smtp", "events"), "stopped"), 0);
}

TEST_F(ServicesTest, RemoveAllServicesStopsAndRemovesThem) {
  CreateServices({kSmtpServer, kPop3Server});
  StartAndWait(kSmtpServer);
  const DWORD pid = ServiceProcessId("ZarelSMTP");
  TFakeClock clock;
  const TScopedClock scoped(clock);
  RemoveAllServices();
  EXPECT_EQ(ServiceState("ZarelSMTP"), 0u);
  EXPECT_EQ(ServiceState("ZarelPOP3"), 0u);
  EXPECT_TRUE(WaitFor([&] { return !ProcessAlive(pid); }, 5000));
  EXPECT_TRUE(ui.boxes.empty());
}

// A server the manager is still starting when the removal comes is waited for, stopped and
// removed, not passed by as "not running" and left installed under a live process.
TEST_F(ServicesTest, RemoveAllServicesWaitsForAServerStillStarting) {
  SetSwitches("smtp", "slow-start");
  CreateServices({kSmtpServer});
  ASSERT_TRUE(StartServiceA(OpenTestService("ZarelSMTP", SERVICE_START).Get(), 0, nullptr));
  ASSERT_TRUE(WaitFor(
      [&] {
        const std::vector<std::string> events = Log("smtp", "events");
        return std::any_of(events.begin(), events.end(),
                           [](const std::string& line) { return line.find("starting slowly") != std::string::npos; });
      },
      5000));
  EXPECT_EQ(ServiceState("ZarelSMTP"), static_cast<DWORD>(SERVICE_START_PENDING));
  RemoveAllServices();
  EXPECT_EQ(ServiceState("ZarelSMTP"), 0u);
  EXPECT_TRUE(ui.boxes.empty());
}

// One that never leaves start-pending takes no stop control: after the servers' deadline its
// program is ended by force, so the removal does not go on under a live process holding its
// file, and nothing waits for it for ever.
TEST_F(ServicesTest, RemoveAllServicesEndsAServerHungInItsStart) {
  SetSwitches("smtp", "start-pending");
  CreateServices({kSmtpServer});
  ASSERT_TRUE(StartServiceA(OpenTestService("ZarelSMTP", SERVICE_START).Get(), 0, nullptr));
  ASSERT_TRUE(WaitFor([&] { return CountContaining(Log("smtp", "events"), "start pending for ever") == 1; }, 5000));
  const DWORD pid = ServiceProcessId("ZarelSMTP");
  TFakeClock clock;
  const TScopedClock scoped(clock);
  const std::uint64_t start = clock.now;
  RemoveAllServices();
  EXPECT_GE(clock.now - start, 10000u);
  EXPECT_TRUE(WaitFor([&] { return !ProcessAlive(pid); }, 5000));
  EXPECT_TRUE(WaitFileFree(installDir + "smtp.exe", 5000));
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(ServicesTest, WithoutItsServiceAServerRunsAsTrayProgramOnNT) {
  // No ZarelIM service: the shared unit starts the program with "/systray".
  SetServerRunning(kIMServer, true, true);
  ASSERT_NE(FindServerWindow(kIMServer), nullptr);
  EXPECT_TRUE(IsServerInState(kIMServer, SERVICE_RUNNING));
  EXPECT_TRUE(WaitFor([&] { return CountContaining(Log("im", "events"), "tray program running") == 1; }, 5000));
  // On NT commands still go through the pipe, which the tray program serves too.
  EXPECT_TRUE(SendServerCommand(kIMServer, kServerCommandMessage, 11, 12));
  EXPECT_TRUE(WaitFor([&] { return Log("im", "commands") == std::vector<std::string>{"pipe 1280 11 12"}; }, 5000));
  SetServerRunning(kIMServer, false, true);
  EXPECT_EQ(FindServerWindow(kIMServer), nullptr);
  EXPECT_TRUE(WaitFileFree(installDir + "im.exe", 5000));
}
