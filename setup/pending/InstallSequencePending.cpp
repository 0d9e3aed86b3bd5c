// Linked only when no install engine defines InstallSequence (this library comes last on
// the link line). Not a working installation: it fails loudly so nothing mistakes it for one.
#include <stdexcept>

#include "install/InstallSequence.h"

void InstallSequence() {
  throw std::runtime_error("The install sequence is not part of this build.");
}
