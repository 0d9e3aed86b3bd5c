#include "engine/ComponentTable.h"

namespace {

// A row that breaks these would fail silently at run time (a flag never stored, a list item
// without its flag), so the build refuses it.
constexpr bool RowsAreComplete() {
  if (kComponents[0].LeftOut != nullptr) return false;  // the mail services are always installed
  bool stored[kStoredChoiceCount] = {};
  for (int i = 1; i < kComponentCount; ++i) {
    const TComponentRow& row = kComponents[i];
    if (row.LeftOut == nullptr || row.FlagValue == nullptr || row.AnswerWord == nullptr) return false;
    if (row.StoredAt < 0 || row.StoredAt >= kStoredChoiceCount || stored[row.StoredAt]) return false;
    stored[row.StoredAt] = true;
  }
  return true;
}
static_assert(RowsAreComplete(), "every component but the first has a flag, a stored value and a word of its own");

}  // namespace

bool ServerLeftOut(const TSetupState& state, int serverKind) {
  for (const TComponentRow& component : kComponents)
    if (component.Server == serverKind && serverKind >= 0) return LeftOut(component, state);
  return false;
}
