// The welcome message of a new mailbox: messages.dat, the target in either mailbox layout and
// the variables filled in for the account.
#include <filesystem>

#include "serverconfig/AccountStore.h"
#include "serverconfig/MessageVariables.h"
#include "serverconfig/StoreFileUnit.h"
#include "serverconfig/WelcomeMessage.h"
#include "tests/ServerSettingsTestFixture.h"

namespace {

// Files in a folder; none when it does not exist.
std::size_t FileCount(const std::string& folder) {
  std::error_code error;
  std::size_t count = 0;
  for (std::filesystem::directory_iterator it(HostPath(folder), error), end; !error && it != end;
       it.increment(error)) {
    ++count;
  }
  return count;
}

TMessageContext Context() {
  TMessageContext context;
  context.Sender = "<john@example.com>";
  context.Alias = "john";
  context.FullName = "John Smith";
  context.Domain = "example.com";
  context.HostName = "mail.example.com";
  context.Time = {2026, 12, 7, 9, 5, 3, 1, -60};
  return context;
}

TEST(MessageVariables, EachVariableInBothFormsAndUnknownOnesAsTheyStand) {
  const std::pair<std::string, std::string> rows[] = {
      {"%%recipient%%", "john@example.com"},
      {"$$recipient$$", "john@example.com"},
      {"%%Alias%%", "john"},
      {"Dear %%name%%,", "Dear John Smith,"},
      {"%%domain%%", "example.com"},
      {"from $$SENDER$$", "from john@example.com"},
      {"%%hostname%%", "mail.example.com"},
      {"%%date%%", "Mon, 07 Dec 2026 09:05:03 +0100"},
      {"%%shortdate%% %%time%%", "2026-12-07 09:05:03"},
      {"%%alias%%%%domain%%", "johnexample.com"},
      // Nothing else is touched.
      {"%%coupon%% and $$x$$", "%%coupon%% and $$x$$"},
      {"100%% sure, %%name%%", "100%% sure, John Smith"},
      {"%%name$$ $$name%%", "%%name$$ $$name%%"},
      {"%%%%name%%", "%%John Smith"},
      {"%% name %%", "%% name %%"},
      {"%%", "%%"},
      {"$$$", "$$$"},
      {"", ""},
  };
  for (const auto& [text, expanded] : rows) {
    EXPECT_EQ(ExpandMessageVariables(text, Context()), expanded) << text;
  }
  TMessageContext nameless = Context();
  nameless.FullName.clear();
  EXPECT_EQ(ExpandMessageVariables("%%name%%", nameless), "john");
}

TEST(MessageVariables, DosDateTimeAndTheImapFirstLine) {
  const TLocalMoment moment{2026, 12, 7, 10, 5, 31, 1, 0};
  // 2026-12-07: (46 << 9) | (12 << 5) | 7; 10:05:31: (10 << 11) | (5 << 5) | 15.
  EXPECT_EQ(DosDateTime(moment), 0x5D8750AFu);
  EXPECT_EQ(ImapFirstLine(moment), "00000000000000005d8750af\r\n");
}

TEST(WelcomeRules, KeysValuesAndLinesWithoutEquals) {
  const std::vector<TWelcomeRule> rules = ParseWelcomeRules({
      "# which text new mailboxes get",
      "",
      "Example.COM=example.txt=ignored",
      "other.test other.txt",
      "third.test = third.txt  # comment",
      "lonely.test",
      "*=every.txt",
  });
  const std::pair<std::string, std::string> expected[] = {{"example.com", "example.txt"},
                                                          {"other.test", "other.txt"},
                                                          {"third.test", "third.txt"},
                                                          {"lonely.test", ""},
                                                          {"*", "every.txt"}};
  ASSERT_EQ(rules.size(), std::size(expected));
  for (std::size_t i = 0; i < rules.size(); ++i) {
    EXPECT_EQ(std::make_pair(rules[i].Key, rules[i].File), expected[i]) << i;
  }

  EXPECT_EQ(FindWelcomeRule(rules, " EXAMPLE.com")->File, "example.txt");
  EXPECT_EQ(FindWelcomeRule(rules, "unknown.test")->File, "every.txt");
  // A "*" line before the domain's own line decides.
  const std::vector<TWelcomeRule> starFirst = ParseWelcomeRules({"*=every.txt", "example.com=example.txt"});
  EXPECT_EQ(FindWelcomeRule(starFirst, "example.com")->File, "every.txt");
  EXPECT_EQ(FindWelcomeRule(ParseWelcomeRules({"other.test=x"}), "example.com"), nullptr);
}

class WelcomeMessageTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    seam_.Bias = -60;
    messages_ = Config() + kMessagesFileName;
    Write(Config() + "welcome.txt", "Subject: Welcome\r\n\r\nHello %%name%% <$$recipient$$>\r\n");
  }
  TAccountRecord Account(bool imap = false) {
    TAccountRecord record;
    record.Set(account::kAliases, "john;jsmith");
    record.Set(account::kFullName, "John Smith");
    record.Set(account::kMailboxPath, "example.com\\john\\");
    record.Set(account::kImapLayout, imap ? 1 : 0);
    return record;
  }
  std::string Mailbox() { return Root() + "mail\\example.com\\john\\"; }
  std::string messages_;
};

