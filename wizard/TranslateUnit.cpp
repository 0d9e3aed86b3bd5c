#include "wizard/TranslateUnit.h"

#include <fstream>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "base/FileSystemUnit.h"
#include "wizard/ControlModel.h"
#include "texts/TextTable.h"
#include "xml/XMLUnit.h"

namespace {

constexpr std::size_t kAttributeMax = 255;
// List views give at most this many column captions.
constexpr std::size_t kListViewColumnMax = 16;

bool IsListViewClass(const std::string& classWord) {
  return classWord == "tcustomlistview" || classWord == "tlistview" ||
         classWord == "textlistviewmanagement" || classWord == "tdfsenhlistview" ||
         classWord == "tdfsextlistview";
}

// The CLASS written for a control: the list-view family is written under one name.
std::string ExportedClass(const std::string& classWord) {
  return IsListViewClass(classWord) ? "tcustomlistview" : classWord;
}

std::string JoinLines(const std::vector<std::string>& lines, std::size_t limit) {
  std::string text;
  for (std::size_t i = 0; i < lines.size() && i < limit; ++i) text += lines[i] + "\r\n";
  return text;
}

// Split at line feeds, each piece trimmed of white space (which takes the carriage returns),
// empty pieces dropped.
std::vector<std::string> SplitItemsText(const std::string& text) {
  std::vector<std::string> pieces;
  std::size_t from = 0;
  while (from <= text.size()) {
    std::size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    std::size_t first = from;
    std::size_t last = end;
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ') ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') --last;
    if (last > first) pieces.push_back(text.substr(first, last - first));
    from = end + 1;
  }
  return pieces;
}

// Registered texts that are a path or an identifier, not words: the web mail manual's
// shortcut target and the name of the registry value the Start-menu folder is read from. The
// export lists them in their places (translators' files and tools follow the registration
// order); applying a file leaves them as they are.
bool IsFixedText(const std::string* variable) {
  return variable == &cWebMailManualFile || variable == &cInstallProgram;
}

// Texts that become shortcut file names in the Start-menu folder (text + ".lnk").
bool IsShortcutName(const std::string* variable) {
  for (const std::string* name : {&UninstallDesc, &cZarelWebmail, &cZarelWebAdmin, &cZarelLogs,
                                  &cWebMailManual, &ZarelSMTPLinkDesc, &ZarelPOP3LinkDesc,
                                  &ZarelControlLinkDesc, &ZarelIMLinkDesc, &ZarelGWLinkDesc}) {
    if (variable == name) return true;
  }
  return false;
}

// A translated shortcut name may rename the shortcut, never place it in another folder.
bool IsPlainFileName(const std::string& text) {
  constexpr std::string_view kNotInFileNames = "\\/:*?\"<>|";
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < ' ' || kNotInFileNames.find(c) != std::string_view::npos) {
      return false;
    }
  }
  return true;
}

std::string ReadAttribute(const TXMLObject& element, const std::string& name) {
  return element.GetAttribute(name).substr(0, kAttributeMax);
}

void AddControlItem(TXMLObject& form, const TControl& control) {
  const TTranslateKind kind = TranslateKindOf(control.ClassWord);
  if (kind == TTranslateKind::None || control.CarriesData) return;
  std::string value;
  if (kind == TTranslateKind::Caption) {
    value = control.Caption;
  } else {
    value = JoinLines(control.Items, IsListViewClass(control.ClassWord) ? kListViewColumnMax
                                                                       : control.Items.size());
  }
  if (value.empty()) return;
  TXMLObject* item = form.AddChild("ITEM");
  item->AddAttribute("ID", control.Name);
  item->AddAttribute("CLASS", ExportedClass(control.ClassWord));
  item->AddAttribute(kind == TTranslateKind::Caption ? "CAPTION" : "ITEMSTEXT", value);
  item->AddAttribute("HINT", control.Hint);
}

// Applies one ITEM to its control by the CLASS the file names. Throws when a list in the file
// is longer than the control's fixed list.
void ApplyControlItem(TControl& control, const TXMLObject& item) {
  const std::string classWord = ReadAttribute(item, "CLASS");
  const TTranslateKind kind = TranslateKindOf(classWord);
  if (kind == TTranslateKind::None) return;
  // The file's CLASS must not turn a field, a memo or the destination into a label: their
  // text is input or data, never a translation.
  if (control.CarriesData || TranslateKindOf(control.ClassWord) != kind) return;
  const std::string hint = ReadAttribute(item, "HINT");
  if (kind == TTranslateKind::Caption) {
    control.Caption = ReadAttribute(item, "CAPTION");
    control.Hint = hint;
    if (control.Owner != nullptr) control.Owner->Changed(control);
    return;
  }
  const std::vector<std::string> pieces = SplitItemsText(ReadAttribute(item, "ITEMSTEXT"));
  if (control.ClassWord == "tcombobox") {  // the control's own class: the file's may lie
    control.Items = pieces;
    control.ItemIndex = 0;
  } else {
    // Header items and columns are fixed: the file renames them in order.
    if (pieces.size() > control.Items.size()) {
      throw std::out_of_range("more item texts than " + control.Name + " has");
    }
    for (std::size_t i = 0; i < pieces.size(); ++i) control.Items[i] = pieces[i];
  }
  control.Hint = hint;
  if (control.Owner != nullptr) control.Owner->Changed(control);
}

