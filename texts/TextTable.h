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

// Registered texts, in registration (and export) order: one variable per line of TextList.h.
#define ZAREL_TEXT(name, text) extern std::string name;
#include "texts/TextList.h"
#undef ZAREL_TEXT

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
// Registers every text of TextList.h, in its order.
void RegisterTexts();
// Assigns the text to the first entry with that name (any letter case). True when the name
// is registered; an unknown name changes nothing.
bool SetTextByName(const std::string& name, const std::string& text);
