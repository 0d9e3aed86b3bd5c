// The setup's user-visible texts: one process-wide variable per message, caption and status
// text built in code, each holding its English default at start.
//
// Code reads the variables, never literals, so a loaded language file takes effect
// everywhere. The registered ones can be replaced by name (SetTextByName); names are stored
// lower-cased and looked up case-insensitively. Several texts are "%s" format patterns.
// Portable: no <windows.h>.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Registered texts, in registration (and export) order.
extern std::string cName;
extern std::string cDoYouExit;
extern std::string cDoYouExitTitle;
extern std::string UninstallDesc;
extern std::string cZarelWebmail;
extern std::string cZarelWebAdmin;
extern std::string cZarelLogs;
extern std::string cWebMailManualFile;
extern std::string cWebMailManual;
extern std::string ZarelSMTPLinkDesc;
extern std::string ZarelPOP3LinkDesc;
extern std::string ZarelControlLinkDesc;
extern std::string ZarelIMLinkDesc;
extern std::string ZarelGWLinkDesc;
extern std::string cSetup;
extern std::string cInstallQ;
extern std::string cInstallLicenseQ;
extern std::string cUnInstallQ;
extern std::string cComplete;
extern std::string cCompleteRemove;
extern std::string cInternet;
extern std::string cNotRunning;
extern std::string cSetupError;
extern std::string cSetupRequireWebMail;
extern std::string cTutorialCaption;
extern std::string cInformation;
extern std::string cError;
extern std::string cErrorDir;
extern std::string cErrorFile;
extern std::string cErrorDataFile;
extern std::string cServiceError;
extern std::string cRegistryError;
extern std::string cQuestion;
extern std::string cNewerVersion;
extern std::string cInstallProgram;
extern std::string cExtractingFiles;
extern std::string cInstalling;
extern std::string cStarting;
extern std::string cFinishing;
extern std::string cUnInstalling;
extern std::string cStopping;
extern std::string cChecking;
extern std::string cFinished;
extern std::string cCopying;
extern std::string cInstallingAV;
extern std::string cCreatingIcons;
extern std::string cInstallingWeb;
extern std::string cHintAdvanced;
extern std::string cHintBasic;
extern std::string cYes;
extern std::string cNo;
extern std::string cBack;
extern std::string cNext;
extern std::string cCancel;
extern std::string cInstallC;
extern std::string cPSetup;
extern std::string cFinish;
extern std::string cSLA;
extern std::string cStartCopyingFiles;
extern std::string cInstallingFiles;
extern std::string cUpdateSetup;
extern std::string cSetupType;
extern std::string cComponentSetup;
extern std::string cSetupFinished;
extern std::string cWizardHostName;
extern std::string cWizardDomain;
extern std::string cWizardAdmin;

// Not registered, so a language file cannot change them; info.xml may replace them.
extern std::string cDemoMessage;
extern std::string cDemoMessageSubject;

constexpr std::size_t kTextNameMax = 255;
constexpr std::size_t kTextTableGrowth = 100;

struct TLocalizationEntry {
  std::string name;  // lower-cased, at most kTextNameMax characters
  std::string* text;
};

// The registered table: entries keep their registration order; a lookup takes the first
// entry whose name matches.
class TLocalizationStrings {
 public:
  void Add(const std::string& name, std::string& variable);
  // First entry with that name (any letter case), or null.
  TLocalizationEntry* Find(const std::string& name);
  std::size_t Count() const { return entries_.size(); }
  const TLocalizationEntry& operator[](std::size_t index) const { return entries_[index]; }
  std::size_t Capacity() const { return entries_.capacity(); }
  void Clear();

 private:
  std::vector<TLocalizationEntry> entries_;
};

TLocalizationStrings& LocalizationStrings();

// Appends an entry (name lower-cased, cut to 255 characters) referring to the variable.
void RegisterText(const std::string& name, std::string& variable);
// Registers every text above the "Not registered" line, in its order.
void RegisterTexts();
// Assigns the text to the first entry with that name (any letter case). True when the name
// is registered; an unknown name changes nothing.
bool SetTextByName(const std::string& name, const std::string& text);
