// The install sequence's machine on Windows: the steps' Win32 bodies (placement, registry,
// services, the store) behind TInstallMachine.
#pragma once

#include "engine/InstallMachine.h"

// The one machine of the running program.
TInstallMachine& RealInstallMachine();
