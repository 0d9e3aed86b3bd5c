#include "wizard/ControlModel.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace {
std::vector<TFormModel*>& Forms() {
  static std::vector<TFormModel*> forms;
  return forms;
}
}  // namespace

void TControl::SetCaption(const std::string& text) {
  Caption = text;
  if (Owner != nullptr) Owner->Changed(*this);
}

void TControl::SetHint(const std::string& text) {
  Hint = text;
  if (Owner != nullptr) Owner->Changed(*this);
}

void TControl::SetItems(const std::vector<std::string>& items) {
  Items = items;
  if (Owner != nullptr) Owner->Changed(*this);
}

TFormModel::TFormModel(std::string className, std::string name, std::string caption)
    : className_(std::move(className)), name_(std::move(name)), caption_(std::move(caption)) {
  Forms().push_back(this);
}

TFormModel::~TFormModel() {
  auto& forms = Forms();
  forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
}

void TFormModel::SetCaption(const std::string& text) {
  caption_ = text;
  if (OnCaptionChanged) OnCaptionChanged();
}

TControl& TFormModel::Add(const std::string& name, const std::string& classWord,
                          const std::string& caption, int tag) {
  if (FindComponent(name) != nullptr) throw std::logic_error("duplicate control name " + name);
  auto control = std::make_unique<TControl>();
  control->Name = name;
  control->ClassWord = classWord;
  control->Caption = caption;
  control->Tag = tag;
  control->Owner = this;
  components_.push_back(std::move(control));
  return *components_.back();
}

TControl* TFormModel::FindComponent(const std::string& name) {
  for (auto& control : components_) {
    if (control->Name == name) return control.get();
  }
  return nullptr;
}

void TFormModel::Changed(TControl& control) {
  if (OnControlChanged) OnControlChanged(control);
}

const std::vector<TFormModel*>& ApplicationForms() { return Forms(); }

TFormModel* FindApplicationForm(const std::string& className) {
  for (TFormModel* form : Forms()) {
    if (form->ClassName() == className) return form;
  }
  return nullptr;
}
