#include "app/UnattendedOptions.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "base/StringUnit.h"
#include "engine/FirstRunNames.h"
#include "xml/CodePage.h"
#include "xml/XMLUnit.h"

namespace {

// The optional components by their list item, from the component table (item 0 has none).
constexpr std::array<const char*, kComponentCount> kComponentNames = [] {
  std::array<const char*, kComponentCount> names{};
  for (int item = 0; item < kComponentCount; ++item) names[item] = kComponents[item].AnswerWord;
  return names;
}();
constexpr const char* kFinishNames[] = {"readme", "releasenotes", "tutorial", "config", "antivirus"};
constexpr const char* kFirstRunNames[] = {"hostname", "domain", "admin", "password-file"};

bool* FinishFlag(TFinishChoices& finish, const std::string& name) {
  if (name == "readme") return &finish.ViewReadme;
  if (name == "releasenotes") return &finish.ViewReleaseNotes;
  if (name == "tutorial") return &finish.ShowTutorial;
  if (name == "config") return &finish.RunConfig;
  if (name == "antivirus") return &finish.RunAntivirus;
  return nullptr;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts(1);
  for (const char c : text) {
    if (c == separator) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

std::vector<std::string> ListItems(const std::string& value) {
  std::vector<std::string> items;
  for (const std::string& item : Split(value, ',')) items.push_back(LowerCase(TrimText(item)));
  return items;
}

std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ",") + name;
  return text.empty() ? "none" : text;
}

TArgumentError Refuse(const TSetting& setting, const std::string& reason) {
  return {setting.Name + "=" + setting.Value + " (" + setting.Origin + ")", reason};
}

TArgumentError RefuseFirstRun(const TSetting& setting, const TFirstRunProblem& problem) {
  return Refuse(setting, "the first-run page refuses it: " + problem.Text);
}

// Which names a run of the kind takes; the reason a name is refused, empty when taken.
std::string RefusalForKind(const std::string& name, TRunKind kind) {
  switch (kind) {
    case TRunKind::Interactive:
      return name == "log" || name == "saveanswers" ? "" : "takes effect only with the unattended switch";
    case TRunKind::UnattendedUninstall:
      return name == "log" ? "" : "has no meaning when removing (only log= does)";
    case TRunKind::UnattendedInstall:
      return name == "saveanswers" ? "only an interactive run saves its answers" : "";
  }
  return "";
}

TArgumentError ReadComponents(const TSetting& setting, TUnattendedOptions& options) {
  const std::vector<std::string> items = ListItems(setting.Value);
  TComponentChecks checks{};
  checks[0] = true;
  if (!(items.size() == 1 && items[0] == "none")) {
    for (const std::string& item : items) {
      const auto* found = std::find_if(std::begin(kComponentNames) + 1, std::end(kComponentNames),
                                       [&](const char* name) { return item == name; });
      if (found == std::end(kComponentNames))
        return Refuse(setting, "unknown component \"" + item + "\" (known: webmail, antispam, antivirus, im, groupware, or none)");
      checks[found - std::begin(kComponentNames)] = true;
    }
  }
  options.ComponentsGiven = true;
  options.Components = checks;
  return {};
}

TArgumentError ReadFinish(const TSetting& setting, TUnattendedOptions& options) {
  const std::vector<std::string> items = ListItems(setting.Value);
  options.Finish = TFinishChoices{};
  if (items.size() == 1 && items[0] == "none") return {};
  for (const std::string& item : items) {
    bool* flag = FinishFlag(options.Finish, item);
    if (flag == nullptr)
      return Refuse(setting, "unknown finish action \"" + item + "\" (known: readme, releasenotes, tutorial, config, antivirus, or none)");
    *flag = true;
  }
  return {};
}

TArgumentError ReadOne(const TSetting& setting, TUnattendedOptions& options) {
  const std::string& name = setting.Name;
  const std::string value = TrimText(setting.Value);
  const std::string lower = LowerCase(value);
  if (name == "dir") {
    if (!IsAcceptableFolder(value)) return Refuse(setting, "not an absolute folder (a drive letter and \\, or \\\\server\\share\\)");
    options.Dir = value;
  } else if (name == "components") {
    return ReadComponents(setting, options);
  } else if (name == "mode") {
    if (lower != "advanced" && lower != "basic") return Refuse(setting, "must be advanced or basic");
    options.Advanced = lower == "advanced";
  } else if (name == "hostname") {
    // The first-run page's own check, in its words.
    if (const TFirstRunProblem problem = HostNameProblem(value)) return RefuseFirstRun(setting, problem);
    options.HostName = value;
  } else if (name == "domain") {
    if (const TFirstRunProblem problem = DomainNameProblem(value)) return RefuseFirstRun(setting, problem);
    options.Domain = value;
  } else if (name == "admin") {
    std::string user = value;
    CutUserAtSign(user);  // as the page does when an address is typed
    if (TrimText(user).empty()) return Refuse(setting, "no user name before the \"@\"");
    if (const TFirstRunProblem problem = UserNameProblem(user)) return RefuseFirstRun(setting, problem);
    options.Admin = TrimText(user);
  } else if (name == "password-file") {
    options.PasswordFile = value;
  } else if (name == "finish") {
    return ReadFinish(setting, options);
  } else if (name == "allowdowngrade") {
    if (lower != "yes" && lower != "no") return Refuse(setting, "must be yes or no");
    options.AllowDowngrade = lower == "yes";
  } else if (name == "checkversion" || name == "deletepasswordfile") {
    if (lower != "yes" && lower != "no") return Refuse(setting, "must be yes or no");
    (name == "checkversion" ? options.CheckVersion : options.DeletePasswordFile) = lower == "yes";
  } else if (name == "answers") {
    if (setting.Origin != "command line") return Refuse(setting, "an answers file cannot name another one");
    options.Answers = value;
  } else if (name == "saveanswers") {
    options.SaveAnswers = value;
  } else if (name == "log") {
    // The log is open before the answers file is read, so that its refusals are on record.
    if (setting.Origin != "command line") return Refuse(setting, "the log is given on the command line only");
    options.Log = value;
  }
  return {};
}

// hostname=, domain=, admin= and password-file= come together or not at all.
TArgumentError CheckFirstRunComplete(const std::vector<TSetting>& settings) {
  std::vector<std::string> given;
  for (const TSetting& setting : settings)
    if (std::find(std::begin(kFirstRunNames), std::end(kFirstRunNames), setting.Name) != std::end(kFirstRunNames))
      given.push_back(setting.Name);
  if (given.empty()) return {};
  for (const char* name : kFirstRunNames)
    if (std::find(given.begin(), given.end(), name) == given.end())
      return {std::string(name) + "=", "missing: the first-run values hostname=, domain=, admin= and password-file= come together"};
  return {};
}

std::string ParentFolder(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The folder may not exist yet, but what exists of its path must be folders, down from a
// drive or share that is there.
std::string FolderProblem(const std::string& folder, const TOptionFiles& files) {
  std::string path = folder;
  while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  for (;;) {
    if (path.empty()) return "its drive or share does not exist";
    if (files.DirectoryExists(path + "\\")) return "";
    if (files.FileExists(path)) return path + " is a file";
    const std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos) return "its drive or share does not exist";
    path.erase(slash);
  }
}

}  // namespace

