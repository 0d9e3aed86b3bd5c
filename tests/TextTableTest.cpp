#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "texts/TextTable.h"

namespace {

// Every registered text in its registration (and export) order.
const std::vector<std::pair<const char*, std::string*>> kRegistered = {
    {"cName", &cName}, {"cDoYouExit", &cDoYouExit}, {"cDoYouExitTitle", &cDoYouExitTitle},
    {"UninstallDesc", &UninstallDesc}, {"cZarelWebmail", &cZarelWebmail},
    {"cZarelWebAdmin", &cZarelWebAdmin}, {"cZarelLogs", &cZarelLogs},
    {"cWebMailManualFile", &cWebMailManualFile}, {"cWebMailManual", &cWebMailManual},
    {"ZarelSMTPLinkDesc", &ZarelSMTPLinkDesc}, {"ZarelPOP3LinkDesc", &ZarelPOP3LinkDesc},
    {"ZarelControlLinkDesc", &ZarelControlLinkDesc}, {"ZarelIMLinkDesc", &ZarelIMLinkDesc},
    {"ZarelGWLinkDesc", &ZarelGWLinkDesc}, {"cSetup", &cSetup}, {"cInstallQ", &cInstallQ},
    {"cInstallLicenseQ", &cInstallLicenseQ}, {"cUnInstallQ", &cUnInstallQ},
    {"cComplete", &cComplete}, {"cCompleteRemove", &cCompleteRemove},
    {"cInternet", &cInternet}, {"cNotRunning", &cNotRunning}, {"cSetupError", &cSetupError},
    {"cSetupRequireWebMail", &cSetupRequireWebMail}, {"cTutorialCaption", &cTutorialCaption},
    {"cInformation", &cInformation}, {"cError", &cError}, {"cErrorDir", &cErrorDir},
    {"cErrorFile", &cErrorFile}, {"cErrorDataFile", &cErrorDataFile},
    {"cServiceError", &cServiceError}, {"cRegistryError", &cRegistryError},
    {"cQuestion", &cQuestion}, {"cNewerVersion", &cNewerVersion},
    {"cInstallProgram", &cInstallProgram}, {"cExtractingFiles", &cExtractingFiles},
    {"cInstalling", &cInstalling}, {"cStarting", &cStarting}, {"cFinishing", &cFinishing},
    {"cUnInstalling", &cUnInstalling}, {"cStopping", &cStopping}, {"cChecking", &cChecking},
    {"cFinished", &cFinished}, {"cCopying", &cCopying}, {"cInstallingAV", &cInstallingAV},
    {"cCreatingIcons", &cCreatingIcons}, {"cInstallingWeb", &cInstallingWeb},
    {"cHintAdvanced", &cHintAdvanced}, {"cHintBasic", &cHintBasic}, {"cYes", &cYes},
    {"cNo", &cNo}, {"cBack", &cBack}, {"cNext", &cNext}, {"cCancel", &cCancel},
    {"cInstallC", &cInstallC}, {"cPSetup", &cPSetup}, {"cFinish", &cFinish}, {"cSLA", &cSLA},
    {"cStartCopyingFiles", &cStartCopyingFiles}, {"cInstallingFiles", &cInstallingFiles},
    {"cUpdateSetup", &cUpdateSetup}, {"cSetupType", &cSetupType},
    {"cComponentSetup", &cComponentSetup}, {"cSetupFinished", &cSetupFinished},
    {"cWizardHostName", &cWizardHostName}, {"cWizardDomain", &cWizardDomain},
    {"cWizardAdmin", &cWizardAdmin}, {"cWizardDomainInvalid", &cWizardDomainInvalid},
    {"cWizardUserInvalid", &cWizardUserInvalid}, {"cWizardHostNameTooLong", &cWizardHostNameTooLong},
    {"cWizardDomainTooLong", &cWizardDomainTooLong}, {"cWizardUserTooLong", &cWizardUserTooLong},
    {"cWizardPasswordTooLong", &cWizardPasswordTooLong}, {"cInstallAborted", &cInstallAborted},
    {"cFolderNotAbsolute", &cFolderNotAbsolute}, {"cFolderRefused", &cFolderRefused},
    {"cNewerInstalled", &cNewerInstalled},
    {"cInstallIncomplete", &cInstallIncomplete}, {"cServersRunAgain", &cServersRunAgain},
    {"cServersNotStarted", &cServersNotStarted}, {"cConfigNotSaved", &cConfigNotSaved},
    {"cSetupStopping", &cSetupStopping}, {"cStepFailed", &cStepFailed}, {"cJournalNotWritten", &cJournalNotWritten},
    {"cDataFileProblem", &cDataFileProblem}, {"cArchiveCut", &cArchiveCut}, {"cArchiveHeader", &cArchiveHeader},
    {"cArchiveDamaged", &cArchiveDamaged}, {"cArchiveMalformed", &cArchiveMalformed},
    {"cArchiveUnreadable", &cArchiveUnreadable}, {"cNoRoom", &cNoRoom},
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Each test starts from a freshly registered table and leaves every text as it found it.
class TextTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const auto& [name, variable] : kRegistered) saved_.push_back(*variable);
    savedDemo_ = {cDemoMessage, cDemoMessageSubject};
    LocalizationStrings().Clear();
    RegisterTexts();
  }
  void TearDown() override {
    for (std::size_t i = 0; i < kRegistered.size(); ++i) *kRegistered[i].second = saved_[i];
    cDemoMessage = savedDemo_.first;
    cDemoMessageSubject = savedDemo_.second;
    LocalizationStrings().Clear();
  }
  std::vector<std::string> saved_;
  std::pair<std::string, std::string> savedDemo_;
};

