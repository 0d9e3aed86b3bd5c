#include "engine/RunJournal.h"

#include <charconv>
#include <sstream>

namespace {

constexpr char kFormat[] = "zarel-run-journal 1";

std::string Flag(bool value) { return value ? "1" : "0"; }

template <typename TNumbers>
std::string CommaList(const TNumbers& numbers) {
  std::string text;
  for (const int number : numbers) {
    if (!text.empty()) text += ',';
    text += std::to_string(number);
  }
  return text;
}

// Paths and versions never hold a line break; one that did would add a line of its own.
std::string OneLine(const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); }

bool ParseNumber(const std::string& text, int& number) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, number);
  return result.ec == std::errc() && result.ptr == end;
}

bool ParseFlag(const std::string& text, bool& flag) {
  if (text != "0" && text != "1") return false;
  flag = text == "1";
  return true;
}

bool ParseList(const std::string& text, std::vector<int>& numbers) {
  numbers.clear();
  if (text.empty()) return true;
  std::stringstream items(text);
  std::string item;
  while (std::getline(items, item, ',')) {
    int number = 0;
    if (!ParseNumber(item, number)) return false;
    numbers.push_back(number);
  }
  return true;
}

bool ParseKinds(const std::string& text, std::vector<int>& kinds) {
  if (!ParseList(text, kinds)) return false;
  for (const int kind : kinds)
    if (kind < 0 || kind >= kServerKindCount) return false;
  return true;
}

bool ParseStartTypes(const std::string& text, std::array<std::int32_t, kServerKindCount>& types) {
  std::vector<int> numbers;
  if (!ParseList(text, numbers) || numbers.size() != types.size()) return false;
  for (std::size_t kind = 0; kind < types.size(); ++kind) {
    if (numbers[kind] < kNoRecordedStartType || numbers[kind] > 4) return false;
    types[kind] = numbers[kind];
  }
  return true;
}

bool ParseField(const std::string& name, const std::string& value, TRunJournal& journal) {
  if (name == "installed-before") return journal.InstalledBefore = value, true;
  if (name == "installing") return journal.Installing = value, true;
  if (name == "install-dir") return journal.InstallDir = value, true;
  if (name == "first-installation") return ParseFlag(value, journal.FirstInstallation);
  if (name == "seeded") return ParseFlag(value, journal.Seeded);
  if (name == "start-types") return ParseStartTypes(value, journal.StartTypes);
  if (name == "start-types-restored") return ParseFlag(value, journal.StartTypesRestored);
  if (name == "stopped-servers") return ParseKinds(value, journal.StoppedServers);
  if (name == "extraction-folder") return journal.ExtractionFolder = value, true;
  if (name == "version-written") return ParseFlag(value, journal.VersionWritten);
  if (name == "demonstration-message-sent") return ParseFlag(value, journal.DemonstrationMessageSent);
  if (name == "upgrade-commands-sent")
    return ParseNumber(value, journal.UpgradeCommandsSent) && journal.UpgradeCommandsSent >= 0;
  return true;  // a later format's field: ignored
}

}  // namespace

std::string JournalText(const TRunJournal& journal) {
  std::string text = kFormat;
  text += '\n';
  const auto line = [&text](const char* name, const std::string& value) {
    text.append(name).append(1, '=').append(OneLine(value)).append(1, '\n');
  };
  line("installed-before", journal.InstalledBefore);
  line("installing", journal.Installing);
  line("install-dir", journal.InstallDir);
  line("first-installation", Flag(journal.FirstInstallation));
  line("seeded", Flag(journal.Seeded));
  line("start-types", CommaList(journal.StartTypes));
  line("start-types-restored", Flag(journal.StartTypesRestored));
  line("stopped-servers", CommaList(journal.StoppedServers));
  line("extraction-folder", journal.ExtractionFolder);
  line("version-written", Flag(journal.VersionWritten));
  line("demonstration-message-sent", Flag(journal.DemonstrationMessageSent));
  line("upgrade-commands-sent", std::to_string(journal.UpgradeCommandsSent));
  return text;
}

std::optional<TRunJournal> ParseJournal(const std::string& text) {
  std::stringstream lines(text);
  std::string line;
  if (!std::getline(lines, line) || line != kFormat) return std::nullopt;
  TRunJournal journal;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos || !ParseField(line.substr(0, equals), line.substr(equals + 1), journal))
      return std::nullopt;
  }
  return journal;
}
