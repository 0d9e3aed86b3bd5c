#include "setup/SetupState.h"

#include "install/FileSystemUnit.h"

TSetupState& SetupState() {
  static TSetupState state;
  return state;
}

void ResetSetupState() { SetupState() = TSetupState{}; }

std::string SetupFolder() { return ProgramFolder(); }
