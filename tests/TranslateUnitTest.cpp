// Language files: export and apply against the control model and the text table.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/FileSystemUnit.h"
#include "app/CommandLine.h"
#include "wizard/ControlModel.h"
#include "texts/TextTable.h"
#include "wizard/TranslateUnit.h"
#include "tests/TestFolder.h"
#include "xml/XMLUnit.h"

namespace {

// Keeps every registered text as it was and leaves the table empty for the next test.
class TranslateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    LocalizationStrings().Clear();
    RegisterTexts();
    for (std::size_t i = 0; i < LocalizationStrings().Count(); ++i) {
      saved_[LocalizationStrings()[i].text] = *LocalizationStrings()[i].text;
    }
  }
  void TearDown() override {
    for (auto& [variable, text] : saved_) *variable = text;
    LocalizationStrings().Clear();
  }

  // A wizard-like window with one control of each kind the files treat differently.
  std::unique_ptr<TFormModel> MakeWizard() {
    auto form = std::make_unique<TFormModel>("TMainForm", "MainForm", "Zarel Mail Server 8.2.0 Setup");
    form->Add("AboutLabel", "tlabel", "Welcome to the Zarel Mail Server Setup Wizard");
    form->Add("NextButton", "tbutton", "&Next >", 1);
    form->Add("CheckLatest", "tcheckbox", "Check for new version on the Internet");
    form->Add("AdvancedMode", "tradiobutton", "Advanced");
    form->Add("DestinationGroup", "tgroupbox", "Destination Directory");
    form->Add("InstallPanelText", "tlabel");  // empty: not written
    form->Add("HostNameEdit", "tedit", "typed");
    form->Add("LicenseMemo", "tmemo", "licence");
    form->Add("WelcomePanel", "tpanel", "panel");
    form->Add("ComponentList", "tchecklistbox").Items = {"Mail", "WebMail"};
    return form;
  }

  std::unique_ptr<TXMLObject> Load(const std::string& path) {
    auto document = std::make_unique<TXMLObject>();
    document->LoadFromFile(path);
    return document;
  }

  void Write(const std::string& name, const std::string& xml) { WriteWholeFile(xml, folder / name, false); }

  TestFolder folder;
  std::map<std::string*, std::string> saved_;
};

TEST_F(TranslateTest, ExportListsLabelledControlsOfTheWizardOnly) {
  auto wizard = MakeWizard();
  ASSERT_TRUE(ExportLanguageFile(folder / "sub\\Setup.lng", false));
  auto document = Load(folder / "sub\\Setup.lng");
  const TXMLObject* application = document->FindChild("APPLICATION");
  ASSERT_NE(application, nullptr);
  EXPECT_EQ(application->FindChild("STRINGS"), nullptr);
  const TXMLObject* forms = application->FindChild("FORMS");
  ASSERT_NE(forms, nullptr);
  ASSERT_EQ(forms->Children().size(), 1u);
  const TXMLObject& form = *forms->Children()[0];
  EXPECT_EQ(form.GetAttribute("ID"), "TMainForm");
  EXPECT_EQ(form.GetAttribute("CAPTION"), "Zarel Mail Server 8.2.0 Setup");

  std::vector<std::string> ids;
  for (const auto& item : form.Children()) ids.push_back(item->GetAttribute("ID"));
  EXPECT_EQ(ids, (std::vector<std::string>{"AboutLabel", "NextButton", "CheckLatest", "AdvancedMode",
                                           "DestinationGroup"}));
  const TXMLObject& next = *form.Children()[1];
  EXPECT_EQ(next.GetAttribute("CLASS"), "tbutton");
  EXPECT_EQ(next.GetAttribute("CAPTION"), "&Next >");
  // Attributes in the order ID, CLASS, value; an empty hint is not written.
  ASSERT_EQ(next.Attributes().size(), 3u);
  EXPECT_EQ(next.Attributes()[0].Name, "ID");
  EXPECT_EQ(next.Attributes()[1].Name, "CLASS");
  EXPECT_EQ(next.Attributes()[2].Name, "CAPTION");
}

