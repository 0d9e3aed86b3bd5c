// Program entry of setup.exe: the wizard window, the start-up (before the window shows),
// then the folder chooser, then the message loop. The program ends only through EndProgram.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "engine/InstallLog.h"
#include "wizard/BrowseUnit.h"
#include "app/CommandLine.h"
#include "app/StartupSequence.h"
#include "app/UnattendedRun.h"
#include "engine/ExitCodes.h"
#include "engine/FailureUnit.h"
#include "wizard/MainForm.h"
#include "engine/ProgramEnd.h"
#include "base/SafeLibrary.h"

#include <exception>

namespace {

// Before the program's other static initialisers run: nothing they load is looked for in the
// program's folder (a download folder) or along PATH. WinMain repeats it, which costs nothing.
struct THardenedLibrarySearch {
  THardenedLibrarySearch() { HardenLibrarySearch(); }
};
THardenedLibrarySearch hardenedLibrarySearch __attribute__((init_priority(101)));

int RunSetup(HINSTANCE instance, int showCommand) {
  INITCOMMONCONTROLSEX controls{sizeof controls,
                                ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  CoInitialize(nullptr);

  std::vector<std::string> words = SplitCommandLine(GetCommandLineA());
  if (!words.empty()) words.erase(words.begin());
  const TCommandLine commandLine = ParseCommandLine(words);
  // Unattended: no window is ever created; the run ends inside.
  if (commandLine.Unattended) RunUnattended(commandLine);
  PrepareInteractiveRun(commandLine);

  static TMainForm mainForm;
  if (!mainForm.CreateFormWindow(instance)) EndProgram(kExitFatalError);
  RunStartup(&mainForm, commandLine);

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

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  HardenLibrarySearch();
  // Errors inside window handlers are dropped there; one that escapes the start-up or the
  // loop is logged and shown, and ends with its own code rather than as a crash.
  RunOrEnd("The setup", [&] { EndProgram(RunSetup(instance, showCommand)); });
  EndProgram(kExitSuccess);
}
