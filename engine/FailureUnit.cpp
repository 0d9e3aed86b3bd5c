#include "engine/FailureUnit.h"

#include "base/TextFormat.h"
#include "engine/ExitCodes.h"
#include "engine/InstallLog.h"
#include "engine/InstallUI.h"
#include "engine/ProgramEnd.h"
#include "engine/SetupQuestions.h"
#include "texts/TextTable.h"

void Fail(const std::string& doing, const std::string& text, std::uint32_t win32Error) {
  throw TSetupFailure{TFailureKind::Fatal, doing, text, win32Error};
}

void FailCancelled(const std::string& doing) {
  throw TSetupFailure{TFailureKind::Cancelled, doing, std::string(), 0};
}

void StopIfCancelled(const std::string& doing) {
  if (CurrentUI().CancelRequested()) FailCancelled(doing);
}

int ExitCodeOf(TFailureKind kind) {
  switch (kind) {
    case TFailureKind::Fatal: return kExitFatalError;
    case TFailureKind::Cancelled: return kExitCancelledDuringInstall;
    case TFailureKind::Unexpected: return kExitInstallException;
  }
  return kExitInstallException;
}

TSetupFailure UnexpectedFailure(const std::string& what, const std::exception* error) {
  const std::string description =
      error != nullptr && error->what() != nullptr ? error->what() : "unknown error";
  return TSetupFailure{TFailureKind::Unexpected, what + " stopped on an unexpected error: " + description,
                       FormatText(cInstallAborted, {description}), 0};
}

MessageIcon FailureBoxIcon(const TSetupFailure& failure) {
  if (failure.Kind != TFailureKind::Cancelled) return MessageIcon::Error;
  return failure.ServersLeftDown ? MessageIcon::Warning : MessageIcon::Information;
}

void EndWithFailure(const TSetupFailure& failure) {
  const char* kind = failure.Kind == TFailureKind::Cancelled ? "Cancelled" : "Failed";
  InstallLog(std::string(kind) + ": " + failure.Doing +
             (failure.Win32Error != 0 ? " (system error " + std::to_string(failure.Win32Error) + ")" : ""));
  if (!failure.Text.empty()) {
    const bool cancelled = failure.Kind == TFailureKind::Cancelled;
    TMessageBox box = NoticeBox(cancelled ? TQuestion::Cancelled : TQuestion::Failure, failure.Text);
    box.Icon = FailureBoxIcon(failure);
    CurrentUI().ShowMessage(box);
  }
  EndProgram(ExitCodeOf(failure.Kind));
}

void RunOrEnd(const std::string& what, const std::function<void()>& job) {
  try {
    job();
  } catch (const TProgramEnded&) {
    throw;  // a test observing the end of the program
  } catch (const TSetupFailure& failure) {
    EndWithFailure(failure);
  } catch (const std::exception& error) {
    EndWithFailure(UnexpectedFailure(what, &error));
  } catch (...) {
    EndWithFailure(UnexpectedFailure(what, nullptr));
  }
}
