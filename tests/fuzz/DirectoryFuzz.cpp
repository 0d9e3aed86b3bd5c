// Fuzz target for the directory side of an account: slapd.conf, ldapbypass.dat and the entry
// built from an account. Parts (separated by a line "--"): slapd.conf, ldapbypass.dat, the
// alias list, the full name, the domain.
//
// What must hold: an escaped DN value reads back as the value it came from and ends at no
// unescaped separator, so an alias or domain cannot add a component to the entry's name or move
// it into another subtree; a rule "*" keeps every account out.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "serverconfig/AccountRecord.h"
#include "serverconfig/DirectoryEntry.h"
#include "serverconfig/StoreFileUnit.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Reads an attribute value of a DN the way a directory server does; false when the text holds
// an unescaped special character (it would end the value or the component) or a bad escape.
bool UnescapeDnValue(const std::string& text, std::string& value) {
  value.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\\') {
      if (std::string(",+\";<>=").find(c) != std::string::npos) return false;
      value += c;
      continue;
    }
    if (i + 1 >= text.size()) return false;
    if (i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
      value += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      value += text[++i];
    }
  }
  return true;
}

void RequireRoundTrip(const std::string& value) {
  const std::string escaped = EscapeDnValue(value);
  std::string back;
  if (!UnescapeDnValue(escaped, back) || back != value) __builtin_trap();
  // Blanks at either end and a leading '#' would be dropped or read as a BER value.
  if (!escaped.empty() && (escaped.front() == ' ' || escaped.front() == '#')) __builtin_trap();
  if (escaped.size() >= 2 && escaped.back() == ' ' && escaped[escaped.size() - 2] != '\\') __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> parts = SplitFuzzParts(data, size);
  const TDirectoryConfig config = ParseDirectoryConfig(SplitTextLines(FuzzPart(parts, 0)));
  const std::vector<std::string> rules = ParseBypassRules(SplitTextLines(FuzzPart(parts, 1)));
  const std::string aliases = FuzzPart(parts, 2).substr(0, 255);
  const std::string fullName = FuzzPart(parts, 3).substr(0, 254);
  const std::string domain = FuzzPart(parts, 4).substr(0, 255);

  RequireRoundTrip(aliases);
  RequireRoundTrip(fullName);
  TAccountRecord account;
  account.Set(account::kAliases, aliases);
  account.Set(account::kFullName, fullName);
  const TDirectoryEntry entry = BuildDirectoryEntry(account, domain, config.AccountSuffix());
  // The naming component is "cn=" and one value; the first unescaped ',' ends it.
  if (entry.Dn.compare(0, 3, "cn=") != 0) __builtin_trap();
  std::size_t end = 3;
  while (end < entry.Dn.size() && entry.Dn[end] != ',') end += entry.Dn[end] == '\\' ? 2 : 1;
  std::string naming;
  if (end > entry.Dn.size() || !UnescapeDnValue(entry.Dn.substr(3, end - 3), naming)) __builtin_trap();
  for (const auto& [name, values] : entry.Attributes) {
    if (name == "cn" && values.size() > 2) __builtin_trap();
  }

  const std::string address = aliases + "@" + domain;
  PassesBypassRules(rules, address);
  // A list of blanks and separators names no alias; any other holds one.
  bool anyAlias = false;
  for (char c : aliases) anyAlias = anyAlias || (static_cast<unsigned char>(c) > ' ' && c != ';');
  if (anyAlias && PassesBypassRules({"*"}, address)) __builtin_trap();
  return 0;
}
