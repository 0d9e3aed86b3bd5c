// Fuzz target for a language file applied to the wizard's controls and the text table. The
// input is the file; the wizard is a model with one control of each kind the files treat
// differently, and every text is put back after each input.
//
// What must hold: a language file changes words only. The controls that carry data (the
// destination, the typed fields, the licence) and the texts that are a path or an identifier
// keep their values; a list keeps its number of items.
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "base/FileSystemUnit.h"
#include "texts/TextTable.h"
#include "wizard/ControlModel.h"
#include "wizard/TranslateUnit.h"

namespace {

TFormModel& Wizard() {
  static TFormModel* form = [] {
    auto* made = new TFormModel("TMainForm", "MainForm", "Zarel Mail Server 8.2.0 Setup");
    made->Add("AboutLabel", "tlabel", "Welcome to the Zarel Mail Server Setup Wizard");
    made->Add("NextButton", "tbutton", "&Next >", 1);
    made->Add("CheckLatest", "tcheckbox", "Check for new version on the Internet");
    made->Add("AdvancedMode", "tradiobutton", "Advanced");
    made->Add("DestinationGroup", "tgroupbox", "Destination Directory");
    made->Add("PathEdit", "tlabel", "C:\\Program Files\\Zarel\\").CarriesData = true;
    made->Add("HostNameEdit", "tedit", "typed");
    made->Add("LicenseMemo", "tmemo", "licence");
    made->Add("ComponentList", "tchecklistbox").Items = {"Mail", "WebMail", "AntiSpam"};
    made->Add("InterfaceList", "tlistview").Items = {"Name", "Value"};
    return made;
  }();
  return *form;
}

struct TSavedTexts {
  std::map<std::string*, std::string> texts;
  std::map<TControl*, TControl> controls;
};

TSavedTexts Save() {
  TSavedTexts saved;
  for (std::size_t i = 0; i < LocalizationStrings().Count(); ++i) {
    saved.texts[LocalizationStrings()[i].text] = *LocalizationStrings()[i].text;
  }
  for (const auto& control : Wizard().Components()) saved.controls.emplace(control.get(), *control);
  return saved;
}

void CheckAndRestore(const TSavedTexts& saved) {
  for (const auto& [control, before] : saved.controls) {
    const bool keepsValue = control->CarriesData || control->ClassWord == "tedit" || control->ClassWord == "tmemo";
    if (keepsValue && control->Caption != before.Caption) __builtin_trap();
    if (control->Items.size() != before.Items.size()) __builtin_trap();
    *control = before;
  }
  if (cWebMailManualFile != saved.texts.at(&cWebMailManualFile)) __builtin_trap();
  if (cInstallProgram != saved.texts.at(&cInstallProgram)) __builtin_trap();
  for (const auto& [text, before] : saved.texts) *text = before;
  Wizard().SetCaption("Zarel Mail Server 8.2.0 Setup");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool registered = [] {
    RegisterTexts();
    return true;
  }();
  (void)registered;
  static const std::string path = GetSpecialFolder(SpecialFolder::Temporary, false) + "zarel-fuzz-language\\Setup.lng";
  WriteWholeFile(std::string(reinterpret_cast<const char*>(data), size), path, false);
  const TSavedTexts saved = Save();
  ApplyLanguageFile(path, true);
  CheckAndRestore(saved);
  return 0;
}