TEST_F(TranslateTest, TextsTravelInValueOrAsElementTextAt255) {
  const std::string text255(255, 'a');
  const std::string text256 = std::string(255, 'b') + "<&>";
  cDoYouExit = text255;
  cSetupError = text256;
  cInformation = "";
  // Short, but longer than 255 once escaped.
  const std::string ampersands = std::string(240, 'c') + "&&&&&&&&&&";
  cQuestion = ampersands;
  ASSERT_TRUE(ExportLanguageFile(folder / "Setup.lng", true));

  auto document = Load(folder / "Setup.lng");
  const TXMLObject* strings = document->FindChild("APPLICATION")->FindChild("STRINGS");
  ASSERT_NE(strings, nullptr);
  std::map<std::string, const TXMLObject*> byId;
  for (const auto& item : strings->Children()) byId[item->GetAttribute("ID")] = item.get();
  // Every registered text in registration order, the path and the registry value name in
  // their places too (translators' tools follow the order).
  ASSERT_EQ(strings->Children().size(), LocalizationStrings().Count());
  for (std::size_t i = 0; i < LocalizationStrings().Count(); ++i)
    EXPECT_EQ(strings->Children()[i]->GetAttribute("ID"), LocalizationStrings()[i].name) << i;
  EXPECT_EQ(byId["cwebmailmanualfile"]->GetAttribute("VALUE"), "html\\mail\\help\\index.htm");
  EXPECT_EQ(byId["cinstallprogram"]->GetAttribute("VALUE"), "Programs");
  EXPECT_EQ(strings->Children()[0]->GetAttribute("ID"), "cname");
  EXPECT_EQ(byId["cdoyouexit"]->GetAttribute("VALUE"), text255);
  EXPECT_EQ(byId["cdoyouexit"]->GetText(), "");
  EXPECT_EQ(byId["csetuperror"]->GetAttribute("VALUE"), "");
  EXPECT_EQ(byId["csetuperror"]->GetText(), text256);
  EXPECT_EQ(byId["cinformation"]->Attributes().size(), 1u);  // only the ID

  EXPECT_EQ(byId["cquestion"]->GetText(), ampersands);

  // Read back whole.
  cDoYouExit = cSetupError = cInformation = cQuestion = "changed";
  ASSERT_TRUE(ApplyLanguageFile(folder / "Setup.lng", true));
  EXPECT_EQ(cQuestion, ampersands);
  EXPECT_EQ(cDoYouExit, text255);
  EXPECT_EQ(cSetupError, text256);
  EXPECT_EQ(cInformation, "");
}

TEST_F(TranslateTest, ApplyReplacesTextsByNameInAnyCase) {
  Write("Setup.lng",
        "<APPLICATION><FORMS/><STRINGS>"
        "<ITEM ID='CDOYOUEXIT' VALUE='Wirklich abbrechen?'/>"
        "<ITEM ID='cError' VALUE=''/>"
        "<ITEM ID='cinformation'/>"
        "<ITEM ID='cInstallQ' VALUE='%d %n %s %s'/>"
        "<ITEM ID='cfolderNotAbsolute' VALUE='relativ: %s'/>"
        "<ITEM ID='cNoSuchText' VALUE='x'/>"
        "<ITEM ID='cSLA'>Lizenz &amp; Vertrag</ITEM>"
        "</STRINGS></APPLICATION>");
  ASSERT_TRUE(ApplyLanguageFile(folder / "Setup.lng", true));
  EXPECT_EQ(cDoYouExit, "Wirklich abbrechen?");
  EXPECT_EQ(cError, "");
  EXPECT_EQ(cInformation, "");
  EXPECT_EQ(cInstallQ, "%d %n %s %s");
  EXPECT_EQ(cFolderNotAbsolute, "relativ: %s");
  EXPECT_EQ(cSLA, "Lizenz & Vertrag");
  EXPECT_EQ(cDemoMessage, "Demonstration message");  // not registered
}

TEST_F(TranslateTest, ApplyWithoutTextsLeavesThemAlone) {
  Write("Setup.lng", "<APPLICATION><FORMS/><STRINGS><ITEM ID='cError' VALUE='Fehler'/></STRINGS></APPLICATION>");
  ASSERT_TRUE(ApplyLanguageFile(folder / "Setup.lng", false));
  EXPECT_EQ(cError, "Error");
}

