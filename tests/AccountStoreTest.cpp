// domain.cfg, users.cfg and the account operations in file mode.
#include "serverconfig/AccountCache.h"
#include "serverconfig/AccountStore.h"
#include "serverconfig/DatabaseLibrary.h"
#include "serverconfig/DomainTable.h"
#include "tests/ServerSettingsTestFixture.h"

namespace {

TAccountRecord Account(const std::string& aliases, const std::string& mailbox = "") {
  TAccountRecord record;
  record.Set(account::kAliases, aliases);
  record.Set(account::kAccountName, aliases.substr(0, aliases.find(';')));
  record.Set(account::kMailboxPath, mailbox);
  return record;
}

struct THookCall {
  std::string Domain;
  std::string Aliases;
  bool IsNew = false;
  std::string MessagesPath;
};

class AccountStoreTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    AddDomain("example.com");
    ServerSettings().Set(settings::kMailFolder, Root() + "mail\\");
    SetAccountHooks({[this](const std::string& messages, const std::string& domain,
                            const TAccountRecord& record) {
                       welcome_.push_back({domain, record.Get(account::kAliases), true, messages});
                     },
                     [this](const TAccountRecord& record, const std::string& domain, bool isNew) {
                       directory_.push_back({domain, record.Get(account::kAliases), isNew, ""});
                     }});
  }
  void TearDown() override {
    SetAccountHooks({});
    SetAccountFilter(nullptr);
    StoreTest::TearDown();
  }
  std::string UsersFile() { return Config() + "example.com\\users.cfg"; }
  std::string PlainUsers() { return ScrambleAt(Read(UsersFile()), 0); }
  std::string AliasesAt(int index) {
    return ReadStrField(reinterpret_cast<const std::uint8_t*>(PlainUsers().data()) + index * 2848 + 260, 255);
  }
  void SaveThree() {
    for (const char* alias : {"anna", "ben;benjamin", "carl"}) ASSERT_TRUE(SaveAccount(0, Account(alias), -1, false));
  }

  std::vector<THookCall> welcome_;
  std::vector<THookCall> directory_;
};

TEST_F(AccountStoreTest, AppendsAtTheEndAndOverwritesInPlace) {
  SaveThree();
  ASSERT_EQ(Read(UsersFile()).size(), 3u * 2848);
  ServerSettings().Set(settings::kLdapSync, 1);
  ServerSettings().Set(settings::kDirectorySyncOption, 1);

  struct TRow { int Position; const char* Aliases; bool Saved; int Records; int Written; bool IsNew; };
  const TRow rows[] = {
      {-1, "dora", true, 4, 3, true},
      {1, "bert", true, 4, 1, false},
      {4, "emil", true, 5, 4, true},   // the count itself appends
      {7, "fritz", false, 5, -1, false},  // past the end: refused, no gap
      {-5, "gerd", false, 5, -1, false},
      {0, "", false, 5, -1, false},       // empty alias: nothing written
      {0, "   ", false, 5, -1, false},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Aliases);
    directory_.clear();
    const std::string before = Read(UsersFile());
    EXPECT_EQ(SaveAccount(0, Account(row.Aliases), row.Position, false), row.Saved);
    EXPECT_EQ(Read(UsersFile()).size(), static_cast<std::size_t>(row.Records) * 2848);
    if (row.Written >= 0) {
      EXPECT_EQ(AliasesAt(row.Written), row.Aliases);
      ASSERT_EQ(directory_.size(), 1u);
      EXPECT_EQ(directory_[0].IsNew, row.IsNew);
      EXPECT_EQ(directory_[0].Domain, "example.com");
    } else {
      EXPECT_EQ(Read(UsersFile()), before);
      EXPECT_TRUE(directory_.empty());
    }
  }
  EXPECT_EQ(AliasesAt(0), "anna");
  EXPECT_EQ(AliasesAt(2), "carl");
}

