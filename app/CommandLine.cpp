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

}  // namespace

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
  }
  if (line.Restart && words.size() >= 2) line.RestartKindWord = words[1];
  if (!words.empty()) line.First = ClassifyFirstWord(words[0]);
  return line;
}
