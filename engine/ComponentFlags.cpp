#include "engine/ComponentFlags.h"

#include <utility>

void ReadNoInstallFlags(TAdvancedRegistry& registry, TSetupState& state) {
  state.NoInstallIM = registry.ReadBool("NoInstallIM");
  state.NoInstallCalendar = registry.ReadBool("NoInstallCalendar");
  state.NoInstallWebMail = registry.ReadBool("NoInstallWebMail");
  state.NoInstallAV = registry.ReadBool("NoInstallAV");
  state.NoInstallIAS = registry.ReadBool("NoInstallIAS");
}

TRegistryResult WriteNoInstallFlags(TAdvancedRegistry& registry, const TSetupState& state) {
  const std::pair<const char*, bool> values[] = {
      {"NoInstallIM", state.NoInstallIM},
      {"NoInstallWebMail", state.NoInstallWebMail},
      {"NoInstallCalendar", state.NoInstallCalendar},
      {"NoInstallAV", state.NoInstallAV},
      {"NoInstallIAS", state.NoInstallIAS},
  };
  for (const auto& [name, value] : values) {
    TRegistryResult result = registry.WriteBool(name, value);
    if (!result) return result;
  }
  return {};
}
