#include "serverconfig/DirectoryEntry.h"

#include <cstdio>

#include "serverconfig/ConfigTextUnit.h"
#include "xml/CodePage.h"
#include "xml/XMLUnit.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Tabs become blanks and every run of blanks one blank.
std::string CollapseBlanks(const std::string& line) {
  std::string text;
  for (char c : line) {
    if (!IsBlank(c)) {
      text += c;
    } else if (text.empty() || text.back() != ' ') {
      text += ' ';
    }
  }
  return text;
}

std::string Unquoted(std::string value) {
  if (!value.empty() && value.front() == '"') value.erase(0, 1);
  if (!value.empty() && value.back() == '"') value.pop_back();
  return TrimText(value);
}

std::string Utf8(const std::string& ansi) { return EncodeUtf8(AnsiToUtf16(ansi)); }

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return LowerCase(a) == LowerCase(b);
}

void AddOnce(std::vector<std::string>& values, const std::string& value) {
  for (const std::string& present : values) {
    if (SameIgnoringCase(present, value)) return;
  }
  values.push_back(value);
}

struct TNameParts {
  std::string Common;
  std::string Given;
  std::string Surname;
};

// The full name split at its first run of blanks; an empty name leaves the alias list as
// the surname, so that the entry still has the sn and cn the object class requires.
TNameParts SplitFullName(const std::string& fullName, const std::string& aliases) {
  const std::string name = TrimText(fullName);
  if (name.empty()) return {aliases, {}, aliases};
  std::size_t end = 0;
  while (end < name.size() && !IsBlank(name[end])) ++end;
  if (end == name.size()) return {name, {}, name};
  return {name, name.substr(0, end), TrimText(name.substr(end))};
}

std::vector<std::string> MailValues(const std::string& aliases, const std::string& domain) {
  std::vector<std::string> values;
  for (const std::string& alias : SplitText(aliases, ';')) {
    if (!alias.empty()) AddOnce(values, Utf8(alias + "@" + domain));
  }
  return values;
}

std::string RuleText(const std::string& line) {
  std::string rule = LowerCase(CleanConfigLine(line));
  if (rule.size() >= 2 && rule.front() == '<' && rule.back() == '>') {
    rule = TrimText(rule.substr(1, rule.size() - 2));
  }
  return rule;
}

bool RuleMatches(const std::string& rule, const std::string& address, const std::string& domain) {
  if (rule.front() == '@') return WildcardMatch(rule.substr(1), domain);
  if (rule.find('@') == std::string::npos) return WildcardMatch(rule, domain);
  return WildcardMatch(rule, address);
}

}  // namespace

TDirectoryConfig ParseDirectoryConfig(const std::vector<std::string>& lines) {
  TDirectoryConfig config;
  for (const std::string& raw : lines) {
    const std::string line = CollapseBlanks(TrimText(raw));
    if (line.empty()) continue;
    const std::size_t blank = line.find(' ');
    const std::string keyword = LowerCase(line.substr(0, blank));
    const std::string value = blank == std::string::npos ? "" : Unquoted(line.substr(blank + 1));
    if (keyword == "suffix") config.Suffix = value;
    if (keyword == "usersuffix") config.UserSuffix = value;
    if (keyword == "rootdn") config.BindName = value;
    if (keyword == "rootpw") config.BindPassword = value;
  }
  return config;
}

std::string EscapeDnValue(const std::string& value) {
  std::string escaped;
  for (std::size_t i = 0; i < value.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(value[i]);
    const bool edgeBlank = c == ' ' && (i == 0 || i + 1 == value.size());
    if (c < 0x20 || c == 0x7F) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "\\%02X", c);
      escaped += hex;
      continue;
    }
    if (std::string(",+\"\\;<>=").find(static_cast<char>(c)) != std::string::npos || edgeBlank ||
        (c == '#' && i == 0)) {
      escaped += '\\';
    }
    escaped += static_cast<char>(c);
  }
  return escaped;
}

std::string FormatDirectorySuffix(const std::string& suffix, const std::string& domain) {
  const std::string value = EscapeDnValue(Utf8(domain));
  std::string formatted;
  for (std::size_t i = 0; i < suffix.size(); ++i) {
    if (suffix.compare(i, 2, "%s") == 0) {
      formatted += value;
      ++i;
    } else {
      formatted += suffix[i];
    }
  }
  return formatted;
}

TDirectoryEntry BuildDirectoryEntry(const TAccountRecord& account, const std::string& domain,
                                    const std::string& suffix) {
  const std::string aliases = TrimText(account.Get(account::kAliases));
  const std::string naming = Utf8(aliases + "@" + domain);
  const TNameParts name = SplitFullName(account.Get(account::kFullName), aliases);

  std::vector<std::string> common{Utf8(name.Common)};
  // The server adds the naming value on its own when an entry is created and refuses an
  // update that would drop it; sending it keeps updates possible.
  AddOnce(common, naming);
  std::vector<std::string> given;
  if (!name.Given.empty()) given.push_back(Utf8(name.Given));

  TDirectoryEntry entry;
  entry.Dn = "cn=" + EscapeDnValue(naming) + "," + FormatDirectorySuffix(suffix, domain);
  entry.Attributes = {{"objectClass", {"inetOrgPerson"}},
                      {"cn", common},
                      {"givenName", given},
                      {"sn", {Utf8(name.Surname)}},
                      {"mail", MailValues(aliases, domain)}};
  return entry;
}

std::vector<std::string> ParseBypassRules(const std::vector<std::string>& lines) {
  std::vector<std::string> rules;
  for (const std::string& line : lines) {
    std::string rule = RuleText(line);
    if (!rule.empty() && rule != "@") rules.push_back(rule);
  }
  return rules;
}

bool PassesBypassRules(const std::vector<std::string>& rules, const std::string& address) {
  const std::string text = LowerCase(address);
  const std::size_t at = text.rfind('@');
  const std::string domain = at == std::string::npos ? "" : text.substr(at + 1);
  const std::string aliases = at == std::string::npos ? text : text.substr(0, at);
  for (const std::string& alias : SplitText(aliases, ';')) {
    if (alias.empty()) continue;
    for (const std::string& rule : rules) {
      if (RuleMatches(rule, alias + "@" + domain, domain)) return false;
    }
  }
  return true;
}
