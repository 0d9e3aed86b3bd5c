#include "engine/ComponentFlags.h"

#include "engine/ComponentTable.h"

void ReadNoInstallFlags(TAdvancedRegistry& registry, TSetupState& state) {
  for (const TComponentRow& component : kComponents)
    if (component.LeftOut != nullptr) state.*component.LeftOut = registry.ReadBool(component.FlagValue);
}

TRegistryResult WriteNoInstallFlags(TAdvancedRegistry& registry, const TSetupState& state) {
  for (int position = 0; position < kStoredChoiceCount; ++position) {
    for (const TComponentRow& component : kComponents) {
      if (component.LeftOut == nullptr || component.StoredAt != position) continue;
      TRegistryResult result = registry.WriteBool(component.FlagValue, state.*component.LeftOut);
      if (!result) return result;
    }
  }
  return {};
}
