#include <windows.h>

#include "app/StartupSequence.h"

#include "app/OneShotCommands.h"
#include "app/StartupUnit.h"
#include "base/FileSystemUnit.h"
#include "base/TextFormat.h"
#include "engine/ExitCodes.h"
#include "engine/FailureUnit.h"
#include "engine/FirstRunUnit.h"
#include "engine/InstallLog.h"
#include "engine/NetStoreLink.h"
#include "engine/EarlierInstallation.h"
#include "engine/ProgramEnd.h"
#include "engine/SetupQuestions.h"
#include "engine/SetupState.h"
#include "system/ConvertRegistryUnit.h"
#include "texts/TextTable.h"
#include "wizard/TranslateUnit.h"

namespace {

std::string SystemFolder() {
  char systemFolder[MAX_PATH + 1] = {};
  const UINT length = GetSystemDirectoryA(systemFolder, MAX_PATH);
  return SystemFolderText(length > 0 && length <= MAX_PATH ? std::string(systemFolder, length) : std::string(),
                          SetupFolder());
}

}  // namespace

TStartupFacts RunStartup(const TCommandLine& commandLine) {
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
  // Without the data archive nothing can be installed.
  if (!FileExists(SetupFolder() + "Setup.Dat")) EndWithFailure({TFailureKind::Fatal, "Looking for Setup.Dat", cSetupError, 0});
  // The opening question.
  if (!commandLine.Silent() && !AskYes(TQuestion::Opening, {cName + " " + ProductVersion})) EndProgram(kExitSuccess);
  // The installed version, the components it left out, its folder and settings, the older web mail.
  return InspectEarlierInstallation();
}