TArgumentError ParseAnswersText(const std::string& text, const std::string& fileName, std::vector<TSetting>& settings) {
  int number = 0;
  for (const std::string& raw : Split(text, '\n')) {
    ++number;
    std::string line = raw;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string trimmed = TrimText(line);
    if (trimmed.empty() || trimmed[0] == '#' || trimmed[0] == ';') continue;
    const std::string origin = "answers file " + fileName + ", line " + std::to_string(number);
    const std::size_t equals = trimmed.find('=');
    if (equals == std::string::npos || equals == 0) return {trimmed + " (" + origin + ")", "not a name=value line"};
    settings.push_back({LowerCase(TrimText(trimmed.substr(0, equals))), TrimText(trimmed.substr(equals + 1)), origin});
  }
  return {};
}

std::vector<TSetting> MergeSettings(const std::vector<TSetting>& fromFile, const std::vector<TSetting>& fromCommandLine) {
  std::vector<TSetting> merged;
  for (const TSetting& setting : fromFile) {
    const bool overridden = std::any_of(fromCommandLine.begin(), fromCommandLine.end(),
                                        [&](const TSetting& given) { return given.Name == setting.Name; });
    if (!overridden) merged.push_back(setting);
  }
  merged.insert(merged.end(), fromCommandLine.begin(), fromCommandLine.end());
  return merged;
}