TEST_F(TranslateTest, ApplySetsCaptionsAndHintsByClass) {
  auto wizard = MakeWizard();
  std::vector<std::string> changed;
  wizard->OnControlChanged = [&](TControl& control) { changed.push_back(control.Name); };
  TControl& combo = wizard->Add("LanguageBox", "tcombobox");
  combo.Items = {"a", "b", "c"};
  TControl& columns = wizard->Add("ServerList", "tlistview");
  columns.Items = {"Name", "State", "Port"};
  Write("Setup.lng",
        "<APPLICATION><FORMS>"
        "<FORM ID='TMainForm'>"
        "<ITEM ID='NextButton' CLASS='tbutton' CAPTION='&amp;Weiter &gt;' HINT='Weiter'/>"
        "<ITEM ID='CheckLatest' CLASS='tcheckbox'/>"
        "<ITEM ID='HostNameEdit' CLASS='tedit' CAPTION='ignored'/>"
        "<ITEM ID='AboutLabel' CLASS='tnosuchclass' CAPTION='ignored'/>"
        "<ITEM ID='nextbutton' CLASS='tbutton' CAPTION='wrong case'/>"
        "<ITEM ID='LanguageBox' CLASS='tcombobox' ITEMSTEXT='  eins \r\n\r\nzwei\r\n'/>"
        "<ITEM ID='ServerList' CLASS='tcustomlistview' ITEMSTEXT='Name\r\nZustand\r\n'/>"
        "</FORM>"
        "<FORM ID='TBrowseFolder' CAPTION='Ordner'><ITEM ID='OKButton' CLASS='tbutton' CAPTION='O'/></FORM>"
        "</FORMS></APPLICATION>");
  ASSERT_TRUE(ApplyLanguageFile(folder / "Setup.lng", true));
  // FORM without CAPTION: the caption becomes empty.
  EXPECT_EQ(wizard->Caption(), "");
  EXPECT_EQ(wizard->FindComponent("NextButton")->Caption, "&Weiter >");
  EXPECT_EQ(wizard->FindComponent("NextButton")->Hint, "Weiter");
  EXPECT_EQ(wizard->FindComponent("CheckLatest")->Caption, "");
  EXPECT_EQ(wizard->FindComponent("HostNameEdit")->Caption, "typed");
  EXPECT_EQ(wizard->FindComponent("AboutLabel")->Caption, "Welcome to the Zarel Mail Server Setup Wizard");
  EXPECT_EQ(combo.Items, (std::vector<std::string>{"eins", "zwei"}));
  EXPECT_EQ(combo.ItemIndex, 0);
  EXPECT_EQ(columns.Items, (std::vector<std::string>{"Name", "Zustand", "Port"}));
  EXPECT_EQ(changed, (std::vector<std::string>{"NextButton", "CheckLatest", "LanguageBox", "ServerList"}));
}

TEST_F(TranslateTest, AFormErrorStopsTheFileThere) {
  auto wizard = MakeWizard();
  TControl& columns = wizard->Add("ServerList", "tlistview");
  columns.Items = {"Name"};
  Write("Setup.lng",
        "<APPLICATION><FORMS><FORM ID='TMainForm' CAPTION='Neu'>"
        "<ITEM ID='NextButton' CLASS='tbutton' CAPTION='Weiter'/>"
        "<ITEM ID='ServerList' CLASS='tlistview' ITEMSTEXT='A\r\nB\r\n'/>"
        "<ITEM ID='CheckLatest' CLASS='tcheckbox' CAPTION='Suchen'/>"
        "</FORM></FORMS><STRINGS><ITEM ID='cError' VALUE='Fehler'/></STRINGS></APPLICATION>");
  EXPECT_TRUE(ApplyLanguageFile(folder / "Setup.lng", true));
  EXPECT_EQ(wizard->Caption(), "Neu");
  EXPECT_EQ(wizard->FindComponent("NextButton")->Caption, "Weiter");
  EXPECT_EQ(columns.Items, (std::vector<std::string>{"Name"}));
  EXPECT_EQ(wizard->FindComponent("CheckLatest")->Caption, "Check for new version on the Internet");
  EXPECT_EQ(cError, "Error");

  // Without FORMS the texts are not applied either.
  Write("NoForms.lng", "<APPLICATION><STRINGS><ITEM ID='cError' VALUE='Fehler'/></STRINGS></APPLICATION>");
  EXPECT_TRUE(ApplyLanguageFile(folder / "NoForms.lng", true));
  EXPECT_EQ(cError, "Error");
}

TEST_F(TranslateTest, MissingOrEmptyFileChangesNothing) {
  auto wizard = MakeWizard();
  EXPECT_FALSE(ApplyLanguageFile(folder / "none.lng", true));
  Write("empty.lng", "");
  EXPECT_FALSE(ApplyLanguageFile(folder / "empty.lng", true));
  EXPECT_EQ(wizard->Caption(), "Zarel Mail Server 8.2.0 Setup");
  EXPECT_EQ(cDoYouExit, "Do you wish to cancel this installation?");
}

