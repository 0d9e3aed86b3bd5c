#include <windows.h>
#include <shellapi.h>

#include "app/OneShotCommands.h"

#include "app/StartupUnit.h"
#include "base/TextFormat.h"
#include "engine/ExitCodes.h"
#include "engine/FailureUnit.h"
#include "engine/InstallLog.h"
#include "engine/InstallUI.h"
#include "engine/ProgramEnd.h"
#include "engine/SetupQuestions.h"
#include "engine/UninstallUnit.h"
#include "serverconfig/ServerStore.h"
#include "system/ServicesFuncUnit.h"
#include "texts/TextTable.h"

namespace {

void OpenWithShell(const std::string& target) {
  ShellExecuteA(nullptr, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

// An unattended removal was asked for on the command line already: no question then.
void UninstallAfterQuestion(bool unattended) {
  if (InstallLogPath().empty()) StartInstallLog(SystemLogHeader());
  if (unattended) {
    InstallLog("Unattended removal: the question is not asked");
  } else if (!AskYes(TQuestion::Uninstall)) {
    EndProgram(kExitSuccess);
  }
  RunOrEnd("Uninstalling", Uninstall);
}

void OpenLogonAddress(bool webMail) {
  const TServerSettings& settings = ServerSettings();
  OpenWithShell(LogonAddress(settings.Get(settings::kUseServerListForWebHost) != 0,
                             settings.Get(settings::kServerList), settings.Get(settings::kHttpPort), webMail));
}

}  // namespace

void RunRestartCommand(const std::string& kindWord) {
  int kind = 0;
  if (ParseServerKindWord(kindWord, kind) && !RestartServer(kind)) EndProgram(kExitRestartTimedOut);
  EndProgram(kExitSuccess);
}

void RunFirstWordCommand(const TCommandLine& commandLine) {
  InitServerFolders();
  LoadServerSettings(false, false);
  switch (commandLine.First) {
    case TFirstWord::Uninstall: UninstallAfterQuestion(commandLine.Unattended); break;
    case TFirstWord::WebMailLogon: OpenLogonAddress(true); break;
    case TFirstWord::WebAdminLogon: OpenLogonAddress(false); break;
    case TFirstWord::Logs: OpenWithShell(LogsFolder()); break;
    default: break;
  }
  EndProgram(kExitSuccess);
}
