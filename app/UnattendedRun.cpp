#include <windows.h>

#include "app/UnattendedRun.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "app/StartupSequence.h"
#include "app/UnattendedOptions.h"
#include "base/FileSystemUnit.h"
#include "base/StringUnit.h"
#include "base/TextFormat.h"
#include "engine/DestinationCheck.h"
#include "engine/ExitCodes.h"
#include "engine/FailureUnit.h"
#include "engine/FinishActions.h"
#include "engine/FirstRunUnit.h"
#include "engine/InstallLog.h"
#include "engine/InstallSequence.h"
#include "engine/InstallUI.h"
#include "engine/NewVersionOffer.h"
#include "engine/ProgramEnd.h"
#include "engine/SetupCore.h"
#include "engine/SetupQuestions.h"
#include "engine/SetupState.h"
#include "system/FolderSecurity.h"
#include "texts/TextTable.h"

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

// A box on the console: "caption: first line -> answer", then each further line of its text
// indented on a line of its own, so the reason a box gives (the file, the servers, the system's
// words) reaches whoever reads the console and not only the log.
std::vector<std::string> BoxLines(const TMessageBox& box, MessageAnswer answer) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from <= box.Text.size()) {
    const std::size_t end = std::min(box.Text.find_first_of("\r\n", from), box.Text.size());
    const std::string line = box.Text.substr(from, end - from);
    if (lines.empty())
      lines.push_back(box.Caption + ": " + line + " -> " + MessageAnswerName(answer));
    else if (!line.empty())
      lines.push_back("  " + line);
    from = end + 1;
  }
  return lines;
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
// answered from the question table by its identity and reported there.
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
  MessageAnswer ShowMessage(const TMessageBox& box) override {
    const MessageAnswer answer = UnattendedAnswer(box.Question, AllowDowngrade);
    for (const std::string& line : BoxLines(box, answer)) Console().Line(line);
    // The run ends well although nothing was installed: the console says why.
    if (box.Question == TQuestion::Downgrade && answer == MessageAnswer::No)
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
    case kExitServersNotRunning: return "installed, but these servers are not running";
    default: return "ended";
  }
}

void PrintResult(int code) {
  std::string servers;
  if (code == kExitServersNotRunning)
    for (const std::string& name : SetupState().ServersNotRunning) servers += (servers.empty() ? ": " : ", ") + name;
  Console().Line(std::string("Result: ") + ExitMeaning(code) + servers + " (exit code " + std::to_string(code) + ")");
}

[[noreturn]] void Refuse(const TArgumentError& error) {
  Console().Open();
  InstallLog("Bad argument: " + error.Text());
  Console().Line("Bad argument: " + MaskLogSecrets(error.Text()));
  EndProgram(kExitBadArguments);
}

// The log where log= asks, else the usual new one; a log= that cannot be written is refused
// (in the usual log, so the refusal is on record).
void StartLog(const std::vector<TSetting>& settings) {
  std::string path;
  for (const TSetting& setting : settings) {
    if (setting.Name == "log") path = TrimText(setting.Value);
    // Refused below (also when mistyped), but already in the command line the log's header repeats.
    if (IsSecretSettingName(setting.Name)) AddLogSecret(setting.Value);
  }
  if (!path.empty() && !StartInstallLogFile(SystemLogHeader(), path).empty()) return;
  StartInstallLog(SystemLogHeader());
  if (!path.empty()) Refuse({"log=" + path, "the log cannot be written there"});
}

TOptionFiles RealFiles() {
  TOptionFiles files;
  files.DirectoryExists = [](const std::string& path) { return DirectoryExists(path); };
  files.FileExists = [](const std::string& path) { return FileExists(path); };
  files.ReadFile = [](const std::string& path, std::string& bytes) { return ReadWholeFileChecked(path, bytes); };
  return files;
}

// The destination page's check: a folder whose parent is missing, or a place others could
// change or have prepared, is refused as a bad argument (nothing has been installed).
void RefuseUnsafeDestination(const std::string& folder) {
  const TFolderVerdict verdict = JudgeFolder(folder, MachineDestinationFacts());
  if (verdict) return;
  Refuse({"dir=" + folder, verdict.Kind == TFolderVerdictKind::NotAbsolute
                               ? "not an absolute folder"
                               : "cannot be installed into: " + verdict.Problem});
}

// The folder offered without dir= (the earlier installation's, else the default one), judged
// as the destination page judges it. Only a damaged registry offers one that is no full path or
// whose parent is gone: the start-up has run, so that is no refusal of the arguments, but the
// failure of the run before its first step.
void AcceptOfferedFolder(const std::string& folder) {
  const TFolderVerdict verdict = JudgeFolder(folder, MachineDestinationFacts());
  switch (verdict.Kind) {
    case TFolderVerdictKind::Accepted: return;
    case TFolderVerdictKind::NotAbsolute:
      EndWithFailure({TFailureKind::Fatal, "Choosing the installation folder", FormatText(cFolderNotAbsolute, {folder}), 0});
    case TFolderVerdictKind::MissingParent:
      EndWithFailure({TFailureKind::Fatal, "Choosing the installation folder", cErrorDir + folder + "\r\n" + verdict.Problem, 0});
    case TFolderVerdictKind::Refused:
      Refuse({"dir=" + folder + " (the folder offered without dir=)", "cannot be installed into: " + verdict.Problem});
  }
}

