// Database mode for real: the stand-in db.dll loaded by the store under Wine.
#include <windows.h>

#include <chrono>
#include <future>
#include <sstream>
#include <thread>

#include "serverconfig/AccountCache.h"
#include "serverconfig/AccountStore.h"
#include "serverconfig/DatabaseLibrary.h"
#include "serverconfig/DomainTable.h"
#include "serverconfig/StoreLocks.h"
#include "tests/ServerSettingsTestFixture.h"
#include "tools/zcfg/ConfigReport.h"

namespace {

// The build tree's db.dll as Wine sees it (its Z: drive is the Unix root).
std::string BuiltLibrary() {
  std::string path = "Z:" ZAREL_DB_DLL;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

TAccountRecord Account(const std::string& aliases) {
  TAccountRecord record;
  record.Set(account::kAliases, aliases);
  return record;
}

class DatabaseModeTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    store_ = Root() + "dbstore\\";
    std::string plain = PlainRecord();
    plain[3633] = 2;
    PutStr(plain, 2356, store_);
    PutI32(plain, 7020, 1);
    WriteSettingsFile(plain);
    Write(Config() + "domains.cfg", Entry96("file.example"));
  }
  void TearDown() override {
    CloseAccountDatabase();
    StoreTest::TearDown();
  }
  void InstallLibrary(const std::string& folder) {
    ForceDirectories(folder);
    ASSERT_TRUE(CopyFile(BuiltLibrary(), folder + "db.dll", false)) << BuiltLibrary();
  }
  std::string store_;
};

TEST_F(DatabaseModeTest, DomainsAndAccountsGoThroughTheLibrary) {
  InstallLibrary(Root() + "lib\\");
  ASSERT_TRUE(LoadServerSettings(false, false));
  ASSERT_TRUE(AccountDatabaseLoaded());
  ASSERT_TRUE(DatabaseMode());
  EXPECT_TRUE(DirectoryExists(store_));  // DBSetConnection got the settings text
  EXPECT_EQ(DomainCount(), 1);

  // The first search replaces the file table with the library's (still empty) one.
  EXPECT_FALSE(FindDomain("file.example"));
  EXPECT_EQ(DomainCount(), 0);

  EXPECT_TRUE(RegisterDomain("DB.example"));
  EXPECT_TRUE(RegisterDomain("second.example"));
  AddDomain("db.example");
  AddDomain("second.example");
  TDomainConfig config;
  config.Set(domainconfig::kAdministrator, "admin@db.example");
  EXPECT_TRUE(SaveDomainConfig(config, 0));
  EXPECT_EQ(Read(store_ + "db.example.dom"), std::string(reinterpret_cast<const char*>(config.data()), 913));

  ASSERT_TRUE(SaveAccount(0, Account("anna"), -1, false));
  ASSERT_TRUE(SaveAccount(0, Account("ben;benny"), -1, false));
  EXPECT_FALSE(SaveAccount(0, Account("gap"), 9, false));
  EXPECT_EQ(Read(store_ + "db.example.acc").size(), 2u * 2848);
  EXPECT_FALSE(FileExists(Config() + "db.example\\users.cfg"));
  EXPECT_EQ(FindAccountIndex(0, "benny"), 1);
  EXPECT_EQ(FindAccountIndex(0, "carl"), -1);

  // A save of an existing account with the flag refreshes its cached copy.
  AccountCache().Store("db.example", 1, Account("stale"));
  ASSERT_TRUE(SaveAccount(0, Account("ben;benjamin"), 1, true));
  TAccountRecord cached;
  ASSERT_TRUE(AccountCache().Lookup("db.example", 1, cached));
  EXPECT_EQ(cached.Get(account::kAliases), "ben;benjamin");

  TAccountList list;
  ASSERT_TRUE(OpenAccountList("db.example", list, "", 0, 0));
  std::vector<std::string> seen;
  while (!NextAccount(list)) seen.push_back(list.Account.Get(account::kAliases));
  CloseAccountList(list);
  EXPECT_EQ(seen, (std::vector<std::string>{"anna", "ben;benjamin"}));
  ASSERT_TRUE(OpenAccountList("db.example", list, "", 0, 1));  // skip one
  ASSERT_FALSE(NextAccount(list));
  EXPECT_EQ(list.Account.Get(account::kAliases), "ben;benjamin");
  EXPECT_EQ(list.Index, 1);
  CloseAccountList(list);

  ForceDirectories(Config() + "second.example\\");
  SetDomainBindings(1, "192.0.2.44", false);
  ASSERT_TRUE(MakeDomainPrimary(1));
  EXPECT_EQ(GetDomainName(0), "second.example");
  EXPECT_EQ(GetDomainBindings(0), "192.0.2.44");

  // Reopened, the table is the library's: its order and its addresses.
  CloseAccountDatabase();
  EXPECT_FALSE(AccountDatabaseLoaded());
  ASSERT_TRUE(LoadServerSettings(false, false));
  int index = -1;
  ASSERT_TRUE(FindDomain("db.example", &index));
  EXPECT_EQ(DomainCount(), 2);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(GetDomainName(0), "second.example");
  EXPECT_EQ(GetDomainAddress(0), "255.255.255.255");
}

