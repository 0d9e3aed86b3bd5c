// Linked only when nothing else defines ApplyTutorialSettings (this library comes last on
// the link line). It fails loudly so the first run is never taken as configured.
#include <stdexcept>

#include "install/InstallSequence.h"

void ApplyTutorialSettings(const std::string&, const std::string&, const std::string&,
                           const std::string&) {
  throw std::runtime_error("The first-run configuration is not part of this build.");
}
