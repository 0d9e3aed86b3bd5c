// The settings of an unattended run ("/name=value" words and the lines of an answers file),
// what they mean, and the checks they must pass before anything on the machine changes. Also
// the answers file an interactive run saves, and the documented answer to each box of an
// unattended run. Portable: the file system is reached through TOptionFiles.
//
// Settings (names in any letter case):
//   dir=FOLDER          installation folder, absolute (default: the earlier installation's,
//                       else the default destination)
//   components=LIST     webmail, antispam, antivirus, im, groupware, comma-separated, or none
//                       (default: what the registry remembers)
//   mode=advanced|basic console layout (default advanced)
//   hostname= domain= admin= password-file=
//                       the first-run values of a first installation, all four or none; the
//                       password is the first line of the file, never a command-line word
//   finish=LIST         readme, releasenotes, tutorial, config, antivirus, or none (default)
//   allowdowngrade=yes|no  install over a newer version (default no)
//   answers=FILE        the same settings as name=value lines; the command line wins
//   saveanswers=FILE    interactive run only: the choices made are written there
//   log=FILE            the install log (appended to); default: a new log in the temporary folder;
//                       command line only
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "engine/InstallUI.h"
#include "engine/SetupState.h"
#include "wizard/FinishUnit.h"
#include "wizard/WizardLogic.h"

// What the run does with its settings.
enum class TRunKind {
  Interactive,          // the wizard: only log= and saveanswers=
  UnattendedInstall,    // install or upgrade
  UnattendedUninstall,  // "/UNINSTALL unattended": only log=
};

struct TUnattendedOptions {
  std::string Dir;
  bool ComponentsGiven = false;
  TComponentChecks Components{};  // as the component list: item 0 always installed
  bool Advanced = true;
  std::string HostName;
  std::string Domain;
  std::string Admin;
  std::string PasswordFile;
  TFinishChoices Finish;
  bool AllowDowngrade = false;
  std::string Answers;
  std::string SaveAnswers;
  std::string Log;
  bool HasFirstRunValues() const { return !PasswordFile.empty(); }
};

// A refused setting: which one (as given, "dir=relative\path") and why. Empty when none.
struct TArgumentError {
  std::string Argument;
  std::string Reason;
  explicit operator bool() const { return !Reason.empty(); }
  std::string Text() const { return Argument.empty() ? Reason : Argument + ": " + Reason; }
};

// The lines of an answers file: name=value, blank lines and lines starting with '#' or ';'
// skipped, blanks around name and value dropped.
TArgumentError ParseAnswersText(const std::string& text, const std::string& fileName,
                                std::vector<TSetting>& settings);

// The answers file's settings with the command line's over them (one of a name wins whole).
std::vector<TSetting> MergeSettings(const std::vector<TSetting>& fromFile,
                                    const std::vector<TSetting>& fromCommandLine);

// Names and the form of each value; the first refused setting.
TArgumentError InterpretSettings(const std::vector<TSetting>& settings, TRunKind kind,
                                 TUnattendedOptions& options);

// What the checks that follow need of the file system.
struct TOptionFiles {
  std::function<bool(const std::string&)> DirectoryExists;
  std::function<bool(const std::string&)> FileExists;
  // The file's first line without its line end; false when it cannot be read.
  std::function<bool(const std::string&, std::string&)> ReadFirstLine;
};

// The password of a password file: its first line. A file saved as UTF-8 or UTF-16 (with the
// byte-order mark editors write) gives the same text as one saved in the ANSI code page;
// false for a file whose line holds a NUL or a character the code page cannot show, which
// would silently become another password.
bool PasswordFileLine(const std::string& bytes, std::string& line);

// The checks against the machine, all read-only: a usable folder, a readable password (handed
// back in password), first-run names the first-run page would accept, a folder for the saved
// answers.
TArgumentError CheckOptions(TUnattendedOptions& options, const TOptionFiles& files, std::string& password);

// The answers an interactive run leaves for later unattended ones: what was chosen on the
// pages and the finish page, the first-run values but never the password.
std::string FormatAnswers(const TSetupState& state, const TFinishChoices& finish);

// The box table of an unattended run:
//   OK-only boxes (warnings, notes, the error box before a failed run ends)  -> OK
//   Yes/No: the opening question -> Yes; any other -> No
//   Yes/No, No by default (an older version over a newer one) -> Yes with allowdowngrade=yes, else No
//   Yes/No/Cancel (the download of a newer version) -> No
//   OK/Cancel -> Cancel
MessageAnswer UnattendedAnswer(MessageButtons buttons, const std::string& text, const std::string& openingQuestion,
                               bool allowDowngrade);