void ApplyForms(const TXMLObject& forms) {
  for (const auto& formElement : forms.Children()) {
    TFormModel* form = FindApplicationForm(ReadAttribute(*formElement, "ID"));
    if (form == nullptr) continue;
    form->SetCaption(ReadAttribute(*formElement, "CAPTION"));
    for (const auto& item : formElement->Children()) {
      TControl* control = form->FindComponent(ReadAttribute(*item, "ID"));
      if (control != nullptr) ApplyControlItem(*control, *item);
    }
  }
}

void ApplyStrings(const TXMLObject& strings, std::vector<std::string>* notes) {
  for (const auto& item : strings.Children()) {
    TLocalizationEntry* entry = LocalizationStrings().Find(ReadAttribute(*item, "ID"));
    if (entry == nullptr) continue;
    if (IsFixedText(entry->text)) {
      if (notes != nullptr)
        notes->push_back("Language file: " + entry->name + " ignored (a path or a registry name, not a word; \"" +
                         *entry->text + "\" stays)");
      continue;
    }
    const std::string element = item->GetText();
    const std::string text = element.empty() ? ReadAttribute(*item, "VALUE") : element;
    if (IsShortcutName(entry->text) && !IsPlainFileName(text)) continue;
    *entry->text = text;
  }
}

}  // namespace

TTranslateKind TranslateKindOf(const std::string& classWord) {
  if (classWord == "tlabel" || classWord == "tradiobutton" || classWord == "tbutton" ||
      classWord == "tcheckbox" || classWord == "ttabsheet" || classWord == "tgroupbox" ||
      classWord == "tmenuitem" || classWord == "tdynpanel") {
    return TTranslateKind::Caption;
  }
  if (classWord == "tcombobox" || classWord == "tadvancedheaderlist" || IsListViewClass(classWord)) {
    return TTranslateKind::ItemsText;
  }
  return TTranslateKind::None;
}

bool ExportLanguageFile(const std::string& path, bool includeTexts) {
  TXMLObject document;
  TXMLObject* application = document.AddChild("APPLICATION");
  TXMLObject* forms = application->AddChild("FORMS");
  for (const TFormModel* form : ApplicationForms()) {
    if (form->Name().empty()) continue;
    TXMLObject* formElement = forms->AddChild("FORM");
    formElement->AddAttribute("ID", form->ClassName());
    formElement->AddAttribute("CAPTION", form->Caption());
    for (const auto& control : form->Components()) AddControlItem(*formElement, *control);
  }
  if (includeTexts) {
    TXMLObject* strings = application->AddChild("STRINGS");
    const TLocalizationStrings& table = LocalizationStrings();
    for (std::size_t i = 0; i < table.Count(); ++i) {
      TXMLObject* item = strings->AddChild("ITEM");
      item->AddAttribute("ID", table[i].name);
      const std::string& text = *table[i].text;
      // The attribute is cut at 255 characters after escaping: a text whose escaped form is
      // longer travels as element text too, or it would come back cut.
      if (text.size() > kAttributeMax || XMLEscape(text).size() > kAttributeMax) {
        item->SetText(text);
      } else {
        item->AddAttribute("VALUE", text);
      }
    }
  }
  const std::string folder = ExtractFilePath(path);
  if (!folder.empty()) ForceDirectories(folder);
  std::ofstream file(HostPath(path), std::ios::binary | std::ios::trunc);
  if (!file) return false;
  file << document.GetXML(true);
  file.close();
  return static_cast<bool>(file);
}

bool ApplyLanguageFile(const std::string& path, bool includeTexts, std::vector<std::string>* notes) {
  TXMLObject document;
  if (!FileExists(path) || !document.LoadFromFile(path)) return false;
  const TXMLObject* application = document.FindChild("APPLICATION");
  try {
    if (application == nullptr) throw std::runtime_error("no APPLICATION");
    const TXMLObject* forms = application->FindChild("FORMS");
    if (forms == nullptr) throw std::runtime_error("no FORMS");
    ApplyForms(*forms);
  } catch (const std::exception&) {
    // What was applied stays; the texts are left as they are.
    return true;
  }
  if (includeTexts) {
    if (const TXMLObject* strings = application->FindChild("STRINGS")) ApplyStrings(*strings, notes);
  }
  return true;
}

TLanguageStep RunLanguageStep(bool exportAsked, const std::string& setupFolder) {
  TLanguageStep step;
  const std::string path = ShortPath(setupFolder + "Setup.lng");
  const bool exists = FileExists(path);
  if (exportAsked || exists) {
    RegisterTexts();
  }
  if (exists) {
    const bool applied = ApplyLanguageFile(path, true, &step.Notes);
    step.Notes.insert(step.Notes.begin(), "Language file " + path + (applied ? " applied" : " not readable, left out"));
  }
  if (exportAsked) ExportLanguageFile(path, true);
  step.EndNow = exportAsked;
  return step;
}