TEST_F(TextTableTest, RegistersEveryTextOnceInOrderLowerCased) {
  const TLocalizationStrings& table = LocalizationStrings();
  ASSERT_EQ(table.Count(), kRegistered.size());
  for (std::size_t i = 0; i < kRegistered.size(); ++i) {
    SCOPED_TRACE(kRegistered[i].first);
    EXPECT_EQ(table[i].name, Lower(kRegistered[i].first));
    EXPECT_EQ(table[i].text, kRegistered[i].second);
  }
  // Start-up may call it again (language step, then export): no second set of entries.
  RegisterTexts();
  EXPECT_EQ(table.Count(), kRegistered.size());
}

TEST_F(TextTableTest, DefaultsAreTheBuiltInEnglishTexts) {
  const std::pair<const std::string*, std::string> samples[] = {
      {&cName, "Zarel Mail Server"},
      {&cWebMailManualFile, "html\\mail\\help\\index.htm"},
      {&cSetupType, "Server Type && Console Mode"},  // doubled & is a literal ampersand
      {&cCopying, "Copying File:\r\n"},
      {&cBack, "< &Back"},
      {&cRegistryError, "Registry error: "},
      {&cErrorFile,
       "File copy error: %s\r\n%s\r\nIt is suggested to reboot this computer and run the setup "
       "again."},
      {&cNotRunning,
       "The following service(s) could not be started:\r\n%s\r\nThere must be already running "
       "some other service(s) on the same TCP/IP port(s). Please, make sure no other SMTP or "
       "POP3 servers are running (including MS SMTP and Norton POP3)."},
      {&cWizardAdmin,
       "Enter the username and password of the\r\nprimary domain administrator. Do not fill "
       "in\r\nthe domain. Only the alias needs to be\r\nspecified. Typically the username would "
       "be\r\n'administrator'."},
      {&cDemoMessage, "Demonstration message"},
      {&cDemoMessageSubject, "Demonstration message"},
  };
  for (const auto& [variable, text] : samples) EXPECT_EQ(*variable, text);
  EXPECT_EQ(cWizardHostName.rfind("Enter the name of the mail server computer.\r\nIt must not be "
                                  "blank. Typically it would be\r\n'", 0),
            0u);
  EXPECT_EQ(cWizardHostName.substr(cWizardHostName.size() - 2), "'.");
  EXPECT_EQ(cWizardDomain.rfind("Enter the name of the primary domain.\r\nTypically it would be '", 0), 0u);
  EXPECT_EQ(cWizardDomain.substr(cWizardDomain.size() - 2), "'.");
}

TEST_F(TextTableTest, SetTextByNameReplacesTheVariableCodeReads) {
  struct Row {
    const char* name;
    std::string* variable;  // null: the name must change nothing
  };
  const Row rows[] = {
      {"cDoYouExit", &cDoYouExit},
      {"CDOYOUEXIT", &cDoYouExit},
      {"cdoyouexittitle", &cDoYouExitTitle},
      {"zarelsmtplinkdesc", &ZarelSMTPLinkDesc},
      {"cWizardAdmin", &cWizardAdmin},
      {"cUnknownText", nullptr},
      {"cDemoMessage", nullptr},  // not registered: only info.xml may change it
      {"", nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string before = row.variable ? *row.variable : std::string();
    const std::string demoBefore = cDemoMessage;
    EXPECT_EQ(SetTextByName(row.name, std::string("replaced ") + row.name), row.variable != nullptr);
    if (row.variable) {
      EXPECT_EQ(*row.variable, std::string("replaced ") + row.name);
      EXPECT_NE(*row.variable, before);
    }
    EXPECT_EQ(cDemoMessage, demoBefore);
  }
  EXPECT_TRUE(SetTextByName("cError", ""));
  EXPECT_EQ(cError, "");
}

TEST_F(TextTableTest, FirstRegisteredEntryWinsAndLongNamesAreCut) {
  std::string shadow = "shadow";
  RegisterText("CERROR", shadow);
  ASSERT_EQ(LocalizationStrings().Count(), kRegistered.size() + 1);
  EXPECT_EQ(LocalizationStrings()[kRegistered.size()].name, "cerror");
  EXPECT_TRUE(SetTextByName("cError", "first"));
  EXPECT_EQ(cError, "first");
  EXPECT_EQ(shadow, "shadow");

  std::string longText;
  const std::string longName = "cLong" + std::string(300, 'X');
  RegisterText(longName, longText);
  EXPECT_EQ(LocalizationStrings()[kRegistered.size() + 1].name.size(), kTextNameMax);
  // Whatever is cut away does not take part in the lookup.
  EXPECT_TRUE(SetTextByName(longName.substr(0, kTextNameMax) + "ignored", "long"));
  EXPECT_EQ(longText, "long");
}

TEST_F(TextTableTest, TableGrowsInStepsOfOneHundred) {
  EXPECT_EQ(LocalizationStrings().Capacity(), 100u);
  std::vector<std::string> extra(40);
  for (std::size_t i = 0; i < extra.size(); ++i) RegisterText("cExtra" + std::to_string(i), extra[i]);
  EXPECT_EQ(LocalizationStrings().Count(), kRegistered.size() + extra.size());
  EXPECT_EQ(LocalizationStrings().Capacity(), 200u);
  EXPECT_TRUE(SetTextByName("CEXTRA39", "last"));
  EXPECT_EQ(extra[39], "last");
}

}  // namespace
