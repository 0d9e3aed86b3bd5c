// The setup's command line: three switches looked for among all words ("exportlanguage",
// "restart" and "unattended", each with a leading "-" or "/"), the "/name=value" settings of an
// unattended run, and the command words that count only as the first word. Letter case of
// switch names never matters. Portable.
#pragma once

#include <string>
#include <vector>

enum class TFirstWord {
  None,           // no words: the wizard with the opening question
  Silent,         // "/SILENT": the wizard without the opening question
  Uninstall,      // "/UNINSTALL"
  WebMailLogon,   // "/WEBMAILLOGON"
  WebAdminLogon,  // "/WEBADMINLOGON"
  Logs,           // "/LOGS"
  Other,          // anything else: load the configuration and end quietly
};

// One "/name=value" (or "-name=value") word; the name in lower case, the value as it stands.
struct TSetting {
  std::string Name;
  std::string Value;
  std::string Origin;  // where it was given, for the message about a bad one
};

struct TCommandLine {
  std::vector<std::string> Words;  // without the program name
  bool ExportLanguage = false;
  bool Restart = false;
  bool Unattended = false;
  // The settings words, taken out before the first word is looked at: with "unattended" every
  // "/name=value" word, without it only those of a known name (so any other word keeps the
  // meaning it always had).
  std::vector<TSetting> Settings;
  // The server kind of "restart" is the second word as it stands (empty when missing).
  std::string RestartKindWord;
  TFirstWord First = TFirstWord::None;

  bool Silent() const { return First == TFirstWord::Silent; }
  // The wizard runs (with or without the opening question) rather than a one-shot command.
  bool RunsWizard() const { return First == TFirstWord::None || First == TFirstWord::Silent; }
};

// Splits a raw command line into words the way the program's runtime does: white space
// separates, double quotes group and are removed. The first word (the program) is kept.
std::vector<std::string> SplitCommandLine(const std::string& raw);

// Decides from the words after the program name.
TCommandLine ParseCommandLine(const std::vector<std::string>& words);

// True when word is the switch name preceded by "-" or "/" (any letter case).
bool IsSwitch(const std::string& word, const std::string& name);

// "/name=value" or "-name=value", whatever the name.
bool IsSettingWord(const std::string& word);

// The names a "/name=value" setting may have.
// A setting whose value may be a secret: its name holds "pass", "pasw" (a mistyped "pasword"),
// "pwd" or "secret", unless it names a file (password-file= gives a path, not the password).
bool IsSecretSettingName(const std::string& name);
bool IsKnownSettingName(const std::string& name);
