// The setup's command line: two switches looked for among all words ("exportlanguage" and
// "restart", each with a leading "-" or "/"), and the command words that count only as the
// first word. Letter case never matters. Portable.
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

struct TCommandLine {
  std::vector<std::string> Words;  // without the program name
  bool ExportLanguage = false;
  bool Restart = false;
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
