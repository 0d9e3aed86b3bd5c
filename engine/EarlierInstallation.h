// The start-up's look at the machine, for both faces: the installed version (and the
// recovery of a run that stopped before its end, engine/RunRecovery), the components an
// earlier installation left out, its folder and configuration, else the default folder, and
// the older web mail product. It fills the setup record and gives what the destination page
// offers (an unattended run takes it without dir=).
#pragma once

#include "engine/SetupCore.h"

// Points the suite's registry key back at its usual place (after the registry migration moved
// it) so that the reads below find the suite's values.
void PointAtSuiteKey();

TStartupFacts InspectEarlierInstallation();
