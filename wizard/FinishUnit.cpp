#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

#include "wizard/FinishUnit.h"

#include "engine/SetupState.h"

#ifdef _WIN32
#include "base/FileSystemUnit.h"
#include "engine/InstallLog.h"
#include "engine/ExitCodes.h"
#include "engine/ProgramEnd.h"
#include "system/ServicesFuncUnit.h"
#endif

namespace {
// The control server's command: update the antivirus engine now.
constexpr unsigned kControlServerKind = 2;
constexpr unsigned kAntivirusUpdateCommand = 3;
}  // namespace

std::vector<TFinishStep> PlanFinishActions(const TFinishChoices& choices,
                                           const std::string& installDir,
                                           const std::function<bool(const std::string&)>& fileExists) {
  std::vector<TFinishStep> steps;
  if (choices.RunAntivirus) steps.push_back({TFinishStepKind::AntivirusUpdate, {}});
  if (choices.ViewReadme) steps.push_back({TFinishStepKind::Open, installDir + "readme.txt"});
  if (choices.ViewReleaseNotes) {
    steps.push_back({TFinishStepKind::Open, installDir + "releasenotes.txt"});
  }
  const std::string tutorial = installDir + "tutorial\\index.html";
  if (choices.ShowTutorial && fileExists(tutorial)) {
    steps.push_back({TFinishStepKind::Open, tutorial});
  }
  if (choices.RunConfig) steps.push_back({TFinishStepKind::Open, installDir + "config.exe"});
  return steps;
}

#ifdef _WIN32
namespace {
std::function<void(const TFinishChoices&)>& FinishObserver() {
  static std::function<void(const TFinishChoices&)> observer;
  return observer;
}
}  // namespace

void SetFinishObserver(std::function<void(const TFinishChoices&)> observer) { FinishObserver() = std::move(observer); }

void FinishActions(const TFinishChoices& choices, HWND owner, int exitCode) {
  if (FinishObserver()) FinishObserver()(choices);
  for (const TFinishStep& step :
       PlanFinishActions(choices, SetupState().InstallDir,
                         [](const std::string& path) { return FileExists(path); })) {
    if (step.Kind == TFinishStepKind::AntivirusUpdate) {
      const bool sent = SendServerCommand(kControlServerKind, kServerCommandMessage,
                                          kAntivirusUpdateCommand, 0);
      InstallLog(std::string("Antivirus update command ") + (sent ? "sent" : "not delivered"));
    } else {
      InstallLog("Open: " + step.Path);
      ShellExecuteA(owner, "open", step.Path.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    }
  }
  InstallLog("Setup finished");
  EndProgram(exitCode);
}

void LeaveFinishPage(const TFinishChoices& choices, HWND owner) {
  if (!choices.RunTutorial) FinishActions(choices, owner);
}
#endif
