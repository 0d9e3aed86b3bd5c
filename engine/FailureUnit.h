// How a failure reaches the person in front of the setup: one way, one place.
//
// Lower layers report failures as results (false, -1, a result carrying the Win32 error).
// The engine decides what is fatal: it raises a TSetupFailure, which travels up through the
// engine's own code to the job that is running (the install sequence, the uninstall, the
// first run, the start-up). The job may clean up (the install sequence starts again the
// servers it stopped) and then hands the failure to EndWithFailure, the one place that
// writes the log line, shows the box and ends the program with the failure's exit code.
// Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>

#include "engine/InstallUI.h"

enum class TFailureKind {
  Fatal,       // a required step failed: error box, exit code 1
  Cancelled,   // Cancel was confirmed while the install sequence ran: exit code 2
  Unexpected,  // an error nobody planned for escaped a job: logged, shown, exit code 4
};

struct TSetupFailure {
  TFailureKind Kind = TFailureKind::Fatal;
  std::string Doing;            // what was being done, for the log ("Extracting Setup.Dat")
  std::string Text;             // what the box says; no box when empty
  std::uint32_t Win32Error = 0;  // the system's error code, 0 when none applies
  // Servers that ran before the installation could not be started again: the mail service
  // is down, which the box must not present as mere information.
  bool ServersLeftDown = false;
};

// Raises a fatal failure (error box with text, exit code 1) from inside the engine.
[[noreturn]] void Fail(const std::string& doing, const std::string& text, std::uint32_t win32Error = 0);
// Raises the failure of a confirmed Cancel.
[[noreturn]] void FailCancelled(const std::string& doing);

// Raises the failure of a confirmed Cancel when the person asked for it (see
// TInstallUI::CancelRequested); the engine calls it between its steps.
void StopIfCancelled(const std::string& doing);

// The exit code the README gives for the kind.
int ExitCodeOf(TFailureKind kind);
// The failure that stands for an unexpected error of the job what ("The install sequence");
// error may be null (an exception of unknown type).
TSetupFailure UnexpectedFailure(const std::string& what, const std::exception* error);

// The icon of the failure's box: the error icon, for a confirmed Cancel the information icon,
// or the warning icon when servers were left down.
MessageIcon FailureBoxIcon(const TSetupFailure& failure);

// The one place: logs the failure, shows its box (caption cError, or cInformation for a
// confirmed Cancel; FailureBoxIcon) and ends the program with its exit code.
[[noreturn]] void EndWithFailure(const TSetupFailure& failure);

// Runs a job; a failure or an exception that escapes it ends the program through
// EndWithFailure.
void RunOrEnd(const std::string& what, const std::function<void()>& job);