TEST_F(AccountStoreTest, RecordsAreScrambledWithPhaseZero) {
  TAccountRecord record = Account("x");
  record.Set(account::kPassword, "  secret");
  record.Set(account::kRights, 1);
  ASSERT_TRUE(SaveAccount(0, record, -1, false));
  ASSERT_TRUE(SaveAccount(0, record, -1, false));
  const std::string file = Read(UsersFile());
  const std::string expected(reinterpret_cast<const char*>(record.data()), 2848);
  EXPECT_EQ(file.substr(0, 2848), ScrambleAt(expected, 0));
  EXPECT_EQ(file.substr(2848), ScrambleAt(expected, 0));
  EXPECT_EQ(PlainUsers()[772], 8);
  EXPECT_EQ(PlainUsers().substr(773, 8), "  secret");
  EXPECT_EQ(PlainUsers()[1284], 1);
}

TEST_F(AccountStoreTest, NoDomainNoSave) {
  EXPECT_FALSE(SaveAccount(3, Account("x"), -1, false));
  EXPECT_EQ(FindAccountIndex(3, "x"), -1);
}

TEST_F(AccountStoreTest, SaveDomainConfigWritesTheScrambledRecord) {
  TDomainConfig config;
  config.Set(domainconfig::kReservedAliases, "postmaster;admin");
  config.Set(domainconfig::kAdministrator, "admin@example.com");
  ASSERT_TRUE(SaveDomainConfig(config, 0));
  const std::string plain = ScrambleAt(Read(Config() + "example.com\\domain.cfg"), 0);
  ASSERT_EQ(plain.size(), 913u);
  EXPECT_EQ(plain.substr(128, 17), "\x10postmaster;admin");
  EXPECT_EQ(plain.substr(384, 18), "\x11" "admin@example.com");
  EXPECT_EQ(plain[0], 0);
  EXPECT_FALSE(SaveDomainConfig(config, 1));
  EXPECT_TRUE(RegisterDomain("example.com"));  // file mode: nothing to register
}

TEST_F(AccountStoreTest, FindsTheFirstRecordSharingAnAlias) {
  SaveThree();
  ASSERT_TRUE(SaveAccount(0, Account("benjamin;dan"), -1, false));
  struct TRow { const char* Search; int Index; };
  const TRow rows[] = {
      {"anna", 0}, {"ANNA ", 0}, {"benjamin", 1}, {"dan", 3}, {"x;carl", 2},
      {"ann", -1}, {"", -1}, {";", -1}, {"carl;", 2},
  };
  for (const TRow& row : rows) EXPECT_EQ(FindAccountIndex(0, row.Search), row.Index) << row.Search;
  AddDomain("empty.example");
  EXPECT_EQ(FindAccountIndex(1, "anna"), -1);  // no users.cfg
}

TEST_F(AccountStoreTest, GroupsMatchNestedGroupsAndMemberFiles) {
  Write(Config() + "groups.dat",
        "[staff]\n"
        "<boss@example.com>\n"
        "[Partners]\n"
        "{members.txt}\n"
        "192.168.*.*\n"
        "\n"
        "[partners]\n"
        "@partner.example\n"
        "[staff]\n"             // names back: the loop stops
        "\n"
        "[wild]\n"
        "*@*.example.org\n");
  Write(Config() + "members.txt", "\n  ext@elsewhere.example  \n\n");
  ASSERT_TRUE(SaveAccount(0, Account("nobody"), -1, false));
  ASSERT_TRUE(SaveAccount(0, Account("list;[staff]"), -1, false));
  ASSERT_TRUE(SaveAccount(0, Account("w;[wild]"), -1, false));
  struct TRow { const char* Search; int Index; };
  const TRow rows[] = {
      {"boss@example.com", 1}, {"anyone@partner.example", 1}, {"ext@elsewhere.example", 1},
      {"x@sub.example.org", 2}, {"192.168.1.1", -1}, {"stranger@example.com", -1},
      {"[staff]", 1},
  };
  for (const TRow& row : rows) EXPECT_EQ(FindAccountIndex(0, row.Search), row.Index) << row.Search;
}