TArgumentError InterpretSettings(const std::vector<TSetting>& settings, TRunKind kind, TUnattendedOptions& options) {
  for (const TSetting& setting : settings) {
    // The value is not repeated: the refusal goes to the log and the console.
    if (setting.Name == "password")
      return {"password= (" + setting.Origin + ")",
              "a password is never given as a setting, where others can read it: use password-file="};
    if (!IsKnownSettingName(setting.Name)) return Refuse(setting, "unknown setting");
    if (const std::string refusal = RefusalForKind(setting.Name, kind); !refusal.empty()) return Refuse(setting, refusal);
    if (TrimText(setting.Value).empty()) return Refuse(setting, "no value");
    if (const TArgumentError error = ReadOne(setting, options)) return error;
  }
  return CheckFirstRunComplete(settings);
}

TArgumentError ReadAnswersFile(const std::string& path, const TOptionFiles& files, std::vector<TSetting>& settings) {
  std::string text;
  if (!files.FileExists(path)) return {"answers=" + path, "cannot be read: there is no such file"};
  // Taken as empty, it would install with every default.
  if (!files.ReadFile(path, text))
    return {"answers=" + path, "cannot be read: the file exists, but could not be opened (held by another program, or "
                               "no right to read it)"};
  settings.clear();
  return ParseAnswersText(text, path, settings);
}

namespace {

// A UTF-16 text of the given byte order, the mark already taken off; false when the bytes
// are no whole number of units.
bool DecodeUtf16(const std::string& bytes, bool bigEndian, std::u16string& text) {
  if (bytes.size() % 2 != 0) return false;
  text.clear();
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    text.push_back(static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
  }
  return true;
}

template <typename Text>
Text FirstLineOf(const Text& text) {
  std::size_t end = 0;
  while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
  return text.substr(0, end);
}

bool StartsWith(const std::string& bytes, const char* mark, std::size_t length) {
  return bytes.size() >= length && bytes.compare(0, length, mark, length) == 0;
}

// The first line of a password file as its encoding reads it.
struct TFirstLine {
  std::string Problem;  // why the bytes are no text of the kind their mark names; empty when read
  bool Unicode = false;  // true: Utf16 holds the line; false: Ansi holds its bytes as they stand
  std::u16string Utf16;
  std::string Ansi;
};

TFirstLine ReadFirstLine(const std::string& bytes) {
  TFirstLine line;
  if (StartsWith(bytes, "\xFF\xFE", 2) || StartsWith(bytes, "\xFE\xFF", 2)) {
    std::u16string text;
    if (!DecodeUtf16(bytes.substr(2), bytes[0] == '\xFE', text)) line.Problem = "it is no whole UTF-16 text";
    line.Unicode = true;
    line.Utf16 = FirstLineOf(text);
    return line;
  }
  const bool marked = StartsWith(bytes, "\xEF\xBB\xBF", 3);
  // Line ends are the same bytes in UTF-8 and in the ANSI code page.
  const std::string first = FirstLineOf(marked ? bytes.substr(3) : bytes);
  const std::u16string decoded = DecodeUtf8(first);
  // Only what decodes and encodes back to the same bytes is UTF-8; without a mark, anything
  // else is a file in the ANSI code page.
  line.Unicode = EncodeUtf8(decoded) == first;
  if (line.Unicode) {
    line.Utf16 = decoded;
  } else if (marked) {
    line.Problem = "it starts with the UTF-8 mark but is no UTF-8 text";
  } else {
    line.Ansi = first;
  }
  return line;
}

}  // namespace

