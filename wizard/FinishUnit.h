// What happens when the wizard is left forwards from its finish page: optionally the first-run
// configuration page, then the finish actions, which end the program.
#pragma once

#include <functional>
#include <string>
#include <vector>

// The finish page's choices.
struct TFinishChoices {
  bool RunAntivirus = false;
  bool ViewReadme = false;
  bool ViewReleaseNotes = false;
  bool ShowTutorial = false;
  bool RunConfig = false;
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
// Carries out the finish page's choices and ends the program.
[[noreturn]] void FinishActions();
// Leaving the finish page: without "Run Installation Wizard" the finish actions run now;
// otherwise the first-run page is shown and runs them at its end.
void LeaveFinishPage();
#endif
