// The directory server's side of an account, as plain text: slapd.conf, the entry of an
// account, distinguished-name escaping, the ldapbypass.dat rules, and the web host name.
#include <gtest/gtest.h>

#include "serverconfig/DirectoryEntry.h"
#include "serverconfig/WebHostName.h"

namespace {

using TLines = std::vector<std::string>;

TEST(DirectoryConfigTest, TakesTheLastValueOfEachKeyword) {
  struct TRow {
    TLines Lines;
    TDirectoryConfig Expected;
  };
  const TRow rows[] = {
      {{"suffix o=%s", "rootdn cn=admin,o=x", "rootpw secret"}, {"o=%s", "", "cn=admin,o=x", "secret"}},
      {{"  SUFFIX\t\t\"dc=my  org, dc=com\"  "}, {"dc=my org, dc=com", "", "", ""}},  // blanks collapse
      {{"suffix \"o=a", "rootpw p\""}, {"o=a", "", "", "p"}},  // each quote on its own
      {{"suffix o=first", "suffix o=second", "usersuffix ou=people,o=%s"},
       {"o=second", "ou=people,o=%s", "", ""}},
      {{"# suffix o=commented", "suffixes o=other", "suffix", "", "database mdb"}, {"", "", "", ""}},
      {{"rootpw \"\""}, {"", "", "", ""}},
  };
  for (const TRow& row : rows) {
    const TDirectoryConfig config = ParseDirectoryConfig(row.Lines);
    const std::string first = row.Lines.front();
    EXPECT_EQ(config.Suffix, row.Expected.Suffix) << first;
    EXPECT_EQ(config.UserSuffix, row.Expected.UserSuffix) << first;
    EXPECT_EQ(config.BindName, row.Expected.BindName) << first;
    EXPECT_EQ(config.BindPassword, row.Expected.BindPassword) << first;
  }
}

TEST(DirectoryConfigTest, UserSuffixWinsUnlessEmpty) {
  EXPECT_EQ(ParseDirectoryConfig({"usersuffix ou=u,o=%s", "suffix o=%s"}).AccountSuffix(), "ou=u,o=%s");
  EXPECT_EQ(ParseDirectoryConfig({"suffix o=%s", "usersuffix \"\""}).AccountSuffix(), "o=%s");
  EXPECT_EQ(ParseDirectoryConfig({"rootdn cn=x"}).AccountSuffix(), "");
}

TEST(DirectoryEntryTest, EscapesDistinguishedNameValues) {
  const std::pair<const char*, const char*> rows[] = {
      {"john@example.com", "john@example.com"},
      {"a,b@d", "a\\,b@d"},
      {"x+sn=y@d", "x\\+sn\\=y@d"},
      {"back\\slash", "back\\\\slash"},
      {"q\"<>;", "q\\\"\\<\\>\\;"},
      {"#lead#", "\\#lead#"},
      {" both ", "\\ both\\ "},
      {"in side", "in side"},
      {"tab\there\x7f", "tab\\09here\\7F"},
      {"J\xC3\xB6rg", "J\xC3\xB6rg"},  // UTF-8 stays as it is
      {"", ""},
  };
  for (const auto& [value, escaped] : rows) EXPECT_EQ(EscapeDnValue(value), escaped) << value;
}

TEST(DirectoryEntryTest, FormatsTheSuffixWithTheDomain) {
  struct TRow { const char* Suffix; const char* Domain; const char* Formatted; };
  const TRow rows[] = {
      {"o=%s", "example.com", "o=example.com"},
      {"ou=%s,dc=%s", "d.org", "ou=d.org,dc=d.org"},
      {"o=fixed", "d.org", "o=fixed"},
      {"o=100%,c=%d", "d.org", "o=100%,c=%d"},  // not a format: no crash, nothing taken
      {"o=%s", "evil,o=root", "o=evil\\,o\\=root"},
      {"o=%s", "m\xFC" "ller.de", "o=m\xC3\xBC" "ller.de"},  // ANSI domain, UTF-8 name
  };
  for (const TRow& row : rows) EXPECT_EQ(FormatDirectorySuffix(row.Suffix, row.Domain), row.Formatted);
}

TAccountRecord Account(const std::string& aliases, const std::string& fullName) {
  TAccountRecord account;
  account.Set(account::kAliases, aliases);
  account.Set(account::kFullName, fullName);
  return account;
}

using TValues = std::vector<std::string>;

TEST(DirectoryEntryTest, BuildsTheEntryOfAnAccount) {
  struct TRow {
    const char* Aliases;
    const char* FullName;
    const char* Dn;
    TValues Cn, GivenName, Sn, Mail;
  };
  const TRow rows[] = {
      {"a", "John Smith", "cn=a@d.com,o=d.com",
       {"John Smith", "a@d.com"}, {"John"}, {"Smith"}, {"a@d.com"}},
      {"smith", "Smith", "cn=smith@d.com,o=d.com", {"Smith", "smith@d.com"}, {}, {"Smith"}, {"smith@d.com"}},
      {" x;y ; ;X ", "", "cn=x\\;y \\; \\;X@d.com,o=d.com",  // empty name: the alias list
       {"x;y ; ;X", "x;y ; ;X@d.com"}, {}, {"x;y ; ;X"}, {"x@d.com", "y@d.com"}},
      {"j", "  John   Ronald\tSmith  ", "cn=j@d.com,o=d.com",
       {"John   Ronald\tSmith", "j@d.com"}, {"John"}, {"Ronald\tSmith"}, {"j@d.com"}},
      {"A@D.COM", "a@d.com", "cn=A@D.COM@d.com,o=d.com",  // naming value differs
       {"a@d.com", "A@D.COM@d.com"}, {}, {"a@d.com"}, {"A@D.COM@d.com"}},
      {"same", "SAME@d.com", "cn=same@d.com,o=d.com",  // cn matches case-insensitively
       {"SAME@d.com"}, {}, {"SAME@d.com"}, {"same@d.com"}},
      {"j\xF6rg,x", "J\xF6rg M\xFCller", "cn=j\xC3\xB6rg\\,x@d.com,o=d.com",
       {"J\xC3\xB6rg M\xC3\xBCller", "j\xC3\xB6rg,x@d.com"}, {"J\xC3\xB6rg"}, {"M\xC3\xBCller"},
       {"j\xC3\xB6rg,x@d.com"}},
  };
  for (const TRow& row : rows) {
    const TDirectoryEntry entry = BuildDirectoryEntry(Account(row.Aliases, row.FullName), "d.com", "o=%s");
    EXPECT_EQ(entry.Dn, row.Dn);
    const TDirectoryAttributes expected = {{"objectClass", {"inetOrgPerson"}}, {"cn", row.Cn},
                                           {"givenName", row.GivenName}, {"sn", row.Sn}, {"mail", row.Mail}};
    EXPECT_EQ(entry.Attributes, expected) << row.Aliases << " / " << row.FullName;
  }
}

TEST(DirectoryBypassTest, KeepsListedAddressesOut) {
  const std::vector<std::string> rules = ParseBypassRules({
      "boss@example.com   # the managing director",
      "<Sales*@Example.com>",
      "@hidden.org",
      "*.internal",
      "",
      "// whole line comment",
      "@",
  });
  ASSERT_EQ(rules, (std::vector<std::string>{"boss@example.com", "sales*@example.com", "@hidden.org", "*.internal"}));
  struct TRow { const char* Address; bool Passes; };
  const TRow rows[] = {
      {"john@example.com", true},
      {"BOSS@EXAMPLE.COM", false},
      {"sales-east@example.com", false},
      {"salesman@example.org", true},
      {"anyone@hidden.org", false},
      {"anyone@nothidden.org", true},
      {"x@a.internal", false},
      {"x@internal", true},
      {"john;boss@example.com", false},  // one listed alias keeps the account out
      {"john; ;jack@example.com", true},
      {"noat", true},
  };
  for (const TRow& row : rows) EXPECT_EQ(PassesBypassRules(rules, row.Address), row.Passes) << row.Address;
  EXPECT_TRUE(PassesBypassRules({}, "boss@example.com"));
  EXPECT_FALSE(PassesBypassRules(ParseBypassRules({"*"}), "a@b.c"));
}

TEST(WebHostNameTest, FirstServerOfTheListWhenTheSettingsSaySo) {
  struct TRow { std::uint8_t Flag; const char* List; const char* Host; };
  const TRow rows[] = {
      {1, " mail.example.com ;other", "mail.example.com"},
      {1, "127.0.0.1", "127.0.0.1"},
      {1, " ;other", "localhost"},
      {0, "mail.example.com", "localhost"},
  };
  for (const TRow& row : rows) {
    TServerSettings settings = CompiledInServerSettings();
    settings.Set(settings::kUseServerListForWebHost, row.Flag);
    settings.Set(settings::kServerList, row.List);
    EXPECT_EQ(WebHostName(settings), row.Host) << row.List;
  }
}

}  // namespace