TEST_F(AccountStoreTest, AccountListDeliversRecordsWithTheirPositionsAndFilters) {
  SaveThree();
  TAccountList list;
  ASSERT_TRUE(OpenAccountList("example.com", list, "", 0, 0));
  EXPECT_EQ(list.Count, 3);
  std::vector<std::pair<int, std::string>> seen;
  while (!NextAccount(list)) seen.emplace_back(list.Index, list.Account.Get(account::kAliases));
  EXPECT_EQ(seen, (std::vector<std::pair<int, std::string>>{{0, "anna"}, {1, "ben;benjamin"}, {2, "carl"}}));
  EXPECT_TRUE(NextAccount(list));
  CloseAccountList(list);
  EXPECT_FALSE(list.Open);

  SetAccountFilter([](const TAccountList& l, const TAccountRecord& r) {
    return r.Get(account::kAliases).find(l.Filter) != std::string::npos;
  });
  ASSERT_TRUE(OpenAccountList("example.com", list, "ar", 3, 0));
  EXPECT_EQ(list.Mode, 3);
  seen.clear();
  while (!NextAccount(list)) seen.emplace_back(list.Index, list.Account.Get(account::kAliases));
  EXPECT_EQ(seen, (std::vector<std::pair<int, std::string>>{{2, "carl"}}));

  EXPECT_FALSE(OpenAccountList("missing.example", list, "", 0, 0));
  EXPECT_TRUE(NextAccount(list));
}

TEST_F(AccountStoreTest, MailboxMarkerFilesFollowTheRecord) {
  const std::string box = Root() + "mail\\example.com\\anna\\";
  ForceDirectories(box);
  Write(box + "respond.dat", "away");
  struct TRow { std::uint8_t Responder; std::uint32_t Active; bool KeepsRespond; bool HasActive; };
  const TRow rows[] = {
      {0, 0, false, false}, {2, 0, true, false}, {3, 65535, true, false},
      {6, 65536, true, true},  // only the low two bits count
      {1, 70000, false, true},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.Responder));
    Write(box + "respond.dat", "away");
    DeleteFileAt(box + "active.dat");
    TAccountRecord record = Account("anna", "example.com\\anna\\");
    record.Set(account::kResponderState, row.Responder);
    record.Set(account::kActiveValue, row.Active);
    ASSERT_TRUE(SaveAccount(0, record, -1, false));
    EXPECT_EQ(FileExists(box + "respond.dat"), row.KeepsRespond);
    EXPECT_EQ(FileExists(box + "active.dat"), row.HasActive);
  }
  // Not for other account types.
  TAccountRecord list = Account("list", "example.com\\anna\\");
  list.Set(account::kType, 1);
  Write(box + "respond.dat", "away");
  ASSERT_TRUE(SaveAccount(0, list, -1, false));
  EXPECT_TRUE(FileExists(box + "respond.dat"));
  // Without a mailbox field nothing lands in the mail folder itself.
  TAccountRecord nobox = Account("nobox");
  nobox.Set(account::kActiveValue, 70000);
  Write(Root() + "mail\\respond.dat", "keep");
  ASSERT_TRUE(SaveAccount(0, nobox, -1, false));
  EXPECT_FALSE(FileExists(Root() + "mail\\active.dat"));
  EXPECT_TRUE(FileExists(Root() + "mail\\respond.dat"));
}

TEST_F(AccountStoreTest, WelcomeMessageOnlyForNewUserAccountsWhenSwitchedOn) {
  struct TRow { bool Option; int Position; std::uint8_t Type; std::uint8_t NoWelcome; bool Placed; };
  const TRow rows[] = {
      {false, -1, 0, 0, false}, {true, -1, 0, 0, true}, {true, 0, 0, 0, false},
      {true, -1, 1, 0, false},  {true, -1, 0, 1, false},
  };
  for (const TRow& row : rows) {
    welcome_.clear();
    ServerSettings().Set(settings::kWelcomeMessage, row.Option ? 1 : 0);
    TAccountRecord record = Account("w");
    record.Set(account::kType, row.Type);
    record.Set(account::kNoWelcomeMessage, row.NoWelcome);
    ASSERT_TRUE(SaveAccount(0, record, row.Position, false));
    ASSERT_EQ(welcome_.size(), row.Placed ? 1u : 0u);
    if (row.Placed) {
      EXPECT_EQ(welcome_[0].MessagesPath, Config() + "messages.dat");
      EXPECT_EQ(welcome_[0].Domain, "example.com");
    }
  }
}

