// groups.dat and the comparison of ";"-separated alias lists.
//
// groups.dat: sections separated by empty lines; a section's first line is "[group]", the
// others are its members: "[other group]" (nested), "{file}" (a plain member list, relative to
// the configuration folder), an address rule (digits, "*", "-", ".", "/": matches IP
// addresses only) or an address or domain, possibly a wildcard pattern.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

struct TGroupSection {
  std::string Name;  // lower case, without brackets
  std::vector<std::string> Members;
};

std::vector<TGroupSection> ParseGroupSections(const std::vector<std::string>& lines);

// "[" + letter ... "]"
bool IsGroupReference(const std::string& item);
bool IsAddressRule(const std::string& member);
// Rule forms: "a.b.c.d" with "*" or "n-m" per part, or "a.b.c.d/bits".
bool AddressRuleMatches(const std::string& rule, const std::string& address);

// Reads groups.dat of a configuration folder when first needed.
class TGroupResolver {
 public:
  explicit TGroupResolver(std::string configFolder);
  // Sections given directly (tests, fuzzing); member files are still read from the folder.
  TGroupResolver(std::string configFolder, std::vector<TGroupSection> sections);

  // True when a member of the group (nested groups and member files followed, each visited
  // once) matches the searched alias.
  bool GroupHasAlias(const std::string& group, const std::string& alias);
  // True when an address rule of the group matches the IP address.
  bool GroupHasAddress(const std::string& group, const std::string& address);

 private:
  struct TSearch;
  const std::vector<TGroupSection>& Sections();
  bool SectionMatches(const std::string& group, TSearch& search);
  bool MembersMatch(const std::vector<std::string>& members, TSearch& search);
  bool MemberMatches(const std::string& member, TSearch& search);

  std::string configFolder_;
  bool loaded_ = false;
  std::vector<TGroupSection> sections_;
};

// Alias comparison: both lists trimmed and lower-cased; either empty never matches; two single
// items match when equal; otherwise any item of one equal to any item of the other. With
// groups, an item "[group]" of recordList also matches a searched item its group holds.
bool AliasListsMatch(const std::string& recordList, const std::string& searchedList,
                     TGroupResolver* groups);
