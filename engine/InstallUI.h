// How the install engine and the system units talk to the person in front of the setup.
//
// The engine never draws or asks anything itself: it reports through this interface, which
// the wizard window implements (status line, progress bar, message pump, task-modal message
// boxes owned by the wizard). Tests pass a recorder that answers from a script.
#pragma once

#include <string>

enum class MessageButtons {
  Ok,
  YesNo,
  YesNoDefaultNo,  // Yes and No with No as the default button: questions whose safe answer is No
  YesNoCancel,
  OkCancel,
};
enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageAnswer { Ok, Cancel, Yes, No };

class TInstallUI {
 public:
  virtual ~TInstallUI() = default;
  // Shows a status text on the installing page and lets pending window messages through.
  virtual void SetStatus(const std::string& text) = 0;
  // Advances the installing page's progress bar by one step.
  virtual void StepProgress() = 0;
  // Lets pending window messages through, so the window stays responsive during long waits.
  virtual void ProcessMessages() = 0;
  virtual MessageAnswer ShowMessage(const std::string& caption, const std::string& text,
                                   MessageButtons buttons, MessageIcon icon) = 0;
  // True once the person confirmed Cancel while the install sequence runs; the engine stops
  // at its next step, after putting the servers back.
  virtual bool CancelRequested() { return false; }
};

// A task-modal question with Yes and No; any answer but Yes counts as No.
bool AskYes(const std::string& caption, const std::string& text);

// The interface the running program reports through (the wizard window once it exists).
// Never null: until a window is set, a silent implementation answers Ok/No.
TInstallUI& CurrentUI();
void SetCurrentUI(TInstallUI* ui);

// While one exists, every deadline wait of the lower layers (the service and process code's
// pauses) lets the window's messages through CurrentUI(), as the engine's own waits do: the
// installing page stays painted and Cancel stays usable. The install sequence holds one.
class TWaitsPumpMessages {
 public:
  TWaitsPumpMessages();
  ~TWaitsPumpMessages();
  TWaitsPumpMessages(const TWaitsPumpMessages&) = delete;
  TWaitsPumpMessages& operator=(const TWaitsPumpMessages&) = delete;
};
