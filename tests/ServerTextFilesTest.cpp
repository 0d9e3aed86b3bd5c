// The small text files of the store: comment rule, path.cfg, servertitle.dat, bind.dat,
// wildcards, groups and alias lists, Punycode, and InitServerFolders.
#include <algorithm>
#include <cstdlib>
#include <ctime>

#include "serverconfig/ConfigTextUnit.h"
#include "serverconfig/GroupsUnit.h"
#include "serverconfig/NetworkHandoff.h"
#include "serverconfig/PunycodeUnit.h"
#include "tests/ServerSettingsTestFixture.h"
#include "xml/XMLUnit.h"

namespace {

using TLines = std::vector<std::string>;

TEST(CommentRuleTest, CleansLines) {
  const std::pair<const char*, const char*> rows[] = {
      {"value # comment", "value"},
      {"a ## b", "a # b"},             // doubled marker is the literal
      {"###", "#"},
      {"a ## b # c", "a # b"},
      {"x // y", "x"},
      {"http://host/path", "http://host/path"},  // "//" without a space is no comment
      {"a // // b", "a // b"},
      {"a /* note */ b", "a  b"},
      {"a /* open comment", "a"},      // an open "/*" ends the line
      {"a */ b /* c */", "a */ b"},
      {"/* x */ /* y */ z", "/* y */ z"},  // one block per line
      {"  \t padded \t ", "padded"},
      {"# whole line", ""},
      {"", ""},
  };
  for (const auto& [line, clean] : rows) EXPECT_EQ(CleanConfigLine(line), clean) << line;
}

TEST(WildcardTest, MatchesStarsAndQuestionMarks) {
  struct TRow { const char* Pattern; const char* Text; bool Match; };
  const TRow rows[] = {
      {"*", "", true},          {"*", "anything", true},  {"*.a.com", "x.a.com", true},
      {"*.a.com", "a.com", false}, {"a*", "a", true},     {"?b", "ab", true},
      {"?b", "b", false},       {"a*b*c", "aXbYbZc", true}, {"a*b*c", "aXbYbZ", false},
      {"**x", "yx", true},      {"A", "a", false},
      {"*a*a*a*a*a*a*a*a*a*b", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", false},
  };
  for (const TRow& row : rows) EXPECT_EQ(WildcardMatch(row.Pattern, row.Text), row.Match) << row.Pattern << " " << row.Text;
}

TEST(PathConfigTest, GivesEveryLineItsMeaning) {
  const TPathConfig config = ParsePathConfig({
      "D:\\Config   # moved",
      "D:\\Html\\",
      "",
      "tmp-",
      "\\\\srv\\mail;svc;pw|\\\\srv\\logs;;",
      "E:\\Five",
      "E:\\Six",
      "F:\\Forward",
      "F:\\Retry",
      " web.example.org | 192.0.2.7 ",
      "host.example.org",
      "ignored line 11",
  });
  EXPECT_EQ(config.ConfigFolder, "D:\\Config\\");
  EXPECT_EQ(config.HtmlFolder, "D:\\Html\\");
  EXPECT_EQ(config.HtmlTempFolder, "");
  EXPECT_EQ(config.TempFilePrefix, "tmp-");
  EXPECT_EQ(config.Folder5, "E:\\Five\\");
  EXPECT_EQ(config.Folder6, "E:\\Six\\");
  EXPECT_EQ(config.ForwardFolder, "F:\\Forward\\");
  EXPECT_EQ(config.ForwardRetryFolder, "F:\\Retry\\");
  EXPECT_EQ(config.ServerList, "web.example.org");
  EXPECT_EQ(config.OutgoingBind, "192.0.2.7");
  EXPECT_EQ(config.HostName, "host.example.org");

  const std::vector<TNetworkShare> shares = ParseNetworkShares(config.NetworkShares);
  ASSERT_EQ(shares.size(), 2u);
  EXPECT_EQ(shares[0].RemoteName, "\\\\srv\\mail");
  EXPECT_EQ(shares[0].UserName, "svc");
  EXPECT_EQ(shares[0].Password, "pw");
  EXPECT_EQ(shares[1].RemoteName, "\\\\srv\\logs");
  EXPECT_EQ(shares[1].UserName, "");
  EXPECT_TRUE(ParseNetworkShares("|;user;pw|").empty());
  EXPECT_EQ(ParsePathConfig({"", "", "", "", "", "", "", "", "", "onlyweb"}).OutgoingBind, "");
}

TEST(ServerTitleTest, FirstLineIsTheTitleLaterLinesArePairs) {
  TServerTitle title = ParseServerTitle({"My Mail", "a=b=c", "no pair", " key = value "});
  EXPECT_EQ(title.Title, "My Mail");
  ASSERT_EQ(title.Pairs.size(), 2u);
  EXPECT_EQ(title.Pairs[0], (std::pair<std::string, std::string>{"a", "b=c"}));
  EXPECT_EQ(title.Pairs[1], (std::pair<std::string, std::string>{"key ", " value"}));
  EXPECT_EQ(ParseServerTitle({"", "x=y"}).Title, "Zarel 8.2.0");
  EXPECT_EQ(ParseServerTitle({std::string(300, 't')}).Title.size(), 255u);
}

TEST(GlobalBindingsTest, ReadsKeysWithoutCaseOrSpaces) {
  TGlobalBindings bindings = ParseGlobalBindings(
      {"# bindings", " outgoing_BIND = 192.0.2.1 ; 192.0.2.2", "IPv6_Bind=::1; fe80::1 // local", "Other=1"});
  EXPECT_EQ(bindings.OutgoingBind, "192.0.2.1");
  EXPECT_EQ(bindings.IPv6Bind, "::1;fe80::1");
}

TEST(GroupsTest, SectionsNestingLoopsAndRules) {
  const std::vector<TGroupSection> sections = ParseGroupSections({
      "[Alpha]", "<a@x.example>", "[beta]", "", "not a header", "lost@x.example", "",
      "[beta]", "@y.example", "[alpha]", "[9notagroup]", "", "[gamma]", "[gamma]", "10.0.0.0/8",
      "192.168.1-5.*"});
  ASSERT_EQ(sections.size(), 3u);
  EXPECT_EQ(sections[0].Name, "alpha");
  TestFolder folder;
  TGroupResolver groups(folder.path(), sections);
  struct TRow { const char* Group; const char* Alias; bool Match; };
  const TRow rows[] = {
      {"alpha", "a@x.example", true}, {"alpha", "someone@y.example", true},
      {"alpha", "lost@x.example", false}, {"beta", "a@x.example", true},  // beta -> alpha -> a
      {"beta", "z@z.example", false},    // beta <-> alpha loop ends
      {"gamma", "g@x.example", false},   // names only itself
      {"gamma", "10.1.2.3", false},      // rules never match aliases
      {"missing", "a@x.example", false},
  };
  for (const TRow& row : rows) EXPECT_EQ(groups.GroupHasAlias(row.Group, row.Alias), row.Match) << row.Group << " " << row.Alias;
  EXPECT_TRUE(groups.GroupHasAddress("gamma", "10.1.2.3"));
  EXPECT_TRUE(groups.GroupHasAddress("gamma", "192.168.3.200"));
  EXPECT_FALSE(groups.GroupHasAddress("gamma", "192.168.6.1"));
  EXPECT_FALSE(groups.GroupHasAddress("alpha", "10.1.2.3"));
}

TEST(GroupsTest, AddressRulesAreRecognisedByTheirCharacters) {
  const std::pair<const char*, bool> rows[] = {
      {"10.0.0.0/8", true}, {"192.168.*.*", true}, {"*.*.*.*", true}, {"1.2.3", false},
      {"1.2.3.", false},    {"a.b.c.d.e", false},  {"12345", false},  {"-1.2.3.4", false}};
  for (const auto& [member, rule] : rows) EXPECT_EQ(IsAddressRule(member), rule) << member;
  EXPECT_TRUE(AddressRuleMatches("172.16-31.*.*", "172.20.1.1"));
  EXPECT_FALSE(AddressRuleMatches("172.16-31.*.*", "172.32.1.1"));
  EXPECT_TRUE(AddressRuleMatches("0.0.0.0/0", "8.8.8.8"));
  EXPECT_FALSE(AddressRuleMatches("10.0.0.0/33", "10.0.0.1"));
}

TEST(GroupsTest, MemberFilesAreReadOnceFromTheConfigurationFolder) {
  TestFolder folder;
  WriteWholeFile("\nfile@x.example\n\n{loop.txt}\n", folder / "loop.txt", false);
  TGroupResolver groups(folder.path(), ParseGroupSections({"[g]", "{loop.txt}", "{missing.txt}"}));
  EXPECT_TRUE(groups.GroupHasAlias("g", "file@x.example"));
  EXPECT_FALSE(groups.GroupHasAlias("g", "other@x.example"));
}

TEST(AliasListTest, ComparesItemsAndGroups) {
  TestFolder folder;
  TGroupResolver groups(folder.path(), ParseGroupSections({"[team]", "me@x.example"}));
  struct TRow { const char* Record; const char* Searched; bool Match; };
  const TRow rows[] = {
      {"anna", "ANNA", true},      {"anna", "ann", false},     {"anna;ben", "ben", true},
      {"anna;ben", "x;anna", true}, {"", "", false},           {";", ";", false},
      {" a ; b ", "b", true},      {"[team]", "me@x.example", false},  // single items: no groups
      {"list;[team]", "me@x.example", true}, {"list;[team]", "you@x.example", false},
  };
  for (const TRow& row : rows) EXPECT_EQ(AliasListsMatch(row.Record, row.Searched, &groups), row.Match) << row.Record << " / " << row.Searched;
  EXPECT_FALSE(AliasListsMatch("list;[team]", "me@x.example", nullptr));
}

TEST(PunycodeTest, DecodesLabels) {
  std::u32string text;
  ASSERT_TRUE(DecodePunycode("mnchen-3ya", text));
  EXPECT_EQ(text, U"m\u00FCnchen");
  ASSERT_TRUE(DecodePunycode("bcher-kva", text));
  EXPECT_EQ(text, U"b\u00FCcher");
  ASSERT_TRUE(DecodePunycode("ihqwcrb4cv8a8dqg056pqjye", text));  // RFC 3492 sample (Chinese)
  EXPECT_EQ(text, U"\u4ED6\u4EEC\u4E3A\u4EC0\u4E48\u4E0D\u8BF4\u4E2D\u6587");
  for (const char* bad : {"abc-!!", "zzzzzzzzzzzzzzzzzzzz", "a-9999999999", "\xC3-abc"}) {
    EXPECT_FALSE(DecodePunycode(bad, text)) << bad;
  }
  EXPECT_EQ(DecodeIdnLabels("www.xn--mnchen-3ya.de"), "www.m\xFCnchen.de");
  EXPECT_EQ(DecodeIdnLabels("xn--!!.de"), "xn--!!.de");
}

TEST(TimeZoneTextTest, SignIsTheOppositeOfTheBias) {
  const std::pair<int, const char*> rows[] = {{0, "-0000"}, {-60, "+0100"}, {300, "-0500"}, {-330, "+0530"}, {-780, "+1300"}};
  for (const auto& [bias, text] : rows) EXPECT_EQ(TimeZoneTextFromBias(bias), text) << bias;
}

class ServerFoldersTest : public StoreTest {};

TEST_F(ServerFoldersTest, InitServerFoldersReadsPathTitleInfoAndTimeZone) {
  Write(Root() + "path.cfg",
        Root() + "cfg2\r\n" + Root() + "web\r\n\r\n\r\n\\\\srv\\share;u;p|\\\\srv\\two\r\n\r\n\r\n" +
            "F:\\Fwd\r\n");
  ForceDirectories(Root() + "cfg2\\");
  Write(Root() + "cfg2\\servertitle.dat", "Mail Title\r\nx=1\r\n");
  Write(Root() + "xml\\info.xml", "<info><DEMOMESSAGE>hello</DEMOMESSAGE></info>");
  seam_.Bias = -120;
  InitServerFoldersAt(Root());

  EXPECT_EQ(ConfigFolder(), Root() + "cfg2\\");
  EXPECT_EQ(HtmlFolder(), Root() + "web\\");
  EXPECT_EQ(HtmlTempFolder(), Root() + "html\\temp\\");
  // Line 3 is empty; line 4 is still applied.
  ASSERT_EQ(seam_.Shares.size(), 2u);
  EXPECT_EQ(seam_.Shares[0].Remote, "\\\\srv\\share");
  EXPECT_EQ(seam_.Shares[0].User, "u");
  EXPECT_EQ(seam_.Shares[0].Password, "p");
  EXPECT_EQ(seam_.Shares[1].User, "");
  EXPECT_EQ(ServerTitle().Title, "Mail Title");
  ASSERT_NE(InfoXmlDocument().FindChild("info"), nullptr);
  EXPECT_EQ(NetworkHandoff().TimeZoneText, "+0200");

  EXPECT_TRUE(LoadServerSettings(false, true));
  EXPECT_EQ(ForwardFolder(), "F:\\Fwd\\");
  EXPECT_EQ(ForwardRetryFolder(), MailFolder() + "forward\\retry\\");
}

TEST_F(ServerFoldersTest, EmptyRootFollowsTheConfigurationFolder) {
  ResetServerStore();
  SetConfigFolder(Root() + "config");
  EXPECT_TRUE(LoadServerSettings(false, true));
  EXPECT_EQ(ServerRootFolder(), Root() + "config\\..\\");
  EXPECT_EQ(MailFolder(), Root() + "config\\..\\mail\\");
}

}  // namespace

namespace {

// The platform's own backend: facts come back without failing, shares fail as a machine
// without a network answers, never by blocking.
TEST(PlatformHostSeamTest, AnswersHostFactsAndRefusesUnreachableShares) {
  SetHostSeam(nullptr);
  THostSeam& seam = HostSeam();
  for (const std::string& address : seam.AdapterAddresses()) {
    EXPECT_EQ(std::count(address.begin(), address.end(), '.'), 3) << address;
  }
  for (const std::string& server : seam.DnsServers()) EXPECT_FALSE(server.empty());
  EXPECT_NE(seam.ConnectNetworkShare("\\\\zarel-no-such-host\\share", "", ""), 0u);
  const int bias = seam.TimeZoneBiasMinutes();
  EXPECT_GE(bias, -14 * 60);
  EXPECT_LE(bias, 12 * 60);
#ifndef _WIN32
  const char* old = getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(seam.TimeZoneBiasMinutes(), 0);
  if (FileExists("/usr/share/zoneinfo/Asia/Tokyo")) {
    setenv("TZ", "Asia/Tokyo", 1);
    tzset();
    EXPECT_EQ(seam.TimeZoneBiasMinutes(), -540);
  }
  if (old) setenv("TZ", saved.c_str(), 1); else unsetenv("TZ");
  tzset();
  EXPECT_EQ(seam.LoadLibraryFile("/lib/db.dll"), nullptr);  // POSIX has no db.dll
#endif
}

}  // namespace