TEST_F(AccountStoreTest, DirectorySyncNeedsBothOptions) {
  for (int bits = 0; bits < 4; ++bits) {
    directory_.clear();
    ServerSettings().Set(settings::kLdapSync, bits & 1);
    ServerSettings().Set(settings::kDirectorySyncOption, (bits >> 1) & 1);
    ASSERT_TRUE(SaveAccount(0, Account("s"), -1, false));
    EXPECT_EQ(directory_.size(), bits == 3 ? 1u : 0u) << bits;
  }
}

TEST_F(AccountStoreTest, MailboxPathsAndCleanedNames) {
  const std::string mail = Root() + "mail\\";
  struct TRow { const char* Field; bool WithFolder; const char* Folder; std::string Path; };
  const TRow rows[] = {
      {"example.com\\anna", false, "", mail + "example.com\\anna\\"},
      {"example.com\\anna\\", true, "", mail + "example.com\\anna\\inbox\\"},
      {"example.com/anna/", true, "Sent;Drafts", mail + "example.com/anna/Sent\\"},
      {"D:\\boxes\\anna", false, "", "D:\\boxes\\anna\\"},
      {"\\\\server\\share\\anna", false, "", "\\\\server\\share\\anna\\"},
      {"x", true, "", mail + "x\\inbox\\"},
  };
  for (const TRow& row : rows) {
    EXPECT_EQ(GetMailboxPath(row.Field, row.WithFolder, row.Folder), row.Path) << row.Field;
  }
  EXPECT_EQ(GetMailboxPath("x", true, std::string(80, 'f')), mail + "x\\" + std::string(63, 'f') + "\\");

  struct TClean { std::uint8_t Mode; const char* Text; const char* Clean; };
  const TClean cleans[] = {
      {0, "C:\\a*b\\c", "C\\ab\\c"},
      {0, "\"x<y>z?|/:\"", "xyz"},
      {1, "C:\\a*b/c", "C:\\ab/c"},
      {2, "a*b:c", "a*b:c"},
      {0, "caf\xE9*", "caf\xE9"},
  };
  for (const TClean& row : cleans) {
    ServerSettings().Set(settings::kPathCleaningMode, row.Mode);
    EXPECT_EQ(CleanPathName(row.Text), row.Clean) << row.Text;
  }
}

TEST(AccountCacheTest, HoldsWhatItsSizeAllowsAndRefreshesOnlyCachedAccounts) {
  EXPECT_EQ(AccountCacheCapacity(10), 10u * 1048576 / 8544);
  EXPECT_EQ(AccountCacheCapacity(0), AccountCacheCapacity(1));
  EXPECT_EQ(AccountCacheCapacity(-5), AccountCacheCapacity(1));
  TAccountCache cache;
  cache.Prepare(2);
  cache.Store("A.example", 0, Account("a"));
  cache.Store("a.example", 1, Account("b"));
  TAccountRecord record;
  ASSERT_TRUE(cache.Lookup("a.example", 0, record));
  EXPECT_EQ(record.Get(account::kAliases), "a");
  EXPECT_FALSE(cache.Refresh("a.example", 5, Account("z")));
  EXPECT_TRUE(cache.Refresh("a.example", 1, Account("b2")));
  ASSERT_TRUE(cache.Lookup("a.example", 1, record));
  EXPECT_EQ(record.Get(account::kAliases), "b2");
  cache.Store("a.example", 2, Account("c"));  // the oldest makes room
  EXPECT_EQ(cache.Size(), 2u);
  EXPECT_FALSE(cache.Lookup("a.example", 0, record));
}

}  // namespace

namespace {

TEST_F(AccountStoreTest, WithoutTheLibraryStorageMode2StaysWithTheFiles) {
  std::string plain = PlainRecord();
  plain[3633] = 2;
  PutI32(plain, 7020, 1);
  WriteSettingsFile(plain);
  Write(Config() + "domains.cfg", Entry96("example.com"));
  EXPECT_TRUE(LoadServerSettings(false, false));
  EXPECT_FALSE(AccountDatabaseLoaded());
  EXPECT_TRUE(FindDomain("example.com"));
  EXPECT_TRUE(RegisterDomain("new.example"));
  ASSERT_TRUE(SaveAccount(0, Account("anna"), -1, false));
  EXPECT_EQ(FindAccountIndex(0, "anna"), 0);
  EXPECT_EQ(Read(UsersFile()).size(), 2848u);
}

}  // namespace
