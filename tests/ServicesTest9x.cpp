// The tray-program side of the service functions. Wine reports the 9x platform per program
// (HKCU\Software\Wine\AppDefaults\<exe>\Version = win98), and a process's version is fixed
// when it starts, so the NT run copies this test program under a name of its own, marks
// that name win98 and runs the TrayMode tests in it.
#include "tests/ServicesTestSupport.h"

#include "engine/FirstRunUnit.h"
#include "engine/ServiceSteps.h"
#include "engine/SetupState.h"
#include "system/ServerTable.h"
#include "system/ServiceControl.h"
#include "system/ServicesFuncUnit.h"
#include "tests/TestFolder.h"
#include "tests/support/RecordingUI.h"

namespace {

const std::string kStandInDir = WinePath(ZAREL_STANDIN_DIR) + "\\";
constexpr char kTrayProgramName[] = "ServicesTest9x.exe";

// A scratch installation with the five stand-ins, the recorder as UI, and every tray program
// of the installation ended afterwards.
class TTrayInstallation {
 public:
  TTrayInstallation() {
    ResetSetupState();
    installDir = scratch / "Zarel Mail\\";
    ForceDirectories(installDir);
    for (const char* program : {"smtp.exe", "pop3.exe", "control.exe", "im.exe", "cal.exe"})
      CopyFile(kStandInDir + program, installDir + program, false);
    SetupState().InstallDir = installDir;
    SetServerFolder(installDir);
    SetCurrentUI(&ui);
  }
  ~TTrayInstallation() {
    SetCurrentUI(nullptr);
    SetDeadlineClock(nullptr);
    for (const char* program : {"smtp.exe", "pop3.exe", "control.exe", "im.exe", "cal.exe"})
      KillProcessByPath(installDir + program);
    ResetSetupState();
  }
  std::vector<std::string> Log(const std::string& program, const std::string& which) const {
    return ReadLines(installDir + "logs\\" + program + "-" + which + ".log");
  }

  TestFolder scratch;
  std::string installDir;
  TRecordingUI ui;
};

bool WindowShows(int kind) {
  return WaitFor([kind] { return FindServerWindow(kind) != nullptr; }, 10000);
}

}  // namespace

TEST(TrayMode, StartCommandAndStopThroughTheWindow) {
  if (IsNTPlatform()) GTEST_SKIP() << "runs in the win98 copy (NinetyEightMode)";
  TTrayInstallation installation;
  EXPECT_FALSE(IsServiceInstalled("ZarelSMTP"));

  ControlServerWarning(kSmtpServer, true);  // through the shell, no parameters
  ASSERT_TRUE(WindowShows(kSmtpServer));
  EXPECT_TRUE(IsServerRunning(kSmtpServer));
  EXPECT_TRUE(IsServerInState(kSmtpServer, SERVICE_STOPPED));  // off NT every state is "window present"

  EXPECT_TRUE(SendServerCommand(kSmtpServer, kServerCommandMessage, 3, 4));
  EXPECT_EQ(SendServerWindowMessage(kSmtpServer, kServerCommandMessage, 5, 0x80000000u), 1);
  EXPECT_EQ(installation.Log("smtp", "commands"),
            (std::vector<std::string>{"window 1280 3 4", "window 1280 5 2147483648"}));

  const DWORD start = GetTickCount();
  ControlServerWarning(kSmtpServer, false);
  EXPECT_LT(GetTickCount() - start, 5000u);
  EXPECT_EQ(FindServerWindow(kSmtpServer), nullptr);
  EXPECT_TRUE(WaitFileFree(installation.installDir + "smtp.exe", 5000));
  // No window, nothing delivered, and the answer says so.
  EXPECT_FALSE(SendServerCommand(kSmtpServer, kServerCommandMessage, 9, 9));
  EXPECT_EQ(installation.Log("smtp", "commands").size(), 2u);

  // The shared unit's waiting start and stop.
  SetServerRunning(kPop3Server, true, true);
  EXPECT_NE(FindServerWindow(kPop3Server), nullptr);
  SetServerRunning(kPop3Server, false, true);
  EXPECT_EQ(FindServerWindow(kPop3Server), nullptr);
  EXPECT_TRUE(installation.ui.boxes.empty());
}

