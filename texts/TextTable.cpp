#include "texts/TextTable.h"

#include <algorithm>
#include <cctype>

// Defaults. The example host and domain names in the first-run memos are placeholders a
// reader recognises as examples, not real names.
std::string cName = "Zarel Mail Server";
std::string cDoYouExit = "Do you wish to cancel this installation?";
std::string cDoYouExitTitle = "Exit Setup";
std::string UninstallDesc = "Uninstall Zarel Mail Server";
std::string cZarelWebmail = "Zarel Mail Server Web Mail";
std::string cZarelWebAdmin = "Zarel Mail Server Web Administration";
std::string cZarelLogs = "Zarel Mail Server Logs";
std::string cWebMailManualFile = "html\\mail\\help\\index.htm";
std::string cWebMailManual = "Quenfor WebMail Documentation";
std::string ZarelSMTPLinkDesc = "Start Zarel SMTP Service";
std::string ZarelPOP3LinkDesc = "Start Zarel POP3-IMAP4 Service";
std::string ZarelControlLinkDesc = "Start Zarel Control Service";
std::string ZarelIMLinkDesc = "Start Zarel Instant Messaging Service";
std::string ZarelGWLinkDesc = "Start Zarel GroupWare Service";
std::string cSetup = "%s Setup";
std::string cInstallQ = "This will install %s. Do you wish to continue?";
std::string cInstallLicenseQ = "By installing this software you agree with the software license agreement. Do you wish to continue?";
std::string cUnInstallQ = "Are you sure to completely remove all files and components of this program?";
std::string cComplete = "The setup of %s is complete.\r\n\r\nIn order to get started it is suggested to run the Configuration program and read the Help.";
std::string cCompleteRemove = "Uninstall completed. Some elements could not be removed. You should manually remove items related to the application.";
std::string cInternet = "Is this computer connected to the Internet now?";
std::string cNotRunning = "The following service(s) could not be started:\r\n%s\r\nThere must be already running some other service(s) on the same TCP/IP port(s). Please, make sure no other SMTP or POP3 servers are running (including MS SMTP and Norton POP3).";
std::string cSetupError = "Setup could not find the required files.";
std::string cSetupRequireWebMail = "Setup has detected an old version of Quenfor Web Mail on your computer. It is required for you to upgrade Quenfor Web Mail or it will not function properly.";
std::string cTutorialCaption = "Installation Wizard";
std::string cInformation = "Information";
std::string cError = "Error";
std::string cErrorDir = "Directory could not be created: ";
std::string cErrorFile = "File copy error: %s\r\n%s\r\nIt is suggested to reboot this computer and run the setup again.";
std::string cErrorDataFile = "Extracting files error: data file error";
std::string cServiceError = "Service error: ";
std::string cRegistryError = "Registry error: ";
std::string cQuestion = "Question";
std::string cNewerVersion = "There is new %s %s version on the Internet. It is suggested to download and use the latest version instead. Do you want to download it now?";
std::string cInstallProgram = "Programs";
std::string cExtractingFiles = "Extracting Files...";
std::string cInstalling = "Installing Services...";
std::string cStarting = "Starting Services...";
std::string cFinishing = "Finishing Installation...";
std::string cUnInstalling = "Removing Services...";
std::string cStopping = "Stopping Services...";
std::string cChecking = "Checking For Running Services...";
std::string cFinished = "Installation Complete";
std::string cCopying = "Copying File:\r\n";
std::string cInstallingAV = "Installing Antivirus Engine...";
std::string cCreatingIcons = "Creating Icons...";
std::string cInstallingWeb = "Installing Web Mail...";
std::string cHintAdvanced = "All options will be visible. Expert's mode.";
std::string cHintBasic = "Some options will be invisible. Beginner's mode.";
std::string cYes = "&Yes";
std::string cNo = "&No";
std::string cBack = "< &Back";
std::string cNext = "&Next >";
std::string cCancel = "&Cancel";
std::string cInstallC = "&Install >";
std::string cPSetup = "%s %s Setup";
std::string cFinish = "&Finish";
std::string cSLA = "Software License Agreement";
std::string cStartCopyingFiles = "Start The Installation Process";
std::string cInstallingFiles = "Installing";
std::string cUpdateSetup = "Upgrade Setup";
std::string cSetupType = "Server Type && Console Mode";
std::string cComponentSetup = "Components To Install";
std::string cSetupFinished = "Setup Complete";
std::string cWizardHostName = "Enter the name of the mail server computer.\r\nIt must not be blank. Typically it would be\r\n'mail.example.com'.";
std::string cWizardDomain = "Enter the name of the primary domain.\r\nTypically it would be 'example.com'.";
std::string cWizardAdmin = "Enter the username and password of the\r\nprimary domain administrator. Do not fill in\r\nthe domain. Only the alias needs to be\r\nspecified. Typically the username would be\r\n'administrator'.";

std::string cDemoMessage = "Demonstration message";
std::string cDemoMessageSubject = "Demonstration message";

