// Program entry of setup.exe: the command line, then either the unattended run or the wizard
// (its window, the start-up before it shows, the message loop). The program ends only through
// EndProgram.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include "app/CommandLine.h"
#include "app/StartupSequence.h"
#include "app/UnattendedRun.h"
#include "base/SafeLibrary.h"
#include "engine/ExitCodes.h"
#include "engine/FailureUnit.h"
#include "engine/ProgramEnd.h"
#include "wizard/WizardWindow.h"

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
  return RunWizard(instance, showCommand, [&] { return RunStartup(commandLine); });
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  HardenLibrarySearch();
  // Errors inside window handlers are dropped there; one that escapes the start-up or the
  // loop is logged and shown, and ends with its own code rather than as a crash.
  RunOrEnd("The setup", [&] { EndProgram(RunSetup(instance, showCommand)); });
  EndProgram(kExitSuccess);
}
