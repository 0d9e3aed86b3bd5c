#include <windows.h>
#include <shellapi.h>

#include "engine/FinishActions.h"

#include "base/FileSystemUnit.h"
#include "engine/InstallLog.h"
#include "engine/ProgramEnd.h"
#include "engine/SetupState.h"
#include "system/ServicesFuncUnit.h"

namespace {

// The control server's command: update the antivirus engine now.
constexpr unsigned kControlServerKind = 2;
constexpr unsigned kAntivirusUpdateCommand = 3;

std::function<void(const TFinishChoices&)>& FinishObserver() {
  static std::function<void(const TFinishChoices&)> observer;
  return observer;
}

}  // namespace

void SetFinishObserver(std::function<void(const TFinishChoices&)> observer) { FinishObserver() = std::move(observer); }

void FinishActions(const TFinishChoices& choices, HWND owner, int exitCode) {
  if (FinishObserver()) FinishObserver()(choices);
  for (const TFinishStep& step :
       PlanFinishActions(choices, SetupState().InstallDir, [](const std::string& path) { return FileExists(path); })) {
    if (step.Kind == TFinishStepKind::AntivirusUpdate) {
      const bool sent = SendServerCommand(kControlServerKind, kServerCommandMessage, kAntivirusUpdateCommand, 0);
      InstallLog(std::string("Antivirus update command ") + (sent ? "sent" : "not delivered"));
    } else {
      InstallLog("Open: " + step.Path);
      ShellExecuteA(owner, "open", step.Path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
  }
  InstallLog("Setup finished");
  EndProgram(exitCode);
}
