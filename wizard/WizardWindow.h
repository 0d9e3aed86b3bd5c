// Starting the wizard: the one header of the wizard that the program's entry includes (the
// layer check names it).
#pragma once

#include <windows.h>

#include <functional>

#include "engine/SetupCore.h"

// Creates the wizard window, hidden, and makes it the engine's UI; runs the start-up (its
// boxes are owned by the window; it may end the program); renders what the start-up found;
// creates the folder chooser; shows the window and runs its message loop. Gives the exit code
// of a loop that ends (the program normally ends inside, through EndProgram).
int RunWizard(HINSTANCE instance, int showCommand, const std::function<TStartupFacts()>& startUp);
