#include <windows.h>

#include "app/UnattendedRun.h"

#include <atomic>

#include "app/StartupSequence.h"
#include "app/UnattendedOptions.h"
#include "base/FileSystemUnit.h"
#include "base/StringUnit.h"
#include "base/TextFormat.h"
#include "engine/ExitCodes.h"
#include "engine/FailureUnit.h"
#include "engine/FirstRunUnit.h"
#include "engine/InstallLog.h"
#include "engine/InstallSequence.h"
#include "engine/InstallUI.h"
#include "engine/ProgramEnd.h"
#include "engine/SetupState.h"
#include "net/VersionCheckUnit.h"
#include "texts/TextTable.h"
#include "wizard/FinishUnit.h"
#include "wizard/WizardLogic.h"

namespace {

// Where the phase and result lines go: output the caller redirected (the pipe of a remote
// shell, a file), else the console of the process that started the setup.
class TConsole {
 public:
  void Open() {
    if (opened_) return;
    opened_ = true;
    HANDLE standard = GetStdHandle(STD_OUTPUT_HANDLE);
    const DWORD type =
        standard != nullptr && standard != INVALID_HANDLE_VALUE ? GetFileType(standard) : FILE_TYPE_UNKNOWN;
    if (type == FILE_TYPE_PIPE || type == FILE_TYPE_DISK) {
      Use(standard, "the standard output handle (type " + std::to_string(type) + ")");
      return;
    }
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
      HANDLE console = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
      if (console != INVALID_HANDLE_VALUE) Use(console, "CONOUT$ of the parent's console");
      return;
    }
    const DWORD error = GetLastError();
    if (type == FILE_TYPE_CHAR) {
      Use(standard, "the standard output handle (a character device; AttachConsole error " + std::to_string(error) + ")");
      return;
    }
    how_ = "none (no redirected output, AttachConsole error " + std::to_string(error) + ")";
  }

  void Line(const std::string& text) {
    if (out_ == nullptr) return;
    const std::string line = text + "\r\n";
    DWORD written = 0;
    WriteFile(out_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }

  const std::string& How() const { return how_; }

 private:
  void Use(HANDLE handle, const std::string& how) {
    out_ = handle;
    how_ = how;
  }
  bool opened_ = false;
  HANDLE out_ = nullptr;
  std::string how_;
};

TConsole& Console() {
  static TConsole console;
  return console;
}

std::string FirstLine(const std::string& text) {
  const std::size_t end = text.find_first_of("\r\n");
  return end == std::string::npos ? text : text.substr(0, end);
}

// Ctrl+C or Ctrl+Break in the console the setup shares, or the console closing: by default the
// process would end on the spot, in the middle of the installation with its servers stopped.
// Taken as a confirmed Cancel instead: the sequence stops at its next step and puts them back.
std::atomic<bool> consoleCancel{false};

BOOL WINAPI OnConsoleControl(DWORD) {
  consoleCancel = true;
  return TRUE;
}

// Nobody is in front of the setup: the status texts become console lines, each box is
// answered from the table and reported there.
class TUnattendedUI final : public TInstallUI {
 public:
  bool AllowDowngrade = false;

  // One line per phase: the per-file texts span lines, and a phase may be announced twice.
  void SetStatus(const std::string& text) override {
    if (text.find_first_of("\r\n") != std::string::npos || text == lastStatus_) return;
    lastStatus_ = text;
    Console().Line(text);
  }
  void StepProgress() override {}
  void ProcessMessages() override {}
  bool CancelRequested() override { return consoleCancel; }
  MessageAnswer ShowMessage(const std::string& caption, const std::string& text, MessageButtons buttons,
                            MessageIcon) override {
    const std::string opening = FormatText(cInstallQ, {cName + " " + ProductVersion});
    const MessageAnswer answer = UnattendedAnswer(buttons, text, opening, AllowDowngrade);
    Console().Line(caption + ": " + FirstLine(text) + " -> " + MessageAnswerName(answer));
    // The run ends well although nothing was installed: the console says why.
    if (buttons == MessageButtons::YesNoDefaultNo && answer == MessageAnswer::No)
      Console().Line("Nothing was changed: version " + SetupState().InstalledVersion +
                     " is installed (allowdowngrade=yes installs over it)");
    return answer;
  }

