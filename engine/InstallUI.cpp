#include "engine/InstallUI.h"

#include "base/DeadlineClock.h"

namespace {

// Before the wizard window exists nothing can be shown; questions count as "No".
class TSilentUI final : public TInstallUI {
 public:
  void SetStatus(const std::string&) override {}
  void StepProgress() override {}
  void ProcessMessages() override {}
  MessageAnswer ShowMessage(const TMessageBox& box) override {
    return box.Buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
  }
};

TSilentUI silentUI;
TInstallUI* currentUI = &silentUI;

}  // namespace

TInstallUI& CurrentUI() { return *currentUI; }

void SetCurrentUI(TInstallUI* ui) { currentUI = ui != nullptr ? ui : &silentUI; }

namespace {
void PumpWindowMessages() { CurrentUI().ProcessMessages(); }
}  // namespace

TWaitsPumpMessages::TWaitsPumpMessages() { SetPauseListener(PumpWindowMessages); }

TWaitsPumpMessages::~TWaitsPumpMessages() { SetPauseListener(nullptr); }
