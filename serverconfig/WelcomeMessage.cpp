#include "serverconfig/WelcomeMessage.h"

#include <cstdio>

#include "base/FileSystemUnit.h"
#include "serverconfig/AccountStore.h"
#include "serverconfig/ConfigTextUnit.h"
#include "serverconfig/ServerStore.h"
#include "serverconfig/StoreFileUnit.h"

namespace {

constexpr int kDosYearBase = 1980;
constexpr std::size_t kSenderMax = 127;
constexpr const char* kEveryDomain = "*";
// A welcome text is a message, not a mailbox: anything beyond this is cut.
constexpr std::uint64_t kWelcomeTextLimit = 16u * 1024u * 1024u;

bool IsAbsoluteStorePath(const std::string& path) {
  return path.find(':') != std::string::npos ||
         (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

// The welcome text; nothing when it cannot be read, as an unreadable text is an empty one.
std::string WelcomeText(const std::string& messagesPath, const std::string& file) {
  const std::string path =
      IsAbsoluteStorePath(file) ? file : ExtractFilePath(messagesPath) + file;
  const TFileRead read = ReadFileRange(path, 0, kWelcomeTextLimit);
  return read.State == TFileState::Read ? read.Bytes : std::string();
}

bool WriteTarget(const std::string& target, const std::string& bytes) {
  ForceDirectories(ExtractFilePath(target));
  TStoreFile file = OpenStoreFile(target, "wb");
  if (!file) return false;
  const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  return CloseStoreFile(file) && ok;
}

TMessageContext ContextFor(const TAccountRecord& account, const std::string& domain,
                           const TLocalMoment& now) {
  TMessageContext context;
  context.Alias = SplitText(account.Get(account::kAliases), ';')[0];
  context.Sender = ("<" + context.Alias + "@" + domain + ">").substr(0, kSenderMax);
  context.FullName = TrimText(account.Get(account::kFullName));
  context.Domain = domain;
  context.HostName = ServerSettings().Get(settings::kHostName);
  context.Time = now;
  return context;
}

}  // namespace

std::vector<TWelcomeRule> ParseWelcomeRules(const std::vector<std::string>& lines) {
  std::vector<TWelcomeRule> rules;
  for (const std::string& raw : lines) {
    std::string line = CleanConfigLine(raw);
    if (line.empty()) continue;
    if (line.find('=') == std::string::npos) {
      const std::size_t blank = line.find(' ');
      if (blank != std::string::npos) line[blank] = '=';
    }
    const std::size_t first = line.find('=');
    TWelcomeRule rule;
    rule.Key = LowerCase(TrimText(line.substr(0, first)));
    if (first != std::string::npos) {
      const std::size_t second = line.find('=', first + 1);
      rule.File = TrimText(line.substr(first + 1, second == std::string::npos ? std::string::npos
                                                                               : second - first - 1));
    }
    rules.push_back(rule);
  }
  return rules;
}

const TWelcomeRule* FindWelcomeRule(const std::vector<TWelcomeRule>& rules, const std::string& domain) {
  const std::string key = LowerCase(TrimText(domain));
  for (const TWelcomeRule& rule : rules) {
    if (rule.Key == key || rule.Key == kEveryDomain) return &rule;
  }
  return nullptr;
}

std::string WelcomeTarget(const TAccountRecord& account) {
  const bool imap = account.Get(account::kImapLayout) != 0;
  return GetMailboxPath(account.Get(account::kMailboxPath), false, std::string()) +
         (imap ? "inbox\\welcome.imap" : "welcome.tmp");
}

std::uint32_t DosDateTime(const TLocalMoment& m) {
  const std::uint32_t date = (static_cast<std::uint32_t>(m.Year - kDosYearBase) << 9) |
                             (static_cast<std::uint32_t>(m.Month) << 5) |
                             static_cast<std::uint32_t>(m.Day);
  const std::uint32_t time = (static_cast<std::uint32_t>(m.Hour) << 11) |
                             (static_cast<std::uint32_t>(m.Minute) << 5) |
                             static_cast<std::uint32_t>(m.Second / 2);
  return (date << 16) | time;
}

std::string ImapFirstLine(const TLocalMoment& moment) {
  char line[32];
  std::snprintf(line, sizeof line, "%08x%08x%08lx\r\n", 0u, 0u,
                static_cast<unsigned long>(DosDateTime(moment)));
  return line;
}

TWelcomeResult PlaceWelcomeMessage(const std::string& messagesPath, const std::string& domain,
                                   const TAccountRecord& account) {
  TWelcomeResult result;
  std::vector<std::string> lines;
  if (!ReadTextLines(messagesPath, lines)) return result;
  const std::string name = LowerCase(TrimText(domain));
  const std::vector<TWelcomeRule> rules = ParseWelcomeRules(lines);
  const TWelcomeRule* rule = FindWelcomeRule(rules, name);
  if (rule == nullptr) {
    result.Outcome = TWelcomeOutcome::NoRule;
    return result;
  }
  // Without a mailbox field the target would be the mail folder itself.
  if (TrimText(account.Get(account::kMailboxPath)).empty()) {
    result.Outcome = TWelcomeOutcome::NoMailbox;
    return result;
  }
  result.Target = WelcomeTarget(account);
  const TLocalMoment now = LocalMomentNow();
  const std::string text = WelcomeText(messagesPath, rule->File);
  const bool imap = account.Get(account::kImapLayout) != 0;
  if (!WriteTarget(result.Target, (imap ? ImapFirstLine(now) : std::string()) + text)) {
    result.Outcome = TWelcomeOutcome::NotCreated;
    return result;
  }
  result.Outcome = TWelcomeOutcome::Placed;
  if (HasMessageVariables(text) &&
      !ExpandMessageFile(result.Target, ContextFor(account, name, now), TempFolder(), TempFilePrefix())) {
    result.Outcome = TWelcomeOutcome::PlacedUnexpanded;
  }
  return result;
}

const char* WelcomeOutcomeName(TWelcomeOutcome outcome) {
  switch (outcome) {
    case TWelcomeOutcome::Placed: return "placed";
    case TWelcomeOutcome::PlacedUnexpanded: return "placed, its variables not filled in";
    case TWelcomeOutcome::NoMessagesFile: return "no messages.dat";
    case TWelcomeOutcome::NoRule: return "no line for the domain in messages.dat";
    case TWelcomeOutcome::NoMailbox: return "the account has no mailbox";
    case TWelcomeOutcome::NotCreated: return "the message file could not be written";
  }
  return "";
}
