#include "wizard/WizardWindow.h"

#include "engine/ExitCodes.h"
#include "engine/ProgramEnd.h"
#include "wizard/BrowseUnit.h"
#include "wizard/MainForm.h"

int RunWizard(HINSTANCE instance, int showCommand, const std::function<TStartupFacts()>& startUp) {
  static TMainForm mainForm;
  if (!mainForm.CreateFormWindow(instance)) EndProgram(kExitFatalError);
  mainForm.ShowStartup(startUp());

  static TBrowseFolder browseFolder;
  browseFolder.CreateFormWindow(instance);
  mainForm.SetBrowseFolder(&browseFolder);

  ShowWindow(mainForm.Handle(), showCommand == SW_HIDE ? SW_SHOWNORMAL : showCommand);
  UpdateWindow(mainForm.Handle());
  SetFocus(mainForm.ControlHandle("NextButton"));

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (mainForm.PreviewMessage(message)) continue;
    if (browseFolder.PreviewMessage(message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return kExitSuccess;
}
