#include "serverconfig/GroupsUnit.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "base/FileSystemUnit.h"
#include "base/StringUnit.h"
#include "serverconfig/ConfigTextUnit.h"
#include "serverconfig/StoreFileUnit.h"

namespace {

constexpr std::size_t kAddressRuleMinLength = 6;

bool IsLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

std::string Bracketed(const std::string& item) {
  return item.size() >= 2 ? LowerCase(TrimText(item.substr(1, item.size() - 2))) : std::string();
}

std::string DomainPart(const std::string& alias) {
  const std::size_t at = alias.find('@');
  return at == std::string::npos ? std::string() : alias.substr(at + 1);
}

bool PatternEquals(const std::string& pattern, const std::string& text) {
  return IsWildcardPattern(pattern) ? WildcardMatch(pattern, text) : pattern == text;
}

bool ParseNumber(const std::string& text, long& value) {
  if (text.empty() || text.size() > 10) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  value = std::strtol(text.c_str(), nullptr, 10);
  return true;
}

bool ParseIPv4(const std::string& text, unsigned long& address) {
  const std::vector<std::string> parts = SplitText(text, '.');
  if (parts.size() != 4) return false;
  address = 0;
  for (const std::string& part : parts) {
    long value;
    if (!ParseNumber(part, value) || value > 255) return false;
    address = (address << 8) | static_cast<unsigned long>(value);
  }
  return true;
}

bool PartMatches(const std::string& rulePart, long value) {
  if (rulePart == "*") return true;
  const std::size_t dash = rulePart.find('-');
  long low, high;
  if (dash == std::string::npos) {
    return ParseNumber(rulePart, low) && low == value;
  }
  return ParseNumber(rulePart.substr(0, dash), low) &&
         ParseNumber(rulePart.substr(dash + 1), high) && value >= low && value <= high;
}

}  // namespace

std::vector<TGroupSection> ParseGroupSections(const std::vector<std::string>& lines) {
  std::vector<TGroupSection> sections;
  bool inSection = false;   // a header was seen and no empty line since
  bool validSection = false;
  for (const std::string& raw : lines) {
    const std::string line = CleanConfigLine(TrimText(raw));
    if (line.empty()) {
      inSection = false;
      continue;
    }
    if (!inSection) {
      inSection = true;
      validSection = line.size() >= 2 && line.front() == '[' && line.back() == ']';
      if (validSection) sections.push_back({Bracketed(line), {}});
      continue;
    }
    if (validSection) sections.back().Members.push_back(line);
  }
  return sections;
}

bool IsGroupReference(const std::string& item) {
  return item.size() >= 3 && item.front() == '[' && IsLetter(item[1]) && item.back() == ']';
}

bool IsAddressRule(const std::string& member) {
  if (member.size() < kAddressRuleMinLength) return false;
  for (char c : member) {
    if (!std::isdigit(static_cast<unsigned char>(c)) && c != '*' && c != '-' && c != '.' &&
        c != '/') {
      return false;
    }
  }
  auto edge = [](char c) { return c == '*' || std::isdigit(static_cast<unsigned char>(c)); };
  return edge(member.front()) && edge(member.back());
}

bool AddressRuleMatches(const std::string& rule, const std::string& address) {
  unsigned long ip;
  if (!ParseIPv4(TrimText(address), ip)) return false;
  const std::size_t slash = rule.find('/');
  if (slash != std::string::npos) {
    unsigned long base;
    long bits;
    if (!ParseIPv4(rule.substr(0, slash), base) || !ParseNumber(rule.substr(slash + 1), bits) ||
        bits > 32) {
      return false;
    }
    const unsigned long mask = bits == 0 ? 0 : (0xFFFFFFFFul << (32 - bits)) & 0xFFFFFFFFul;
    return (ip & mask) == (base & mask);
  }
  const std::vector<std::string> parts = SplitText(rule, '.');
  if (parts.size() != 4) return false;
  for (int i = 0; i < 4; ++i) {
    if (!PartMatches(parts[i], static_cast<long>((ip >> (24 - 8 * i)) & 0xFF))) return false;
  }
  return true;
}