TEST_F(TranslateTest, ExportAfterApplyWritesTheAppliedTexts) {
  auto wizard = MakeWizard();
  Write("Setup.lng",
        "<APPLICATION><FORMS><FORM ID='TMainForm' CAPTION='Installation'>"
        "<ITEM ID='NextButton' CLASS='tbutton' CAPTION='&amp;Weiter' HINT='h'/></FORM></FORMS>"
        "<STRINGS><ITEM ID='cDoYouExit' VALUE='Abbrechen?'/></STRINGS></APPLICATION>");
  // The start-up step: export asked while a file exists.
  const TCommandLine line = ParseCommandLine({"/exportlanguage"});
  LocalizationStrings().Clear();
  EXPECT_TRUE(RunLanguageStep(line.ExportLanguage, folder.path()).EndNow);

  auto document = Load(folder / "Setup.lng");
  const TXMLObject* application = document->FindChild("APPLICATION");
  ASSERT_NE(application, nullptr);
  const TXMLObject& form = *application->FindChild("FORMS")->Children()[0];
  EXPECT_EQ(form.GetAttribute("CAPTION"), "Installation");
  const TXMLObject* next = nullptr;
  for (const auto& item : form.Children()) {
    if (item->GetAttribute("ID") == "NextButton") next = item.get();
  }
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->GetAttribute("CAPTION"), "&Weiter");
  EXPECT_EQ(next->GetAttribute("HINT"), "h");
  bool found = false;
  for (const auto& item : application->FindChild("STRINGS")->Children()) {
    if (item->GetAttribute("ID") == "cdoyouexit") {
      found = true;
      EXPECT_EQ(item->GetAttribute("VALUE"), "Abbrechen?");
    }
  }
  EXPECT_TRUE(found);
}

TEST_F(TranslateTest, LanguageStepWithoutFileOrSwitchDoesNothing) {
  LocalizationStrings().Clear();
  const TLanguageStep nothing = RunLanguageStep(ParseCommandLine({}).ExportLanguage, folder.path());
  EXPECT_FALSE(nothing.EndNow);
  EXPECT_TRUE(nothing.Notes.empty());
  EXPECT_EQ(LocalizationStrings().Count(), 0u);
  EXPECT_FALSE(FileExists(folder / "Setup.lng"));

  // A file alone is applied, not rewritten.
  Write("Setup.lng", "<APPLICATION><FORMS/><STRINGS><ITEM ID='cError' VALUE='Fehler'/></STRINGS></APPLICATION>");
  const TLanguageStep applied = RunLanguageStep(ParseCommandLine({"/SILENT"}).ExportLanguage, folder.path());
  EXPECT_FALSE(applied.EndNow);
  EXPECT_EQ(applied.Notes, (std::vector<std::string>{"Language file " + folder / "Setup.lng" + " applied"}));
  EXPECT_EQ(cError, "Fehler");
  EXPECT_GT(LocalizationStrings().Count(), 60u);
}

