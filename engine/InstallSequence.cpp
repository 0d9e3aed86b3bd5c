// The install sequence is not built yet: it fails loudly, so nothing mistakes this build for
// one that installs.
#include <stdexcept>

#include "engine/InstallSequence.h"

void InstallSequence() {
  throw std::runtime_error("The install sequence is not part of this build.");
}
