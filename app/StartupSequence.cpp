#include <windows.h>

#include "app/StartupSequence.h"

#include "app/OneShotCommands.h"
#include "app/StartupUnit.h"
#include "base/FileSystemUnit.h"
#include "base/TextFormat.h"
#include "engine/ComponentFlags.h"
#include "engine/ExitCodes.h"
#include "engine/FailureUnit.h"
#include "engine/FirstRunUnit.h"
#include "engine/InstallLog.h"
#include "engine/InstallUI.h"
#include "engine/NetStoreLink.h"
#include "engine/ProgramEnd.h"
#include "engine/SetupState.h"
#include "serverconfig/DatabaseLibrary.h"
#include "serverconfig/ServerStore.h"
#include "system/AdvancedRegistry.h"
#include "system/ConvertRegistryUnit.h"
#include "system/ServerTable.h"
#include "texts/TextTable.h"
#include "wizard/MainForm.h"
#include "wizard/TranslateUnit.h"

namespace {

// The suite's own key; start-up re-points it for two single reads and back.
constexpr char kSuiteArea[] = "\\Software\\Quenfor";
constexpr char kSuiteSection[] = "Zarel Mail Server";

TAdvancedRegistry& PathRegistry() {
  static TAdvancedRegistry registry(TRegistryKey::hkLOCAL_MACHINE, "\\Software", "Zarel");
  return registry;
}

void PointAtSuiteKey() {
  PathRegistry().SetRegistryArea(kSuiteArea);
  PathRegistry().SetRegistrySection(kSuiteSection);
}

// Edit controls want CR LF; License.txt may come with bare LF.
std::string WithCrLf(const std::string& text) {
  std::string result;
  result.reserve(text.size() + text.size() / 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) result += '\r';
    result += text[i];
  }
  return result;
}

std::string SystemFolder() {
  char systemFolder[MAX_PATH + 1] = {};
  const UINT length = GetSystemDirectoryA(systemFolder, MAX_PATH);
  return SystemFolderText(length > 0 && length <= MAX_PATH ? std::string(systemFolder, length) : std::string(),
                          SetupFolder());
}

void SetCaptions(TMainForm& form) {
  form.Model().SetCaption(FormatText(cPSetup, {cName, ProductVersion}).substr(0, 255));
  TControl& about = form.Control("AboutLabel");
  if (about.Caption.find("%s") != std::string::npos) about.SetCaption(FormatText(about.Caption, {ProductVersion}));
}

void LoadLicence(TMainForm& form) {
  const std::string licensePath = SetupFolder() + "License.txt";
  if (!FileExists(licensePath)) return;
  try {
    form.Control("LicenseMemo").SetCaption(WithCrLf(ReadWholeFile(licensePath, false)));
  } catch (...) {
    form.Control("LicenseMemo").SetCaption("");
  }
}

// The earlier installation's folder and settings, or the default folder
// (destinationLabel: the destination's design text, "Zarel\").
std::string ReadEarlierInstallation(TMainForm* form, const std::string& destinationLabel) {
  TSetupState& state = SetupState();
  try {
    const std::string installDir = PathRegistry().ReadString("InstallDir");
    if (!installDir.empty()) {
      state.InstallDir = installDir;
      SetServerFolder(installDir);
      if (form != nullptr) form->Control("SetupTypeLabel").SetCaption(cUpdateSetup);
      state.ConfigDir = installDir + "config\\";
      InitServerFoldersAt(installDir);
      SetConfigFolder(state.ConfigDir);
      LoadServerSettings(false, false);
      // Loading may open the account database; its files must not stay open meanwhile.
      CloseAccountDatabase();
      state.OlderThan534 = IsOlderThan534(state.InstalledVersion);
      return installDir;
    }
  } catch (...) {
  }
  PathRegistry().SetRegistryArea("\\Software\\Microsoft\\Windows");
  PathRegistry().SetRegistrySection("CurrentVersion");
  const std::string programFiles = PathRegistry().ReadString("ProgramFilesDir");
  PointAtSuiteKey();
  return DefaultDestination(programFiles, destinationLabel);
}

// The older web mail product, which an installation of ours replaces.
void CheckOlderWebMail() {
  try {
    PathRegistry().SetRegistryArea(kSuiteArea);
    PathRegistry().SetRegistrySection("Quenfor Web Mail");
    const std::string webMailVersion = PathRegistry().ReadString("Version");
    const std::string webMailFolder = PathRegistry().ReadString("InstallDir");
    SetupState().WebMailOutdated =
        IsWebMailOutdated(webMailVersion, webMailFolder, [](const std::string& f) { return DirectoryExists(f); });
  } catch (...) {
  }
  PointAtSuiteKey();
}

}  // namespace

std::string RunStartup(TMainForm* form, const TCommandLine& commandLine) {
  TSetupState& state = SetupState();
  // Every settings load from here on hands the IPv6 mode, DNS servers and SMTP port on to the
  // network clients.
  LinkNetSettingsToStore();
  // Every account the store saves from here on (the demonstration accounts, the first run's
  // administrator) gets its welcome message and directory entry as the settings ask.
  InstallAccountHooks();
  // The language file (and its export, which ends the run).
  const TLanguageStep language = RunLanguageStep(commandLine.ExportLanguage, SetupFolder());
  if (language.EndNow) EndProgram(kExitSuccess);
  // Restart one server and end.
  if (commandLine.Restart) RunRestartCommand(commandLine.RestartKindWord);
  // info.xml beside the program.
  ReadInfoXml(SetupFolder() + "info.xml", state);
  // Flags start clear, but the products list's address read from info.xml stays.
  const std::string productsUrl = state.ProductsXmlUrl;
  ResetSetupState();
  state.ProductsXmlUrl = productsUrl;
  // Older registry keys copied, not deleted.
  ConvertRegistry(false);
  PointAtSuiteKey();
  state.SystemDir = SystemFolder();
  // One-shot command words end the program.
  if (!commandLine.RunsWizard()) RunFirstWordCommand(commandLine);
  // A log given with log= is open already.
  if (InstallLogPath().empty()) StartInstallLog(SystemLogHeader());
  for (const std::string& note : language.Notes) InstallLog(note);
  // Captions of the window, now that the language is known.
  if (form != nullptr) SetCaptions(*form);
  // Without the data archive nothing can be installed.
  if (!FileExists(SetupFolder() + "Setup.Dat")) EndWithFailure({TFailureKind::Fatal, "Looking for Setup.Dat", cSetupError, 0});
  // The opening question.
  if (!commandLine.Silent() &&
      !AskYes(FormatText(cSetup, {cName}), FormatText(cInstallQ, {cName + " " + ProductVersion}))) {
    EndProgram(kExitSuccess);
  }
  // The installed version, for the downgrade question and the upgrade commands.
  state.InstalledVersion = PathRegistry().ReadString("Version").substr(0, 255);
  // The licence text.
  if (form != nullptr) LoadLicence(*form);
  // The components an earlier installation left out.
  try {
    ReadNoInstallFlags(PathRegistry(), state);
  } catch (...) {
  }
  const std::string folder =
      ReadEarlierInstallation(form, form != nullptr ? form->Control("PathEdit").Caption : std::string("Zarel\\"));
  CheckOlderWebMail();
  if (form == nullptr) return folder;
  // The wizard opens on its first page with the chosen folder and the advanced console.
  form->Control("PathEdit").SetCaption(folder);
  form->SetPageIndex(0);
  form->ShowPage();
  form->SetChecked("AdvancedMode", true);
  form->SetChecked("BasicMode", false);
  form->AdvancedModeClick();
  return folder;
}
