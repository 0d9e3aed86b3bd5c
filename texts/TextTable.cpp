#include "texts/TextTable.h"

#include "base/StringUnit.h"

#define ZAREL_TEXT(name, text) std::string name = text;
#include "texts/TextList.h"
#undef ZAREL_TEXT

std::string cDemoMessage = "Demonstration message";
std::string cDemoMessageSubject = "Demonstration message";

namespace {
std::string LowerCaseName(const std::string& name) { return LowerCase(name.substr(0, kTextNameMax)); }
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
#define ZAREL_TEXT(name, text) RegisterText(#name, name);
#include "texts/TextList.h"
#undef ZAREL_TEXT
}

bool SetTextByName(const std::string& name, const std::string& text) {
  TLocalizationEntry* entry = LocalizationStrings().Find(name);
  if (entry == nullptr) return false;
  *entry->text = text;
  return true;
}
