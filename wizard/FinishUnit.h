// What happens when the wizard is left forwards from its finish page: optionally the first-run
// configuration page, then the finish actions, which end the program.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

#include <functional>
#include <string>
#include <vector>

#include "engine/ExitCodes.h"

// The finish page's choices, as the wizard window reads them from its check boxes.
struct TFinishChoices {
  bool RunAntivirus = false;
  bool ViewReadme = false;
  bool ViewReleaseNotes = false;
  bool ShowTutorial = false;
  bool RunConfig = false;
  // Go on to the first-run configuration page before the finish actions.
  bool RunTutorial = false;
};

enum class TFinishStepKind { AntivirusUpdate, Open };
struct TFinishStep {
  TFinishStepKind Kind;
  std::string Path;  // the file opened by the shell (empty for the antivirus command)
};

// The steps in their order for an installation folder (ends in '\'); the tutorial is opened
// only when its index page exists.
std::vector<TFinishStep> PlanFinishActions(const TFinishChoices& choices,
                                           const std::string& installDir,
                                           const std::function<bool(const std::string&)>& fileExists);

#ifdef _WIN32
// Carries out the finish page's choices and ends the program with exitCode (an unattended
// run's code tells whether the servers run); owner is the window the shell's windows belong to.
[[noreturn]] void FinishActions(const TFinishChoices& choices, HWND owner, int exitCode = kExitSuccess);
// Told the choices just before the finish actions run, once the installation and any first-run
// configuration are done (a run that saves its answers for later unattended ones).
void SetFinishObserver(std::function<void(const TFinishChoices&)> observer);
// Leaving the finish page: without "Run Installation Wizard" the finish actions run now;
// otherwise the first-run page is shown and runs them at its end.
void LeaveFinishPage(const TFinishChoices& choices, HWND owner);
#endif
