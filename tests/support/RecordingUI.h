// A TInstallUI for tests: records every status, progress step and message box, and answers
// the boxes from a script (in order; Ok/No once the script is used up).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "engine/InstallUI.h"

struct RecordedBox {
  TQuestion question;
  std::string caption;
  std::string text;
  MessageButtons buttons;
  MessageIcon icon;
};

class TRecordingUI final : public TInstallUI {
 public:
  std::vector<std::string> statuses;
  int progressSteps = 0;
  int pumps = 0;
  std::vector<RecordedBox> boxes;
  std::deque<MessageAnswer> answers;
  // Cancel counts as confirmed once this many statuses were shown (-1: never).
  int cancelAfterStatuses = -1;

  void SetStatus(const std::string& text) override { statuses.push_back(text); }
  bool CancelRequested() override {
    return cancelAfterStatuses >= 0 && statuses.size() >= static_cast<std::size_t>(cancelAfterStatuses);
  }
  void StepProgress() override { ++progressSteps; }
  void ProcessMessages() override { ++pumps; }
  MessageAnswer ShowMessage(const TMessageBox& box) override {
    boxes.push_back({box.Question, box.Caption, box.Text, box.Buttons, box.Icon});
    if (!answers.empty()) {
      const MessageAnswer answer = answers.front();
      answers.pop_front();
      return answer;
    }
    return box.Buttons == MessageButtons::Ok ? MessageAnswer::Ok : MessageAnswer::No;
  }
};

// Installs the recorder as the current UI for the scope of a test.
class TScopedUI {
 public:
  explicit TScopedUI(TInstallUI& ui) { SetCurrentUI(&ui); }
  ~TScopedUI() { SetCurrentUI(nullptr); }
};