 private:
  std::string lastStatus_;
};

TUnattendedUI& UnattendedUI() {
  static TUnattendedUI ui;
  return ui;
}

const char* ExitMeaning(int code) {
  switch (code) {
    case kExitSuccess: return "done";
    case kExitFatalError: return "failed (error box logged)";
    case kExitCancelledDuringInstall: return "cancelled during the installation";
    case kExitInstallException: return "failed on an unexpected error";
    case kExitRestartTimedOut: return "the server did not stop in time";
    case kExitBadArguments: return "bad arguments, nothing changed";
    default: return "ended";
  }
}

void PrintResult(int code) {
  Console().Line(std::string("Result: ") + ExitMeaning(code) + " (exit code " + std::to_string(code) + ")");
}

[[noreturn]] void Refuse(const TArgumentError& error) {
  Console().Open();
  InstallLog("Bad argument: " + error.Text());
  Console().Line("Bad argument: " + error.Text());
  EndProgram(kExitBadArguments);
}

// The log where log= asks, else the usual new one; a log= that cannot be written is refused
// (in the usual log, so the refusal is on record).
void StartLog(const std::vector<TSetting>& settings) {
  std::string path;
  for (const TSetting& setting : settings) {
    if (setting.Name == "log") path = TrimText(setting.Value);
    // Refused below, but already in the command line the log's header repeats.
    if (setting.Name == "password") AddLogSecret(setting.Value);
  }
  if (!path.empty() && !StartInstallLogFile(SystemLogHeader(), path).empty()) return;
  StartInstallLog(SystemLogHeader());
  if (!path.empty()) Refuse({"log=" + path, "the log cannot be written there"});
}

TOptionFiles RealFiles() {
  TOptionFiles files;
  files.DirectoryExists = [](const std::string& path) { return DirectoryExists(path); };
  files.FileExists = [](const std::string& path) { return FileExists(path); };
  files.ReadFirstLine = [](const std::string& path, std::string& line) {
    if (!FileExists(path)) return false;
    try {
      return PasswordFileLine(ReadWholeFile(path, false), line);
    } catch (...) {
      return false;
    }
  };
  return files;
}

// The command line's settings over those of answers=; refused ones end the run.
TUnattendedOptions ReadOptions(const TCommandLine& commandLine, TRunKind kind, std::string& password) {
  std::vector<TSetting> fromFile;
  for (const TSetting& setting : commandLine.Settings) {
    if (setting.Name != "answers" || kind == TRunKind::Interactive) continue;
    const std::string path = TrimText(setting.Value);
    std::string text;
    try {
      if (!FileExists(path)) throw 0;
      text = ReadWholeFile(path, false);
    } catch (...) {
      Refuse({"answers=" + path, "cannot be read"});
    }
    fromFile.clear();
    if (const TArgumentError error = ParseAnswersText(text, path, fromFile)) Refuse(error);
    InstallLog("Answers read from " + path);
  }
  TUnattendedOptions options;
  if (const TArgumentError error = InterpretSettings(MergeSettings(fromFile, commandLine.Settings), kind, options))
    Refuse(error);
  if (const TArgumentError error = CheckOptions(options, RealFiles(), password)) Refuse(error);
  return options;
}

// Words that start something else than an installation or a removal.
void RefuseOtherActions(const TCommandLine& commandLine) {
  if (commandLine.ExportLanguage) Refuse({"exportlanguage", "not an action of an unattended run"});
  if (commandLine.Restart) Refuse({"restart", "not an action of an unattended run"});
  if (commandLine.RunsWizard() || commandLine.First == TFirstWord::Uninstall) return;
  for (const std::string& word : commandLine.Words) {
    if (IsSwitch(word, "unattended") || IsSettingWord(word)) continue;
    Refuse({word, "not an action of an unattended run (/UNINSTALL removes, no action word installs)"});
  }
}

// What the pages would have taken from the person.
void ApplyOptions(const TUnattendedOptions& options, const std::string& offeredFolder) {
  TSetupState& state = SetupState();
  state.ChosenFolder = options.Dir.empty() ? offeredFolder : options.Dir;
  // Only a damaged registry offers such a folder; the start-up has run, so this is no refusal
  // of the arguments that changed nothing.
  if (!IsAcceptableFolder(state.ChosenFolder))
    EndWithFailure({TFailureKind::Fatal, "Choosing the installation folder",
                    FormatText(cFolderNotAbsolute, {state.ChosenFolder}), 0});
  if (options.ComponentsGiven) StoreComponentChecks(options.Components, state);
  state.AdvancedConsole = options.Advanced;
  UnattendedUI().AllowDowngrade = options.AllowDowngrade;
  std::string components;
  const TComponentChecks checks = ComponentChecks(state);
  for (int item = 1; item < kComponentCount; ++item)
    components += std::string(checks[item] ? "+" : "-") + std::to_string(item);
  InstallLog("Unattended choices: folder " + state.ChosenFolder + ", components " + components + ", console " +
             (state.AdvancedConsole ? "advanced" : "basic"));
}

// Page 1's check; a newer version is never downloaded (the box is answered No).
void CheckNewerVersion() {
  const TNewVersion latest = CheckNewVersion(SetupState().ProductsXmlUrl, kProductCode);
  InstallLog("New-version check: " + (latest.Found ? latest.Version : std::string("nothing found")));
  if (!ShouldOfferNewerVersion(latest.Found, latest.Version)) return;
  CurrentUI().ShowMessage(cQuestion, FormatText(cNewerVersion, {"Zarel Mail Server", latest.Version}),
                          MessageButtons::YesNoCancel, MessageIcon::Question);
}

void RunFirstRun(const TUnattendedOptions& options, const std::string& password) {
  TSetupState& state = SetupState();
  if (!options.HasFirstRunValues()) return;
  if (state.IsUpgrade) {
    InstallLog("First-run values left unused: the first run belongs to the first installation");
    Console().Line("First-run values left unused: this was an upgrade");
    return;
  }
  Console().Line("First-run configuration: domain " + options.Domain + ", administrator " + options.Admin);
  state.FirstRunHostName = options.HostName;
  state.FirstRunDomain = options.Domain;
  state.FirstRunAdministrator = options.Admin;
  RunOrEnd("The first-run configuration",
           [&] { ApplyTutorialSettings(options.HostName, options.Domain, options.Admin, password); });
}

void WriteAnswers(const std::string& path, const TFinishChoices& finish) {
  try {
    WriteWholeFile(FormatAnswers(SetupState(), finish), path, false);
    InstallLog("Answers saved in " + path);
  } catch (...) {
    InstallLog("The answers could not be saved in " + path);
    CurrentUI().ShowMessage("Warning", "The answers could not be saved in " + path, MessageButtons::Ok,
                            MessageIcon::Warning);
  }
}

}  // namespace

