// The setup's install log: one text file per run in the temporary folder, named
// "Setup Log yyyy-mm-dd #nnn.txt" and always created new (the number is raised while the name
// is taken), so an earlier run's log is never overwritten.
//
// Everything the setup does to the machine and every message box with its answer goes
// through InstallLog, the one logging function of the program. Each line starts with a
// local timestamp; the continuation lines of a multi-line text are indented under it.
// Registered secrets (passwords typed into the wizard) are masked in every line, whoever
// logs them. Before a log is started, and when none could be created, logging does nothing.
// Portable: no <windows.h>.
#pragma once

#include <string>

#include "engine/InstallUI.h"

struct TLogHeader {
  std::string SetupVersion;
  std::string ProgramPath;
  std::string CommandLine;
  std::string WindowsVersion;
  std::string Platform;
};

// What the running program and system tell about themselves.
TLogHeader SystemLogHeader();

// Creates a new log file in folder (the temporary folder when empty), writes the header and
// makes it the log of this run. Gives the file's path, empty when no file could be created.
std::string StartInstallLog(const TLogHeader& header, const std::string& folder = "");
// The same with the log at a path of the caller's choosing (an unattended run's "log="): an
// existing file is appended to, never overwritten. Empty when the file cannot be opened.
std::string StartInstallLogFile(const TLogHeader& header, const std::string& path);
// Closes the log of this run; later lines go nowhere until a log is started again.
void StopInstallLog();
// The path of the open log, empty when none is open.
std::string InstallLogPath();

// From now on a copy of the log goes into folder (the installation's logs\ folder once an
// installation succeeded): made now, and again when the program ends.
void KeepInstallLogIn(const std::string& folder);
// The run's last line (its exit code), and the copy KeepInstallLogIn asked for.
void FinishInstallLog(int exitCode);

// The one logging function: one timestamped entry.
void InstallLog(const std::string& text);

// A text that must never reach the log (a password); every occurrence as a whole word is
// masked (one inside a longer word is another word, and stays readable).
void AddLogSecret(const std::string& secret);
// The text as the log would have it, for what goes elsewhere (the console).
std::string MaskLogSecrets(const std::string& text);
void ClearLogSecrets();

// "Setup Log 2026-12-07 #001.txt"
std::string LogFileName(int year, int month, int day, int number);

// Wraps the UI the engine reports through: status texts and every message box with its
// answer are logged, then handled by the wrapped UI (a silent one answering Ok/No when null).
class TLoggedUI final : public TInstallUI {
 public:
  explicit TLoggedUI(TInstallUI* inner) : inner_(inner) {}
  void SetInner(TInstallUI* inner) { inner_ = inner; }
  void SetStatus(const std::string& text) override;
  void StepProgress() override;
  void ProcessMessages() override;
  MessageAnswer ShowMessage(const TMessageBox& box) override;
  bool CancelRequested() override { return inner_ != nullptr && inner_->CancelRequested(); }

 private:
  TInstallUI* inner_;
};

// Makes ui (wrapped so that it logs) the UI the engine reports through; null wraps the
// silent UI. The wizard installs its window this way.
void SetLoggedCurrentUI(TInstallUI* ui);

const char* MessageAnswerName(MessageAnswer answer);
