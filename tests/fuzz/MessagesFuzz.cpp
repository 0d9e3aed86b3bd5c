// Fuzz target for messages.dat and the message variables of the welcome message. Parts
// (separated by a line "--"): messages.dat, the welcome text, the account's alias list, its
// full name, the domain, the IMAP layout flag ("1").
//
// What must hold: a value filled in is never read for variables again (an alias of
// "%%hostname%%" stays that text); a text without markers comes out as it went in; an expanded
// message grows by no more than its variables' values allow; a placed message leaves no
// temporary file behind.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/FileSystemUnit.h"
#include "base/StringUnit.h"
#include "serverconfig/AccountRecord.h"
#include "serverconfig/MessageVariables.h"
#include "serverconfig/ServerStore.h"
#include "serverconfig/StoreFileUnit.h"
#include "serverconfig/StoreFolders.h"
#include "serverconfig/WelcomeMessage.h"
#include "tests/fuzz/FuzzInput.h"

#ifdef ZAREL_MEMORY_FILES
#include "base/FileSystemMemory.h"
#endif

namespace {

const std::string& Root() {
  static const std::string root = GetSpecialFolder(SpecialFolder::Temporary, false) + "zarel-fuzz-messages\\";
  return root;
}

// The shortest variable ("%%date%%", "%%name%%", ...) is eight characters.
constexpr std::size_t kShortestVariable = 8;

std::size_t LongestValue(const TMessageContext& context) {
  std::size_t longest = 40;  // the dates and times
  for (const std::string* text : {&context.Sender, &context.Alias, &context.FullName, &context.Domain,
                                  &context.HostName}) {
    longest = std::max(longest, text->size());
  }
  return longest + context.Domain.size() + 1;  // recipient: alias "@" domain
}

void CheckExpansion(const std::string& text, const TMessageContext& context) {
  const std::string expanded = ExpandMessageVariables(text, context);
  if (!HasMessageVariables(text) && expanded != text) __builtin_trap();
  if (expanded.size() > text.size() + text.size() / kShortestVariable * LongestValue(context)) __builtin_trap();
  if (ExpandMessageVariables("%%alias%%", context) != context.Alias) __builtin_trap();
  if (ExpandMessageVariables("$$Domain$$", context) != context.Domain) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> parts = SplitFuzzParts(data, size);
  TMessageContext context;
  context.Alias = FuzzPart(parts, 2).substr(0, 255);
  context.FullName = FuzzPart(parts, 3).substr(0, 254);
  context.Domain = FuzzPart(parts, 4).substr(0, 255);
  context.Sender = "<" + context.Alias + "@" + context.Domain + ">";
  context.HostName = "mail.example.com";
  context.Time = TLocalMoment{2026, 12, 7, 10, 5, 0, 1, -60};
  CheckExpansion(FuzzPart(parts, 1), context);

#ifdef ZAREL_MEMORY_FILES
  ForgetAllMemoryFiles();  // the memory volume empties in one call
#else
  RemoveFolderTree(Root());
#endif
  ForceDirectories(Root() + "config\\");
  ResetServerStore();
  InitServerFoldersAt(Root());
  const std::string messages = Root() + "config\\messages.dat";
  WriteWholeFile(FuzzPart(parts, 0), messages, false);
  WriteWholeFile(FuzzPart(parts, 1), Root() + "config\\welcome.txt", false);
  for (const TWelcomeRule& rule : ParseWelcomeRules(SplitTextLines(FuzzPart(parts, 0)))) {
    if (rule.Key != LowerCase(rule.Key)) __builtin_trap();
  }

  TAccountRecord account;
  account.Set(account::kAliases, context.Alias);
  account.Set(account::kFullName, context.FullName);
  account.Set(account::kMailboxPath, Root() + "mail\\box\\");
  account.Set(account::kImapLayout, FuzzPart(parts, 5) == "1" ? 1 : 0);
  const TWelcomeResult result = PlaceWelcomeMessage(messages, context.Domain, account);
  if (result.Outcome == TWelcomeOutcome::Placed || result.Outcome == TWelcomeOutcome::PlacedUnexpanded) {
    if (!FileExists(result.Target)) __builtin_trap();
  }
  if (!ListDirectory(TempFolder(), "*.*").empty()) __builtin_trap();
  ResetServerStore();
  return 0;
}
