// The small text files of the configuration store and the rules they share.
#pragma once

#include <string>
#include <vector>

// TrimText and LowerCase, which the store's text rules use throughout.
#include "base/StringUnit.h"

// Comment rule: for "#" and then "// ", a doubled first character stands for the literal
// marker ("##" -> "#", "// /" -> "/"), otherwise the line ends at the marker; then the first
// "/*" through the next "*/" is removed, and the ends are trimmed. A "/*" that is never closed
// removes the rest of the line: a comment left open is still a comment, and the text after it
// was never meant as a value.
std::string CleanConfigLine(const std::string& line);

// Items of a separated list, each trimmed; empty items are kept.
std::vector<std::string> SplitText(const std::string& text, char separator);

bool IsWildcardPattern(const std::string& pattern);
// "*" matches any run of characters (also none), "?" exactly one; letter case significant.
bool WildcardMatch(const std::string& pattern, const std::string& text);

// path.cfg in the root folder, one value per line number.
struct TPathConfig {
  static constexpr int kLineCount = 11;
  bool Present = false;
  std::string ConfigFolder;        // 0
  std::string HtmlFolder;          // 1
  std::string HtmlTempFolder;      // 2
  std::string TempFilePrefix;      // 3
  std::string NetworkShares;       // 4
  std::string Folder5;             // 5
  std::string Folder6;             // 6
  std::string ForwardFolder;       // 7
  std::string ForwardRetryFolder;  // 8
  std::string ServerList;          // 9, first value
  std::string OutgoingBind;        // 9, second value
  std::string HostName;            // 10
};
TPathConfig ParsePathConfig(const std::vector<std::string>& lines);

struct TNetworkShare {
  std::string RemoteName;
  std::string UserName;
  std::string Password;
};
// Line 4 of path.cfg: entries separated by "|", fields by ";".
std::vector<TNetworkShare> ParseNetworkShares(const std::string& text);
// Connects each share through the host seam; failures are skipped. Returns how many connected.
int ConnectNetworkShares(const std::vector<TNetworkShare>& shares);

// servertitle.dat: first line is the product title, later "name=value" lines extra pairs.
struct TServerTitle {
  std::string Title;
  std::vector<std::pair<std::string, std::string>> Pairs;
};
constexpr const char* kDefaultProductTitle = "Zarel 8.2.0";
TServerTitle ParseServerTitle(const std::vector<std::string>& lines);

// bind.dat of the configuration folder: "Outgoing_Bind=" and "IPv6_Bind=".
struct TGlobalBindings {
  std::string OutgoingBind;
  std::string IPv6Bind;
};
TGlobalBindings ParseGlobalBindings(const std::vector<std::string>& lines);

// subdomains.dat: "pattern=domain" lines, lower case.
struct TSubdomainRule {
  std::string Pattern;
  std::string Domain;
};
std::vector<TSubdomainRule> ParseSubdomainRules(const std::vector<std::string>& lines);
// The first rule whose pattern matches name, or nullptr.
const TSubdomainRule* MatchSubdomainRule(const std::vector<TSubdomainRule>& rules,
                                         const std::string& name);
