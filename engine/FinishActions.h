// The finish actions, the end of every installation of both faces: what the finish page (or
// finish=) chose, in the order PlanFinishActions gives, then the program ends.
#pragma once

#include <windows.h>

#include <functional>

#include "engine/ExitCodes.h"
#include "engine/SetupCore.h"

// Carries out the choices and ends the program with exitCode (FinishExitCode); owner is the
// window the shell's windows belong to (null without one).
[[noreturn]] void FinishActions(const TFinishChoices& choices, HWND owner, int exitCode = kExitSuccess);

// Told the choices just before the finish actions run, once the installation and any first-run
// configuration are done (a run that saves its answers for later unattended ones).
void SetFinishObserver(std::function<void(const TFinishChoices&)> observer);
