// The start-up of setup.exe, for both faces and without a window (the wizard runs it once its
// window exists, before it is first shown, and renders the result): the language step, the
// one-shot commands (which end the program), info.xml, the registry migration, the data-archive
// check, the opening question and the inspection of an earlier installation. Its result is the
// setup record and what the destination page offers.
#pragma once

#include "app/CommandLine.h"
#include "engine/SetupCore.h"

TStartupFacts RunStartup(const TCommandLine& commandLine);
