// The settings of an unattended run ("/name=value" words and the lines of an answers file),
// what they mean, and the checks they must pass before anything on the machine changes. Also
// the answers file an interactive run saves. The answer to each box of an unattended run is the
// question table's (engine/SetupQuestions). Portable: the file system is reached through
// TOptionFiles.
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
//   checkversion=yes|no    ask for a newer version, which is logged, never downloaded (default no)
//   deletepasswordfile=yes|no  delete the password file once it is read (default no)
//   answers=FILE        the same settings as name=value lines; the command line wins
//   saveanswers=FILE    interactive run only: the choices made are written there
//   log=FILE            the install log (appended to); default: a new log in the temporary folder;
//                       command line only
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "engine/SetupCore.h"
#include "engine/SetupState.h"

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
  bool CheckVersion = false;        // ask the maker's site for a newer version (nobody can answer)
  bool DeletePasswordFile = false;  // the password file is deleted once read
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
  // The file's bytes; false when it is missing or cannot be read (an empty file is read).
  std::function<bool(const std::string&, std::string&)> ReadFile;
};

// The settings of the answers file at path (ParseAnswersText). A file that is missing, or
// exists and cannot be read, is refused: it is never taken for an empty one.
TArgumentError ReadAnswersFile(const std::string& path, const TOptionFiles& files, std::vector<TSetting>& settings);

// The checks against the machine, all read-only and all before anything changes: a folder path
// made of folders down from a drive or share that exists (where the installation folder may go
// is engine/SetupCore's JudgeFolder), a readable password the store can keep (handed back in
// password), first-run names the first-run page would accept, a folder for the saved answers.
TArgumentError CheckOptions(TUnattendedOptions& options, const TOptionFiles& files, std::string& password);

// The password of a password file: its first line. The file may be UTF-16 (little- or
// big-endian, with its byte-order mark: what Windows PowerShell 5.1 writes with ">"), UTF-8
// with or without a mark, or, when it is no UTF-8, text in the ANSI code page. The store keeps
// the password in the ANSI code page: why the line cannot be kept (a character the code page
// lacks, more than the password field holds), empty when it can.
std::string PasswordFromFileBytes(const std::string& bytes, std::string& password);

// The answers an interactive run leaves for later unattended ones: what was chosen on the
// pages and the finish page, the first-run values but never the password.
std::string FormatAnswers(const TSetupState& state, const TFinishChoices& finish);