// A Setup.lng dropped beside setup.exe may change words, never where or what is installed.
TEST_F(TranslateTest, AHostileFileChangesTextsButNoPathOrIdentifier) {
  auto wizard = MakeWizard();
  TControl& destination = wizard->Add("PathEdit", "tlabel", "Zarel\\");
  destination.CarriesData = true;
  wizard->Add("InterfaceList", "tlistview").Items = {"Name", "Value"};
  Write("Setup.lng",
        "<APPLICATION><FORMS><FORM ID='TMainForm' CAPTION='Setup'>"
        "<ITEM ID='PathEdit' CLASS='tlabel' CAPTION='..\\..\\Zarel\\'/>"
        "<ITEM ID='HostNameEdit' CLASS='tlabel' CAPTION='evil.example'/>"
        "<ITEM ID='LicenseMemo' CLASS='tbutton' CAPTION='No licence'/>"
        "<ITEM ID='ComponentList' CLASS='tlistview' ITEMSTEXT='Nothing'/>"
        "<ITEM ID='NextButton' CLASS='tcombobox' ITEMSTEXT='x'/>"
        "<ITEM ID='InterfaceList' CLASS='tcombobox' ITEMSTEXT='Nom'/>"
        "<ITEM ID='AboutLabel' CLASS='tbutton' CAPTION='Willkommen'/>"
        "</FORM></FORMS><STRINGS>"
        "<ITEM ID='cWebMailManualFile' VALUE='..\\..\\evil.exe'/>"
        "<ITEM ID='CINSTALLPROGRAM' VALUE='Startup'/>"
        "<ITEM ID='cZarelLogs' VALUE='..\\..\\Startup\\Logs'/>"
        "<ITEM ID='UninstallDesc' VALUE='C:evil'/>"
        "<ITEM ID='ZarelGWLinkDesc' VALUE='GroupWare?'/>"
        "<ITEM ID='cZarelWebmail' VALUE='Web-Mail (deutsch) ...'/>"
        "</STRINGS></APPLICATION>");
  std::vector<std::string> notes;
  ASSERT_TRUE(ApplyLanguageFile(folder / "Setup.lng", true, &notes));
  EXPECT_EQ(destination.Caption, "Zarel\\");
  EXPECT_EQ(wizard->FindComponent("HostNameEdit")->Caption, "typed");
  EXPECT_EQ(wizard->FindComponent("LicenseMemo")->Caption, "licence");
  EXPECT_EQ(wizard->FindComponent("ComponentList")->Items, (std::vector<std::string>{"Mail", "WebMail"}));
  EXPECT_EQ(wizard->FindComponent("NextButton")->Caption, "&Next >");
  // A list view called a combo box in the file is still a list view: its columns are renamed
  // in order, not replaced.
  EXPECT_EQ(wizard->FindComponent("InterfaceList")->Items, (std::vector<std::string>{"Nom", "Value"}));
  // A label named with another caption class is still a label.
  EXPECT_EQ(wizard->FindComponent("AboutLabel")->Caption, "Willkommen");
  EXPECT_EQ(cWebMailManualFile, "html\\mail\\help\\index.htm");
  EXPECT_EQ(cInstallProgram, "Programs");
  // Left as they are, and the log is told.
  EXPECT_EQ(notes, (std::vector<std::string>{
                       "Language file: cwebmailmanualfile ignored (a path or a registry name, not a word; "
                       "\"html\\mail\\help\\index.htm\" stays)",
                       "Language file: cinstallprogram ignored (a path or a registry name, not a word; \"Programs\" stays)"}));
  EXPECT_EQ(cZarelLogs, "Zarel Mail Server Logs");
  EXPECT_EQ(UninstallDesc, "Uninstall Zarel Mail Server");
  EXPECT_EQ(ZarelGWLinkDesc, "Start Zarel GroupWare Service");
  EXPECT_EQ(cZarelWebmail, "Web-Mail (deutsch) ...");

  // The destination is not offered for translation either.
  ASSERT_TRUE(ExportLanguageFile(folder / "Export.lng", false));
  auto document = Load(folder / "Export.lng");
  for (const auto& item : document->FindChild("APPLICATION")->FindChild("FORMS")->Children()[0]->Children()) {
    EXPECT_NE(item->GetAttribute("ID"), "PathEdit");
  }
}

TEST_F(TranslateTest, ClassesAndTheirValues) {
  const std::pair<std::string, TTranslateKind> rows[] = {
      {"tlabel", TTranslateKind::Caption},        {"tradiobutton", TTranslateKind::Caption},
      {"tbutton", TTranslateKind::Caption},       {"tcheckbox", TTranslateKind::Caption},
      {"ttabsheet", TTranslateKind::Caption},     {"tgroupbox", TTranslateKind::Caption},
      {"tmenuitem", TTranslateKind::Caption},     {"tdynpanel", TTranslateKind::Caption},
      {"tcombobox", TTranslateKind::ItemsText},   {"tadvancedheaderlist", TTranslateKind::ItemsText},
      {"tlistview", TTranslateKind::ItemsText},   {"tdfsextlistview", TTranslateKind::ItemsText},
      {"tedit", TTranslateKind::None},            {"tmemo", TTranslateKind::None},
      {"tpanel", TTranslateKind::None},           {"tchecklistbox", TTranslateKind::None},
      {"TLabel", TTranslateKind::None},  // class words are lower case
  };
  for (const auto& [word, kind] : rows) EXPECT_EQ(TranslateKindOf(word), kind) << word;

  // The list-view family is written under one class word, at most 16 columns.
  TFormModel form("TOther", "Other", "");
  TControl& view = form.Add("Columns", "tdfsenhlistview");
  for (int i = 0; i < 20; ++i) view.Items.push_back("c" + std::to_string(i));
  ASSERT_TRUE(ExportLanguageFile(folder / "cols.lng", false));
  auto document = Load(folder / "cols.lng");
  const TXMLObject& item =
      *document->FindChild("APPLICATION")->FindChild("FORMS")->Children()[0]->Children()[0];
  EXPECT_EQ(item.GetAttribute("CLASS"), "tcustomlistview");
  std::string expected;
  for (int i = 0; i < 16; ++i) expected += "c" + std::to_string(i) + "\r\n";
  EXPECT_EQ(item.GetAttribute("ITEMSTEXT"), expected);
}

}  // namespace