std::string PasswordFromFileBytes(const std::string& bytes, std::string& password) {
  TFirstLine line = ReadFirstLine(bytes);
  if (!line.Problem.empty()) return line.Problem;
  if (line.Unicode) {
    line.Ansi = Utf16ToAnsi(line.Utf16);
    // A character the code page lacks comes back as "?" or a look-alike: another password.
    if (AnsiToUtf16(line.Ansi) != line.Utf16)
      return "its first line holds characters the ANSI code page of this system lacks, and the store keeps the "
             "password in it";
  }
  if (line.Ansi.find('\0') != std::string::npos)
    return "its first line holds a NUL character, at which the store would end the password";
  if (const TFirstRunProblem problem = PasswordProblem(line.Ansi)) return "its first line is too long: " + problem.Text;
  password = line.Ansi;
  return "";
}

TArgumentError CheckOptions(TUnattendedOptions& options, const TOptionFiles& files, std::string& password) {
  if (!options.Dir.empty()) {
    if (const std::string problem = FolderProblem(options.Dir, files); !problem.empty())
      return {"dir=" + options.Dir, "cannot be installed into: " + problem};
  }
  if (options.HasFirstRunValues()) {
    std::string bytes;
    std::string line;
    if (!files.FileExists(options.PasswordFile) || !files.ReadFile(options.PasswordFile, bytes))
      return {"password-file=" + options.PasswordFile, "cannot be read"};
    if (const std::string problem = PasswordFromFileBytes(bytes, line); !problem.empty())
      return {"password-file=" + options.PasswordFile, problem};
    if (!TutorialFieldsComplete(options.HostName, options.Domain, options.Admin, line, line))
      return {"password-file=" + options.PasswordFile, "its first line is blank"};
    password = line;
  }
  if (!options.SaveAnswers.empty()) {
    const std::string folder = ParentFolder(options.SaveAnswers);
    if (files.DirectoryExists(options.SaveAnswers + "\\")) return {"saveanswers=" + options.SaveAnswers, "is a folder"};
    if (folder.empty() || !files.DirectoryExists(folder))
      return {"saveanswers=" + options.SaveAnswers, "its folder does not exist"};
  }
  return {};
}

std::string FormatAnswers(const TSetupState& state, const TFinishChoices& finish) {
  std::vector<std::string> components;
  const TComponentChecks checks = ComponentChecks(state);
  for (int item = 1; item < kComponentCount; ++item)
    if (checks[item]) components.push_back(kComponentNames[item]);
  std::vector<std::string> actions;
  TFinishChoices copy = finish;
  for (const char* name : kFinishNames)
    if (*FinishFlag(copy, name)) actions.push_back(name);

  std::string text = "# Saved by the setup " + std::string(ProductVersion) +
                     ". Replay: setup.exe /unattended /answers=<this file> (with /password-file= for the first run)\r\n";
  text += "dir=" + state.ChosenFolder + "\r\n";
  text += "components=" + Joined(components) + "\r\n";
  text += std::string("mode=") + (state.AdvancedConsole ? "advanced" : "basic") + "\r\n";
  if (!state.FirstRunDomain.empty()) {
    text += "hostname=" + state.FirstRunHostName + "\r\n";
    text += "domain=" + state.FirstRunDomain + "\r\n";
    text += "admin=" + state.FirstRunAdministrator + "\r\n";
  }
  text += "finish=" + Joined(actions) + "\r\n";
  return text;
}
