#include "serverconfig/ConfigTextUnit.h"

#include <algorithm>
#include <cctype>

#include "base/FileSystemUnit.h"
#include "base/StringUnit.h"
#include "serverconfig/HostSeam.h"

namespace {

void StripLineComment(std::string& line, const std::string& marker) {
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = line.find(marker, from);
    if (at == std::string::npos) return;
    const std::size_t after = at + marker.size();
    if (after < line.size() && line[after] == marker[0]) {
      line.erase(at, marker.size());
      from = at + 1;
    } else {
      line.erase(at);
      return;
    }
  }
}

void StripBlockComment(std::string& line) {
  const std::size_t open = line.find("/*");
  if (open == std::string::npos) return;
  const std::size_t close = line.find("*/", open + 2);
  if (close == std::string::npos) {
    line.erase(open);
  } else {
    line.erase(open, close + 2 - open);
  }
}

std::string FolderValue(const std::string& text) {
  return text.empty() ? text : NormalizePath(text, true, false);
}

}  // namespace

std::vector<std::string> SplitText(const std::string& text, char separator) {
  std::vector<std::string> items;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = text.find(separator, from);
    items.push_back(TrimText(text.substr(from, at == std::string::npos ? at : at - from)));
    if (at == std::string::npos) break;
    from = at + 1;
  }
  return items;
}

std::string CleanConfigLine(const std::string& line) {
  std::string text = line;
  StripLineComment(text, "#");
  StripLineComment(text, "// ");
  StripBlockComment(text);
  return TrimText(text);
}

bool IsWildcardPattern(const std::string& pattern) {
  return pattern.find_first_of("*?") != std::string::npos;
}

bool WildcardMatch(const std::string& pattern, const std::string& text) {
  if (pattern == "*") return true;
  // Greedy walk with one backtrack point: linear in practice, never exponential.
  std::size_t p = 0, t = 0, starP = std::string::npos, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starT = t;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

TPathConfig ParsePathConfig(const std::vector<std::string>& lines) {
  TPathConfig config;
  config.Present = true;
  const int count = std::min<int>(static_cast<int>(lines.size()), TPathConfig::kLineCount);
  for (int number = 0; number < count; ++number) {
    const std::string value = CleanConfigLine(lines[number]);
    if (value.empty()) continue;
    switch (number) {
      case 0: config.ConfigFolder = FolderValue(value); break;
      case 1: config.HtmlFolder = FolderValue(value); break;
      case 2: config.HtmlTempFolder = FolderValue(value); break;
      case 3: config.TempFilePrefix = value; break;
      case 4: config.NetworkShares = value; break;
      case 5: config.Folder5 = FolderValue(value); break;
      case 6: config.Folder6 = FolderValue(value); break;
      case 7: config.ForwardFolder = FolderValue(value); break;
      case 8: config.ForwardRetryFolder = FolderValue(value); break;
      case 9: {
        const std::size_t bar = value.find('|');
        config.ServerList = TrimText(value.substr(0, bar));
        if (bar != std::string::npos) config.OutgoingBind = TrimText(value.substr(bar + 1));
        break;
      }
      case 10: config.HostName = value; break;
    }
  }
  return config;
}

std::vector<TNetworkShare> ParseNetworkShares(const std::string& text) {
  std::vector<TNetworkShare> shares;
  for (const std::string& entry : SplitText(text, '|')) {
    const std::vector<std::string> fields = SplitText(entry, ';');
    if (fields[0].empty()) continue;
    TNetworkShare share;
    share.RemoteName = fields[0];
    if (fields.size() > 1) share.UserName = fields[1];
    if (fields.size() > 2) share.Password = fields[2];
    shares.push_back(share);
  }
  return shares;
}

int ConnectNetworkShares(const std::vector<TNetworkShare>& shares) {
  int connected = 0;
  for (const TNetworkShare& share : shares) {
    if (HostSeam().ConnectNetworkShare(share.RemoteName, share.UserName, share.Password) == 0) {
      ++connected;
    }
  }
  return connected;
}

TServerTitle ParseServerTitle(const std::vector<std::string>& lines) {
  TServerTitle title;
  title.Title = kDefaultProductTitle;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string line = TrimText(lines[i]);
    if (i == 0) {
      if (!line.empty()) title.Title = ShortPath(line);
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    title.Pairs.emplace_back(ShortPath(line.substr(0, equals)), ShortPath(line.substr(equals + 1)));
  }
  return title;
}

TGlobalBindings ParseGlobalBindings(const std::vector<std::string>& lines) {
  TGlobalBindings bindings;
  for (const std::string& raw : lines) {
    std::string line = CleanConfigLine(raw);
    line.erase(std::remove(line.begin(), line.end(), ' '), line.end());
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = LowerCase(line.substr(0, equals));
    const std::string value = line.substr(equals + 1);
    if (key == "outgoing_bind") {
      bindings.OutgoingBind = SplitText(value, ';')[0];
    } else if (key == "ipv6_bind") {
      bindings.IPv6Bind = value;
    }
  }
  return bindings;
}

std::vector<TSubdomainRule> ParseSubdomainRules(const std::vector<std::string>& lines) {
  std::vector<TSubdomainRule> rules;
  for (const std::string& raw : lines) {
    const std::string line = LowerCase(CleanConfigLine(raw));
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    rules.push_back({TrimText(line.substr(0, equals)), TrimText(line.substr(equals + 1))});
  }
  return rules;
}

const TSubdomainRule* MatchSubdomainRule(const std::vector<TSubdomainRule>& rules,
                                         const std::string& name) {
  for (const TSubdomainRule& rule : rules) {
    const bool matches = IsWildcardPattern(rule.Pattern) ? WildcardMatch(rule.Pattern, name)
                                                         : rule.Pattern == name;
    if (matches) return &rule;
  }
  return nullptr;
}
