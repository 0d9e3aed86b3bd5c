// The first-run configuration is not built yet: it fails loudly, so the first run is never
// taken as configured.
#include <stdexcept>

#include "engine/InstallSequence.h"

void ApplyTutorialSettings(const std::string&, const std::string&, const std::string&,
                           const std::string&) {
  throw std::runtime_error("The first-run configuration is not part of this build.");
}
