#include "app/CommandLine.h"
#include "base/StringUnit.h"

#include <algorithm>
#include <cctype>

namespace {

TFirstWord ClassifyFirstWord(const std::string& word) {
  const std::string upper = UpperCase(word);
  if (upper == "/SILENT") return TFirstWord::Silent;
  if (upper == "/UNINSTALL") return TFirstWord::Uninstall;
  if (upper == "/WEBMAILLOGON") return TFirstWord::WebMailLogon;
  if (upper == "/WEBADMINLOGON") return TFirstWord::WebAdminLogon;
  if (upper == "/LOGS") return TFirstWord::Logs;
  return TFirstWord::Other;
}

constexpr const char* kSettingNames[] = {"dir",      "components", "mode",       "hostname",
                                        "domain",   "admin",      "password-file", "finish",
                                        "answers",  "saveanswers", "allowdowngrade", "log",
                                        "checkversion", "deletepasswordfile"};

// "/name=value" or "-name=value" with a name before the "=".
bool SplitSetting(const std::string& word, TSetting& setting) {
  if (word.size() < 3 || (word[0] != '-' && word[0] != '/')) return false;
  const std::size_t equals = word.find('=');
  if (equals == std::string::npos || equals < 2) return false;
  setting = {LowerCase(word.substr(1, equals - 1)), word.substr(equals + 1), "command line"};
  return true;
}

}  // namespace

bool IsSettingWord(const std::string& word) {
  TSetting setting;
  return SplitSetting(word, setting);
}

bool IsSecretSettingName(const std::string& name) {
  const std::string lower = LowerCase(name);
  if (lower.size() >= 4 && lower.compare(lower.size() - 4, 4, "file") == 0) return false;
  for (const char* part : {"pass", "pasw", "pwd", "secret"})
    if (lower.find(part) != std::string::npos) return true;
  return false;
}

bool IsKnownSettingName(const std::string& name) {
  return std::find(std::begin(kSettingNames), std::end(kSettingNames), name) != std::end(kSettingNames);
}

std::vector<std::string> SplitCommandLine(const std::string& raw) {
  std::vector<std::string> words;
  std::size_t i = 0;
  const std::size_t n = raw.size();
  for (;;) {
    while (i < n && static_cast<unsigned char>(raw[i]) <= ' ') ++i;
    if (i >= n) break;
    std::string word;
    bool quoted = false;
    while (i < n && (quoted || static_cast<unsigned char>(raw[i]) > ' ')) {
      if (raw[i] == '"') {
        quoted = !quoted;
      } else {
        word += raw[i];
      }
      ++i;
    }
    words.push_back(word);
  }
  return words;
}

bool IsSwitch(const std::string& word, const std::string& name) {
  if (word.size() != name.size() + 1 || (word[0] != '-' && word[0] != '/')) return false;
  return UpperCase(word.substr(1)) == UpperCase(name);
}

TCommandLine ParseCommandLine(const std::vector<std::string>& words) {
  TCommandLine line;
  line.Words = words;
  for (const std::string& word : words) {
    if (IsSwitch(word, "exportlanguage")) line.ExportLanguage = true;
    if (IsSwitch(word, "restart")) line.Restart = true;
    if (IsSwitch(word, "unattended")) line.Unattended = true;
  }
  // The first word is the first one that is neither "unattended" nor a setting, so that
  // "/dir=... /UNINSTALL" and "unattended /UNINSTALL" remove, and a lone setting is no
  // "other first word" that would end the run quietly.
  std::vector<std::string> rest;
  for (const std::string& word : words) {
    TSetting setting;
    if (SplitSetting(word, setting) && (line.Unattended || IsKnownSettingName(setting.Name))) {
      line.Settings.push_back(setting);
    } else if (!IsSwitch(word, "unattended")) {
      rest.push_back(word);
    }
  }
  if (line.Restart && words.size() >= 2) line.RestartKindWord = words[1];
  if (!rest.empty()) line.First = ClassifyFirstWord(rest[0]);
  return line;
}
