// The components left out at an installation (the NoInstall... flags of the setup record),
// remembered in the suite's registry key.
#pragma once

#include "engine/SetupState.h"
#include "system/AdvancedRegistry.h"

// Reads the components' values (engine/ComponentTable.h) into the state (missing = false,
// component installed).
void ReadNoInstallFlags(TAdvancedRegistry& registry, TSetupState& state);
// Writes the values in their stored order (NoInstallIM, NoInstallWebMail, NoInstallCalendar,
// NoInstallAV, NoInstallIAS); the first failing write ends the writing and is given back (the
// install sequence goes on without a message).
TRegistryResult WriteNoInstallFlags(TAdvancedRegistry& registry, const TSetupState& state);