struct TGroupResolver::TSearch {
  std::string Alias;       // lower case; empty when an address is searched
  std::string Address;
  std::set<std::string> VisitedGroups;
  std::set<std::string> VisitedFiles;
};

TGroupResolver::TGroupResolver(std::string configFolder) : configFolder_(std::move(configFolder)) {}

TGroupResolver::TGroupResolver(std::string configFolder, std::vector<TGroupSection> sections)
    : configFolder_(std::move(configFolder)), loaded_(true), sections_(std::move(sections)) {}

const std::vector<TGroupSection>& TGroupResolver::Sections() {
  if (!loaded_) {
    loaded_ = true;
    std::vector<std::string> lines;
    if (ReadTextLines(configFolder_ + "groups.dat", lines)) sections_ = ParseGroupSections(lines);
  }
  return sections_;
}

bool TGroupResolver::GroupHasAlias(const std::string& group, const std::string& alias) {
  TSearch search;
  search.Alias = LowerCase(TrimText(alias));
  if (search.Alias.empty()) return false;
  return SectionMatches(LowerCase(group), search);
}

bool TGroupResolver::GroupHasAddress(const std::string& group, const std::string& address) {
  TSearch search;
  search.Address = TrimText(address);
  if (search.Address.empty()) return false;
  return SectionMatches(LowerCase(group), search);
}

bool TGroupResolver::SectionMatches(const std::string& group, TSearch& search) {
  // A group met again (A names B, B names A) has been searched already.
  if (!search.VisitedGroups.insert(group).second) return false;
  for (const TGroupSection& section : Sections()) {
    if (section.Name == group) return MembersMatch(section.Members, search);
  }
  return false;
}

bool TGroupResolver::MembersMatch(const std::vector<std::string>& members, TSearch& search) {
  for (const std::string& member : members) {
    if (MemberMatches(member, search)) return true;
  }
  return false;
}

bool TGroupResolver::MemberMatches(const std::string& member, TSearch& search) {
  if (IsGroupReference(member)) return SectionMatches(Bracketed(member), search);
  if (member.size() >= 2 && member.front() == '{' && member.back() == '}') {
    std::string file = TrimText(member.substr(1, member.size() - 2));
    if (file.empty()) return false;
    if (!IsAbsolutePath(file)) file = configFolder_ + file;
    if (!search.VisitedFiles.insert(LowerCase(file)).second) return false;
    std::vector<std::string> lines;
    if (!ReadTextLines(file, lines)) return false;
    std::vector<std::string> fileMembers;
    for (const std::string& line : lines) {
      const std::string cleaned = CleanConfigLine(line);
      if (!cleaned.empty()) fileMembers.push_back(cleaned);
    }
    return MembersMatch(fileMembers, search);
  }
  if (IsAddressRule(member)) {
    return !search.Address.empty() && AddressRuleMatches(member, search.Address);
  }
  if (search.Alias.empty()) return false;
  std::string address = LowerCase(member);
  address.erase(std::remove_if(address.begin(), address.end(),
                               [](char c) { return c == '<' || c == '>'; }),
                address.end());
  address = TrimText(address);
  if (!address.empty() && address.front() == '@') address.erase(0, 1);
  if (address.empty()) return false;
  if (address.find('@') == std::string::npos) {
    return PatternEquals(address, DomainPart(search.Alias));
  }
  return PatternEquals(address, search.Alias);
}

bool AliasListsMatch(const std::string& recordList, const std::string& searchedList,
                     TGroupResolver* groups) {
  const std::string record = LowerCase(TrimText(recordList));
  const std::string searched = LowerCase(TrimText(searchedList));
  if (record.empty() || searched.empty()) return false;
  if (record.find(';') == std::string::npos && searched.find(';') == std::string::npos) {
    return record == searched;
  }
  const std::vector<std::string> recordItems = SplitText(record, ';');
  const std::vector<std::string> searchedItems = SplitText(searched, ';');
  for (const std::string& item : recordItems) {
    if (item.empty()) continue;
    for (const std::string& wanted : searchedItems) {
      if (wanted.empty()) continue;
      if (item == wanted) return true;
      if (groups != nullptr && IsGroupReference(item) &&
          groups->GroupHasAlias(Bracketed(item), wanted)) {
        return true;
      }
    }
  }
  return false;
}
