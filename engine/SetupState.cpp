#include "engine/SetupState.h"

#include "base/FileSystemUnit.h"

TSetupState& SetupState() {
  static TSetupState state;
  return state;
}

void ResetSetupState() { SetupState() = TSetupState{}; }

std::string SetupFolder() { return ProgramFolder(); }
