// The start-up of setup.exe, run once the wizard window exists and before it is first shown:
// the language step, the one-shot commands (which end the program), info.xml, the registry
// migration, the data-archive check, the opening question and the inspection of an earlier
// installation. Its result is the setup record; the window is left on page 0.
#pragma once

#include "app/CommandLine.h"

class TMainForm;

void RunStartup(TMainForm& form, const TCommandLine& commandLine);