void RunUnattended(const TCommandLine& commandLine) {
  Console().Open();
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  SetProgramEndNotice(PrintResult);
  StartLog(commandLine.Settings);
  SetLoggedCurrentUI(&UnattendedUI());
  InstallLog("Unattended run; console: " + Console().How());
  Console().Line(cName + " " + ProductVersion + " unattended setup; log: " + InstallLogPath());

  // Everything is checked before anything on the machine changes.
  RefuseOtherActions(commandLine);
  const bool removing = commandLine.First == TFirstWord::Uninstall;
  std::string password;
  const TUnattendedOptions options =
      ReadOptions(commandLine, removing ? TRunKind::UnattendedUninstall : TRunKind::UnattendedInstall, password);
  AddLogSecret(password);
  Console().Line(removing ? "Removing" : "Arguments accepted");

  // The start-up as the wizard has it; a removal ends inside it.
  const std::string offered = RunStartup(nullptr, commandLine);
  ApplyOptions(options, offered);
  CheckNewerVersion();
  const bool upgrade = DirectoryExists(NormalizePath(SetupState().ChosenFolder, true, false) + "config\\");
  Console().Line(std::string(upgrade ? "Upgrading " : "Installing into ") + SetupState().ChosenFolder);
  RunOrEnd("The install sequence", InstallSequence);
  RunFirstRun(options, password);
  const std::vector<TFinishStep> steps =
      PlanFinishActions(options.Finish, SetupState().InstallDir, [](const std::string& path) { return FileExists(path); });
  if (!steps.empty()) Console().Line("Finish actions: " + std::to_string(steps.size()));
  FinishActions(options.Finish, nullptr);
}

void PrepareInteractiveRun(const TCommandLine& commandLine) {
  if (commandLine.Settings.empty()) return;
  // The console is attached only to say why the settings were refused: the wizard sharing it
  // would end with it.
  StartLog(commandLine.Settings);
  std::string password;
  const TUnattendedOptions options = ReadOptions(commandLine, TRunKind::Interactive, password);
  if (options.SaveAnswers.empty()) return;
  InstallLog("The answers of this run will be saved in " + options.SaveAnswers);
  SetFinishObserver([path = options.SaveAnswers](const TFinishChoices& finish) { WriteAnswers(path, finish); });
}