TEST(TrayMode, ProgramIgnoringCloseIsLeftRunningAfterTenSeconds) {
  if (IsNTPlatform()) GTEST_SKIP() << "runs in the win98 copy (NinetyEightMode)";
  TTrayInstallation installation;
  WriteWholeFile("ignore-stop", installation.installDir + "control.test", false);
  ControlServerWarning(kControlServer, true);
  ASSERT_TRUE(WindowShows(kControlServer));

  TFakeClock clock;
  const TScopedClock scoped(clock);
  const std::uint64_t start = clock.now;
  ControlServerWarning(kControlServer, false);
  EXPECT_GE(clock.now - start, 10000u);
  EXPECT_LT(clock.now - start, 10100u);
  EXPECT_NE(FindServerWindow(kControlServer), nullptr);
}

TEST(TrayMode, CheckRunningServicesClosesTrayPrograms) {
  if (IsNTPlatform()) GTEST_SKIP() << "runs in the win98 copy (NinetyEightMode)";
  TTrayInstallation installation;
  ControlServerWarning(kSmtpServer, true);
  ControlServerWarning(kIMServer, true);
  ASSERT_TRUE(WindowShows(kSmtpServer));
  ASSERT_TRUE(WindowShows(kIMServer));
  TFakeClock clock;
  const TScopedClock scoped(clock);
  CheckRunningServices(SetupState());
  EXPECT_EQ(FindServerWindow(kSmtpServer), nullptr);
  EXPECT_EQ(FindServerWindow(kIMServer), nullptr);
  // No services off NT: every one is to be created.
  for (int kind = 0; kind < kServerKindCount; ++kind) EXPECT_TRUE(SetupState().ServiceToCreate[kind]);
}

TEST(TrayMode, ReloadNoticesReachOnlyTheTrayProgramsThatRun) {
  if (IsNTPlatform()) GTEST_SKIP() << "runs in the win98 copy (NinetyEightMode)";
  TTrayInstallation installation;
  ControlServerWarning(kSmtpServer, true);
  ASSERT_TRUE(WindowShows(kSmtpServer));
  const std::vector<TReloadNotice> notices = NotifyServersConfigChanged(false);
  ASSERT_EQ(notices.size(), 4u);
  for (const TReloadNotice& notice : notices)
    EXPECT_EQ(notice.Delivered, notice.Kind == kSmtpServer) << notice.Kind;
  EXPECT_EQ(installation.Log("smtp", "commands"), (std::vector<std::string>{"window 1280 0 0"}));
  ControlServerWarning(kSmtpServer, false);
}

TEST(NinetyEightMode, TheSameCodeDrivesTheTrayPrograms) {
  if (!IsNTPlatform()) GTEST_SKIP() << "the win98 copy itself";
  TestFolder folder;
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const std::string copy = folder / kTrayProgramName;
  ASSERT_TRUE(CopyFile(self, copy, false));
  const std::string appDefaults = std::string("Software\\Wine\\AppDefaults\\") + kTrayProgramName;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, appDefaults.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
  RegCloseKey(key);

  const std::string report = folder / "tray.xml";
  DWORD exitCode = STILL_ACTIVE;
  {
    TChildProcess child(copy, "--gtest_filter=TrayMode.* --gtest_output=xml:" + report);
    ASSERT_TRUE(child.Started());
    exitCode = child.Wait(120000);
  }
  RegDeleteKeyA(HKEY_CURRENT_USER, appDefaults.c_str());
  const std::string xml = ReadWholeFile(report, false);
  EXPECT_EQ(exitCode, 0u) << xml;
  EXPECT_NE(xml.find("tests=\"4\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("failures=\"0\""), std::string::npos) << xml;
  EXPECT_EQ(xml.find("result=\"skipped\""), std::string::npos) << xml;
}