namespace {

std::string LowerCaseName(const std::string& name) {
  std::string lower = name.substr(0, kTextNameMax);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

}  // namespace

void TLocalizationStrings::Add(const std::string& name, std::string& variable) {
  // Grows in steps of 100 entries rather than doubling: the table is filled once at start-up.
  if (entries_.size() == entries_.capacity()) entries_.reserve(entries_.capacity() + kTextTableGrowth);
  entries_.push_back({LowerCaseName(name), &variable});
}

TLocalizationEntry* TLocalizationStrings::Find(const std::string& name) {
  const std::string lower = LowerCaseName(name);
  for (TLocalizationEntry& entry : entries_) {
    if (entry.name == lower) return &entry;
  }
  return nullptr;
}

void TLocalizationStrings::Clear() {
  std::vector<TLocalizationEntry>().swap(entries_);
}

TLocalizationStrings& LocalizationStrings() {
  static TLocalizationStrings table;
  return table;
}

void RegisterText(const std::string& name, std::string& variable) {
  LocalizationStrings().Add(name, variable);
}

void RegisterTexts() {
  // Start-up may reach this from both the language step and the export; one set of entries
  // is enough (a second would only shadow the first).
  const TLocalizationEntry* existing = LocalizationStrings().Find("cName");
  if (existing != nullptr && existing->text == &cName) return;
  RegisterText("cName", cName);
  RegisterText("cDoYouExit", cDoYouExit);
  RegisterText("cDoYouExitTitle", cDoYouExitTitle);
  RegisterText("UninstallDesc", UninstallDesc);
  RegisterText("cZarelWebmail", cZarelWebmail);
  RegisterText("cZarelWebAdmin", cZarelWebAdmin);
  RegisterText("cZarelLogs", cZarelLogs);
  RegisterText("cWebMailManualFile", cWebMailManualFile);
  RegisterText("cWebMailManual", cWebMailManual);
  RegisterText("ZarelSMTPLinkDesc", ZarelSMTPLinkDesc);
  RegisterText("ZarelPOP3LinkDesc", ZarelPOP3LinkDesc);
  RegisterText("ZarelControlLinkDesc", ZarelControlLinkDesc);
  RegisterText("ZarelIMLinkDesc", ZarelIMLinkDesc);
  RegisterText("ZarelGWLinkDesc", ZarelGWLinkDesc);
  RegisterText("cSetup", cSetup);
  RegisterText("cInstallQ", cInstallQ);
  RegisterText("cInstallLicenseQ", cInstallLicenseQ);
  RegisterText("cUnInstallQ", cUnInstallQ);
  RegisterText("cComplete", cComplete);
  RegisterText("cCompleteRemove", cCompleteRemove);
  RegisterText("cInternet", cInternet);
  RegisterText("cNotRunning", cNotRunning);
  RegisterText("cSetupError", cSetupError);
  RegisterText("cSetupRequireWebMail", cSetupRequireWebMail);
  RegisterText("cTutorialCaption", cTutorialCaption);
  RegisterText("cInformation", cInformation);
  RegisterText("cError", cError);
  RegisterText("cErrorDir", cErrorDir);
  RegisterText("cErrorFile", cErrorFile);
  RegisterText("cErrorDataFile", cErrorDataFile);
  RegisterText("cServiceError", cServiceError);
  RegisterText("cRegistryError", cRegistryError);
  RegisterText("cQuestion", cQuestion);
  RegisterText("cNewerVersion", cNewerVersion);
  RegisterText("cInstallProgram", cInstallProgram);
  RegisterText("cExtractingFiles", cExtractingFiles);
  RegisterText("cInstalling", cInstalling);
  RegisterText("cStarting", cStarting);
  RegisterText("cFinishing", cFinishing);
  RegisterText("cUnInstalling", cUnInstalling);
  RegisterText("cStopping", cStopping);
  RegisterText("cChecking", cChecking);
  RegisterText("cFinished", cFinished);
  RegisterText("cCopying", cCopying);
  RegisterText("cInstallingAV", cInstallingAV);
  RegisterText("cCreatingIcons", cCreatingIcons);
  RegisterText("cInstallingWeb", cInstallingWeb);
  RegisterText("cHintAdvanced", cHintAdvanced);
  RegisterText("cHintBasic", cHintBasic);
  RegisterText("cYes", cYes);
  RegisterText("cNo", cNo);
  RegisterText("cBack", cBack);
  RegisterText("cNext", cNext);
  RegisterText("cCancel", cCancel);
  RegisterText("cInstallC", cInstallC);
  RegisterText("cPSetup", cPSetup);
  RegisterText("cFinish", cFinish);
  RegisterText("cSLA", cSLA);
  RegisterText("cStartCopyingFiles", cStartCopyingFiles);
  RegisterText("cInstallingFiles", cInstallingFiles);
  RegisterText("cUpdateSetup", cUpdateSetup);
  RegisterText("cSetupType", cSetupType);
  RegisterText("cComponentSetup", cComponentSetup);
  RegisterText("cSetupFinished", cSetupFinished);
  RegisterText("cWizardHostName", cWizardHostName);
  RegisterText("cWizardDomain", cWizardDomain);
  RegisterText("cWizardAdmin", cWizardAdmin);
}

bool SetTextByName(const std::string& name, const std::string& text) {
  TLocalizationEntry* entry = LocalizationStrings().Find(name);
  if (entry == nullptr) return false;
  *entry->text = text;
  return true;
}