// The administrator's password: a file that anyone but SYSTEM, Administrators and its owner may
// read or replace is refused before it is read.
void RefuseExposedPasswordFile(const std::string& path) {
  if (path.empty() || !FileExists(path)) return;  // the reading says what is wrong with it
  const std::vector<std::string> findings = FindSecretFileExposure(path);
  if (findings.empty()) return;
  Refuse({"password-file=" + path,
          "others could read or replace it (" + findings.front() +
              "); make it with: icacls FILE /inheritance:r /grant:r *S-1-5-32-544:F *S-1-5-18:F"});
}

// The command line's settings over those of answers=; refused ones end the run.
TUnattendedOptions ReadOptions(const TCommandLine& commandLine, TRunKind kind, std::string& password) {
  std::vector<TSetting> fromFile;
  for (const TSetting& setting : commandLine.Settings) {
    if (setting.Name != "answers" || kind == TRunKind::Interactive) continue;
    const std::string path = TrimText(setting.Value);
    if (const TArgumentError error = ReadAnswersFile(path, RealFiles(), fromFile)) Refuse(error);
    InstallLog("Answers read from " + path);
  }
  TUnattendedOptions options;
  if (const TArgumentError error = InterpretSettings(MergeSettings(fromFile, commandLine.Settings), kind, options))
    Refuse(error);
  RefuseExposedPasswordFile(options.PasswordFile);
  if (const TArgumentError error = CheckOptions(options, RealFiles(), password)) Refuse(error);
  if (!options.Dir.empty()) RefuseUnsafeDestination(options.Dir);
  return options;
}

// Read by the setup and no longer needed: the administrator's password should not stay on disk.
void OfferToDeletePasswordFile(const TUnattendedOptions& options) {
  if (options.PasswordFile.empty()) return;
  if (!options.DeletePasswordFile) {
    Console().Line("The password file " + options.PasswordFile +
                   " has been read: delete it once the run is over (deletepasswordfile=yes deletes it at once)");
    return;
  }
  const bool deleted = DeleteFileAt(options.PasswordFile);
  InstallLog((deleted ? "Password file deleted: " : "Password file not deleted: ") + options.PasswordFile);
  Console().Line((deleted ? "Password file deleted: " : "The password file could not be deleted: ") +
                 options.PasswordFile);
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
void ApplyOptions(const TUnattendedOptions& options, const TStartupFacts& facts) {
  TSetupState& state = SetupState();
  state.ChosenFolder = options.Dir.empty() ? facts.OfferedFolder : options.Dir;
  // dir= was judged with the other settings; before the servers are stopped, not when the
  // folder is made.
  if (options.Dir.empty()) AcceptOfferedFolder(state.ChosenFolder);
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

void RunFirstRun(const TUnattendedOptions& options, const std::string& password) {
  TSetupState& state = SetupState();
  if (!options.HasFirstRunValues()) return;
  if (!FirstRunBelongsToThisRun(state)) {
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
  // Never through a link or a second name planted where the answers go.
  if (WritePrivateFile(FormatAnswers(SetupState(), finish), path)) {
    InstallLog("Answers saved in " + path);
    return;
  }
  Notify(TQuestion::AnswersNotSaved, {path});
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
  OfferToDeletePasswordFile(options);
  Console().Line(removing ? "Removing" : "Arguments accepted");

  // The start-up as the wizard has it; a removal ends inside it.
  const TStartupFacts facts = RunStartup(commandLine);
  if (!facts.Recovery.empty()) Console().Line(facts.Recovery);
  ApplyOptions(options, facts);
  // Page 1's check, only when asked for; a newer version is never downloaded (the question
  // table answers No).
  if (options.CheckVersion) OfferNewerVersion(CheckForNewerVersion());
  const std::string chosen = NormalizePath(SetupState().ChosenFolder, true, false);
  const std::string& unfinished = SetupState().UnfinishedInstallation;
  const bool upgrade = DirectoryExists(chosen + "config\\") &&
                       !(!unfinished.empty() && SameText(NormalizePath(unfinished, true, false), chosen));
  Console().Line(std::string(upgrade ? "Upgrading " : "Installing into ") + SetupState().ChosenFolder);
  RunOrEnd("The install sequence", InstallSequence);
  RunFirstRun(options, password);
  const std::vector<TFinishStep> steps =
      PlanFinishActions(options.Finish, SetupState().InstallDir, [](const std::string& path) { return FileExists(path); });
  if (!steps.empty()) Console().Line("Finish actions: " + std::to_string(steps.size()));
  // The warning was answered, nobody read it: the exit code says it.
  const std::vector<std::string>& notRunning = SetupState().ServersNotRunning;
  if (!notRunning.empty()) InstallLog("Servers not running after the installation: " + std::to_string(notRunning.size()));
  FinishActions(options.Finish, nullptr, FinishExitCode(SetupState(), true));
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