TEST_F(DatabaseModeTest, LibraryCallsWaitForTheDatabaseLockUnlessByte152IsSet) {
  InstallLibrary(Root());
  ASSERT_TRUE(LoadServerSettings(false, false));
  ASSERT_TRUE(RegisterDomain("db.example"));
  AddDomain("db.example");

  std::promise<void> locked, release;
  std::thread holder([&] {
    TStoreLockGuard lock(kDatabaseLock);
    locked.set_value();
    release.get_future().wait();
  });
  locked.get_future().wait();

  ServerSettings().Set(settings::kDatabaseWithoutLock, 1);
  EXPECT_EQ(FindAccountIndex(0, "nobody"), -1);  // does not wait

  ServerSettings().Set(settings::kDatabaseWithoutLock, 0);
  auto blocked = std::async(std::launch::async, [] { return RegisterDomain("late.example"); });
  EXPECT_EQ(blocked.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
  release.set_value();
  holder.join();
  EXPECT_TRUE(blocked.get());
}

TEST_F(DatabaseModeTest, ZcfgShowsTheLibrarysDomainsAndAccounts) {
  InstallLibrary(Root());
  ASSERT_TRUE(LoadServerSettings(false, false));
  ASSERT_TRUE(RegisterDomain("db.example"));
  ASSERT_TRUE(FindDomain("db.example"));  // the table becomes the library's
  TAccountRecord record = Account("anna");
  record.Set(account::kPassword, "Hidden-Word");
  ASSERT_TRUE(SaveAccount(0, record, -1, false));
  CloseAccountDatabase();

  std::ostringstream out;
  ASSERT_TRUE(ShowConfiguration(Config(), out));
  const std::string report = out.str();
  EXPECT_NE(report.find("domain 0: db.example"), std::string::npos) << report;
  EXPECT_EQ(report.find("file.example"), std::string::npos) << report;
  EXPECT_NE(report.find("aliases:   anna"), std::string::npos) << report;
  EXPECT_EQ(report.find("Hidden-Word"), std::string::npos);
}

TEST_F(DatabaseModeTest, TheRootFolderComesBeforeLib) {
  InstallLibrary(Root());
  ASSERT_TRUE(LoadServerSettings(false, false));
  EXPECT_TRUE(DatabaseMode());
  // A light load never opens the library.
  CloseAccountDatabase();
  ASSERT_TRUE(LoadServerSettings(false, true));
  EXPECT_FALSE(AccountDatabaseLoaded());
}

// Byte 3381 of settings.cfg opens the library although the accounts stay in files.
TEST_F(DatabaseModeTest, Byte3381OpensTheLibraryInFileMode) {
  InstallLibrary(Root());
  for (const bool open : {false, true}) {
    SCOPED_TRACE(open ? "set" : "clear");
    CloseAccountDatabase();
    std::string plain = PlainRecord();
    plain[3633] = 1;
    plain[3381] = open ? 1 : 0;
    PutStr(plain, 2356, store_);
    PutI32(plain, 7020, 1);
    WriteSettingsFile(plain);
    ASSERT_TRUE(LoadServerSettings(false, false));
    EXPECT_EQ(AccountDatabaseLoaded(), open);
    EXPECT_FALSE(DatabaseMode());
  }
}

}  // namespace
