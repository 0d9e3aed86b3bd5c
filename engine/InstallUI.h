// How the install engine and the system units talk to the person in front of the setup.
//
// The engine never draws or asks anything itself: it reports through this interface, which
// the wizard window implements (status line, progress bar, message pump, task-modal message
// boxes owned by the wizard) and the unattended run implements (console lines, each box
// answered by its identity). Tests pass a recorder that answers from a script.
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

// Every box the program can show, by identity. engine/SetupQuestions holds each one's caption,
// text pattern, buttons, icon and the answer an unattended run gives it; the boxes are made
// there, never from loose captions and texts.
enum class TQuestion {
  // Questions: more than one button, an answer to decide.
  Opening,       // "This will install ...": go on?
  Uninstall,     // "/UNINSTALL": remove everything?
  Downgrade,     // an older version over a newer one?
  NewerVersion,  // a newer version is available: download it?
  Cancel,        // the wizard's Cancel: stop the installation?
  CreateFolder,  // the folder chooser: make the missing folder?
  // Notices: OK alone, nothing to decide.
  Failure,                   // a failure ends the run (engine/FailureUnit)
  Cancelled,                 // a confirmed Cancel ended the installation (engine/FailureUnit)
  FolderNotAbsolute,         // the destination page: no full path
  FolderRefused,             // the destination page: a place others could change
  ChooserFolderNotAbsolute,  // the folder chooser: no full path
  ConfigurationNotSaved,     // the store could not be read, so nothing in it was changed
  ServiceError,              // a service could not be created, started or stopped
  ServersNotRunning,         // servers that did not start
  OlderWebMail,              // the older web mail product needs its own upgrade
  RemovalComplete,           // the uninstall is done
  AnswersNotSaved,           // saveanswers= could not be written
};

// One box as the engine asks for it.
struct TMessageBox {
  TQuestion Question = TQuestion::Failure;
  std::string Caption;
  std::string Text;
  MessageButtons Buttons = MessageButtons::Ok;
  MessageIcon Icon = MessageIcon::None;
};

class TInstallUI {
 public:
  virtual ~TInstallUI() = default;
  // Shows a status text on the installing page and lets pending window messages through.
  virtual void SetStatus(const std::string& text) = 0;
  // Advances the installing page's progress bar by one step.
  virtual void StepProgress() = 0;
  // Lets pending window messages through, so the window stays responsive during long waits.
  virtual void ProcessMessages() = 0;
  // Shows the box (engine/SetupQuestions makes it) and gives the answer.
  virtual MessageAnswer ShowMessage(const TMessageBox& box) = 0;
  // True once the person confirmed Cancel while the install sequence runs; the engine stops
  // at its next step, after putting the servers back.
  virtual bool CancelRequested() { return false; }
};

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
