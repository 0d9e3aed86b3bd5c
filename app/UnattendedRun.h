// Runs of setup.exe that no person attends: install, upgrade or remove from the command line
// ("unattended"), with every box answered from the table of UnattendedOptions.h and logged,
// phase lines and the result on the console of the caller, and no window ever created.
// Also the settings an interactive run takes (log=, saveanswers=).
#pragma once

#include "app/CommandLine.h"

// The whole unattended run; ends the program (exit code 6 for refused settings, else the code
// the run would have had interactively).
[[noreturn]] void RunUnattended(const TCommandLine& commandLine);

// Before the wizard window is created: the log at log=, and the answers to save at the end of
// the run (saveanswers=). Refused settings end the program with exit code 6.
void PrepareInteractiveRun(const TCommandLine& commandLine);
