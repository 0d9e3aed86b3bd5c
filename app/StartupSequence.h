// The start-up of setup.exe, run once the wizard window exists and before it is first shown:
// the language step, the one-shot commands (which end the program), info.xml, the registry
// migration, the data-archive check, the opening question and the inspection of an earlier
// installation. Its result is the setup record; the window is left on page 0. An unattended
// run has no window (null): the same steps, without those that fill the window.
#pragma once

#include <string>

#include "app/CommandLine.h"

class TMainForm;

// Gives the folder the destination page would offer: the earlier installation's, else the
// default destination.
std::string RunStartup(TMainForm* form, const TCommandLine& commandLine);