TEST_F(WelcomeMessageTest, PlainAndImapLayoutWithVariablesFilledIn) {
  Write(messages_, "*=welcome.txt\r\n");
  TWelcomeResult result = PlaceWelcomeMessage(messages_, "Example.com", Account());
  EXPECT_EQ(result.Outcome, TWelcomeOutcome::Placed);
  EXPECT_EQ(result.Target, Mailbox() + "welcome.tmp");
  EXPECT_EQ(Read(result.Target), "Subject: Welcome\r\n\r\nHello John Smith <john@example.com>\r\n");

  result = PlaceWelcomeMessage(messages_, "example.com", Account(true));
  EXPECT_EQ(result.Outcome, TWelcomeOutcome::Placed);
  EXPECT_EQ(result.Target, Mailbox() + "inbox\\welcome.imap");
  const std::string imap = Read(result.Target);
  // Two zero fields, then the arrival time in lower-case hex.
  ASSERT_GE(imap.size(), 26u);
  EXPECT_EQ(imap.substr(0, 16), std::string(16, '0'));
  EXPECT_EQ(imap.substr(16, 8).find_first_not_of("0123456789abcdef"), std::string::npos) << imap;
  EXPECT_EQ(imap.substr(24, 2), "\r\n");
  EXPECT_EQ(imap.substr(26), "Subject: Welcome\r\n\r\nHello John Smith <john@example.com>\r\n");
  // The expansion ran in the temp folder under the root, and left nothing there.
  EXPECT_TRUE(DirectoryExists(Root() + "temp\\"));
  EXPECT_EQ(FileCount(Root() + "temp\\"), 0u);
}

TEST_F(WelcomeMessageTest, WhatIsMissingYieldsNoMessageOrAnEmptyOne) {
  // No messages.dat: nothing.
  EXPECT_EQ(PlaceWelcomeMessage(messages_, "example.com", Account()).Outcome,
            TWelcomeOutcome::NoMessagesFile);
  EXPECT_FALSE(DirectoryExists(Mailbox()));
  // No line for the domain: nothing.
  Write(messages_, "other.test=welcome.txt\r\n");
  EXPECT_EQ(PlaceWelcomeMessage(messages_, "example.com", Account()).Outcome, TWelcomeOutcome::NoRule);
  EXPECT_FALSE(DirectoryExists(Mailbox()));
  // An account without a mailbox would write into the mail folder itself.
  Write(messages_, "*=welcome.txt\r\n");
  TAccountRecord noMailbox = Account();
  noMailbox.Set(account::kMailboxPath, "");
  EXPECT_EQ(PlaceWelcomeMessage(messages_, "example.com", noMailbox).Outcome, TWelcomeOutcome::NoMailbox);
  EXPECT_FALSE(FileExists(Root() + "mail\\welcome.tmp"));
  // A text that cannot be read is an empty message.
  Write(messages_, "*=missing.txt\r\n");
  const TWelcomeResult empty = PlaceWelcomeMessage(messages_, "example.com", Account());
  EXPECT_EQ(empty.Outcome, TWelcomeOutcome::Placed);
  EXPECT_TRUE(FileExists(empty.Target));
  EXPECT_EQ(Read(empty.Target), "");
}

TEST_F(WelcomeMessageTest, AnExpansionThatCannotFinishLeavesTheMessageAsWritten) {
  Write(messages_, "*=welcome.txt\r\n");
  seam_.FailReplace = true;
  const TWelcomeResult result = PlaceWelcomeMessage(messages_, "example.com", Account());
  EXPECT_EQ(result.Outcome, TWelcomeOutcome::PlacedUnexpanded);
  EXPECT_EQ(Read(result.Target), "Subject: Welcome\r\n\r\nHello %%name%% <$$recipient$$>\r\n");
  // The temporary file went with the failure.
  EXPECT_TRUE(DirectoryExists(Root() + "temp\\"));
  EXPECT_EQ(FileCount(Root() + "temp\\"), 0u);
}

}  // namespace
