// Accounts mirrored through the stand-in LDAP32.Dll (forwarding to Windows' own LDAP client)
// into a real slapd on 127.0.0.1 (tests/peers/slapd.sh, seeded with o=example.com,
// ou=people,o=example.com and o=other.test).
//
// Each scenario checks what the synchronisation reports here and writes down what the
// directory must hold afterwards; the DirectoryCheck step then compares that with what
// ldapsearch finds (tests/peers/ldap_expect.py).
#include <cstdlib>
#include <fstream>
#include <map>

#include "engine/DirectorySyncUnit.h"
#include "serverconfig/AccountStore.h"
#include "serverconfig/DomainTable.h"
#include "serverconfig/ServerStore.h"
#include "serverconfig/StoreFileUnit.h"
#include "tests/EngineTestSupport.h"

namespace {

std::string UnixToWine(const std::string& path) {
  std::string wine = "Z:" + path;
  for (char& c : wine) {
    if (c == '/') c = '\\';
  }
  return wine;
}

// slapd.env of the running server.
const std::map<std::string, std::string>& Slapd() {
  static const std::map<std::string, std::string> values = [] {
    std::map<std::string, std::string> read;
    const char* folder = std::getenv("ZAREL_SLAPD");
    if (folder == nullptr) return read;
    read["FOLDER"] = UnixToWine(folder) + "\\";
    for (const std::string& line : SplitTextLines(ReadText(read["FOLDER"] + "slapd.env"))) {
      const std::size_t equals = line.find('=');
      if (equals != std::string::npos) read[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return read;
  }();
  return values;
}

std::string SlapdValue(const std::string& name) {
  const auto found = Slapd().find(name);
  return found == Slapd().end() ? std::string() : found->second;
}

TAccountRecord Account(const std::string& aliases, const std::string& fullName) {
  TAccountRecord record;
  record.Set(account::kAliases, aliases);
  record.Set(account::kFullName, fullName);
  return record;
}

using TLdif = std::vector<std::string>;

class DirectorySyncTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    ASSERT_FALSE(SlapdValue("LDAP_PORT").empty()) << "no slapd.env: ZAREL_SLAPD names the running slapd";
    install_ = folder_ / "install\\";
    SetupState().InstallDir = install_;
    ForceDirectories(install_);
    WriteWholeFile(ReadText(ZAREL_LDAP32_DLL), install_ + kLdapLibraryFileName, false);
    WriteSlapdConf("suffix o=%s\n");
    // Found through the installation folder the suite's key names.
    SetString(HKEY_LOCAL_MACHINE, "Software\\Quenfor\\Zarel Mail Server", "InstallDir", install_);

    ResetServerStore();
    SetServerRootFolder(install_);
    SetConfigFolder(install_ + "config\\");
    ForceDirectories(install_ + "config\\");
    TServerSettings& settings = ServerSettings();
    settings.Set(settings::kLdapPort, static_cast<std::uint16_t>(std::stoi(SlapdValue("LDAP_PORT"))));
    settings.Set(settings::kUseServerListForWebHost, 1);
    settings.Set(settings::kServerList, "127.0.0.1;backup.example.com");
    ForgetDirectoryConfig();
  }

  void TearDown() override {
    ForgetDirectoryConfig();
    UnloadLdapLibrary();
    SetAccountHooks({});
    ResetServerStore();
    WriteExpectations();
    EngineTest::TearDown();
  }

  void WriteSlapdConf(const std::string& suffixLines, const std::string& password = "") {
    WriteText(install_ + "ldap\\slapd.conf",
              "# written by the test\n" + suffixLines + "rootdn \"" + SlapdValue("ROOT_DN") + "\"\n" +
                  "rootpw\t" + (password.empty() ? SlapdValue("ROOT_PW") : password) + "\n");
  }

  TDirectorySyncResult Sync(const std::string& aliases, const std::string& fullName,
                            TLdapWriteMode mode = TLdapWriteMode::Add,
                            const std::string& domain = "example.com") {
    return SyncAccountToDirectory(Account(aliases, fullName), domain, mode);
  }

  // What the directory must hold: the entry with exactly these values (UTF-8)...
  void ExpectEntry(const std::string& dn, const TLdif& values) {
    expected_ += "dn: " + dn + "\n";
    for (const std::string& value : values) expected_ += value + "\n";
    expected_ += "\n";
  }
  // ...or no entry of that name.
  void ExpectAbsent(const std::string& dn) { expected_ += "absent: " + dn + "\n\n"; }

  void WriteExpectations() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string folder = SlapdValue("FOLDER") + "expected\\";
    ForceDirectories(folder);
    WriteWholeFile(expected_, folder + info->name() + ".ldif", true);
  }

  static void ExpectWritten(const TDirectorySyncResult& result, bool addedInstead = false) {
    EXPECT_EQ(result.Step, TDirectorySyncStep::Sent);
    EXPECT_EQ(result.Ldap.Status, TLdapStatus::Answered);
    EXPECT_EQ(result.Ldap.ErrorCode, kLdapSuccess);
    EXPECT_EQ(result.Ldap.AddedInstead, addedInstead);
  }

  std::string install_;
  std::string expected_;
};

// The bind carries the directory manager's password in clear text: only a directory on this
// machine keeps it off the network, and any other is noted in the log.
TEST(DirectoryHost, ThisMachineOrElsewhere) {
  for (const char* host : {"", "localhost", "LocalHost", "127.0.0.1", "127.1.2.3", "::1", "MAILHOST", " mailhost "})
    EXPECT_TRUE(IsThisMachine(host, "MailHost")) << host;
  for (const char* host : {"ldap.example.com", "10.0.0.5", "mailhost2", "128.0.0.1"})
    EXPECT_FALSE(IsThisMachine(host, "MailHost")) << host;
  EXPECT_FALSE(IsThisMachine("anything", ""));
}

TEST_F(DirectorySyncTest, WritesOneEntryPerAccount) {
  ExpectWritten(Sync("john", "John Smith"));
  ExpectEntry("cn=john@example.com,o=example.com",
              {"objectClass: inetOrgPerson", "cn: John Smith", "cn: john@example.com", "givenName: John",
               "sn: Smith", "mail: john@example.com"});

  ExpectWritten(Sync("smith", "Smith"));
  ExpectEntry("cn=smith@example.com,o=example.com",
              {"objectClass: inetOrgPerson", "cn: Smith", "cn: smith@example.com", "sn: Smith",
               "mail: smith@example.com"});

  // "%s" stands for each account's own domain.
  ExpectWritten(Sync("anna;a.berg", "Anna Maria Berg", TLdapWriteMode::Add, "other.test"));
  ExpectEntry("cn=anna\\;a.berg@other.test,o=other.test",
              {"objectClass: inetOrgPerson", "cn: Anna Maria Berg", "cn: anna;a.berg@other.test",
               "givenName: Anna", "sn: Maria Berg", "mail: anna@other.test", "mail: a.berg@other.test"});

  // Names typed in the ANSI code page arrive as UTF-8.
  ExpectWritten(Sync("jose", "Jos\xE9 M\xFCller"));
  ExpectEntry("cn=jose@example.com,o=example.com",
              {"objectClass: inetOrgPerson", "cn: Jos\xC3\xA9 M\xC3\xBCller", "cn: jose@example.com",
               "givenName: Jos\xC3\xA9", "sn: M\xC3\xBCller", "mail: jose@example.com"});

  // A second add of the same account is refused by the server, and said so.
  const TDirectorySyncResult again = Sync("john", "John Smith");
  EXPECT_EQ(again.Ldap.Status, TLdapStatus::Answered);
  EXPECT_EQ(again.Ldap.ErrorCode, 68);  // already exists
}

TEST_F(DirectorySyncTest, UpdateAddsAMissingEntryAndReplacesItsValues) {
  ExpectWritten(Sync("jane", "Jane Doe", TLdapWriteMode::Update), true);
  // Known by one name now: the given name goes, the naming value stays.
  ExpectWritten(Sync("jane", "Doe", TLdapWriteMode::Update));
  ExpectEntry("cn=jane@example.com,o=example.com",
              {"objectClass: inetOrgPerson", "cn: Doe", "cn: jane@example.com", "sn: Doe",
               "mail: jane@example.com"});

  ExpectWritten(Sync("gone", "Gone Soon"));
  const TDirectorySyncResult removed = Sync("gone", "", TLdapWriteMode::Delete);
  ExpectWritten(removed);
  ExpectAbsent("cn=gone@example.com,o=example.com");
}

TEST_F(DirectorySyncTest, AliasesWithSpecialCharactersNameTheirOwnEntry) {
  struct TRow { const char* Alias; const char* Dn; };
  const TRow rows[] = {
      {"a,b", "cn=a\\,b@example.com,o=example.com"},
      {"x+sn=y", "cn=x\\+sn\\=y@example.com,o=example.com"},
      {"back\\slash", "cn=back\\\\slash@example.com,o=example.com"},
      {"#hash", "cn=\\#hash@example.com,o=example.com"},
      {"q\"<lt>", "cn=q\\\"\\<lt\\>@example.com,o=example.com"},
      {"p,ou=people", "cn=p\\,ou\\=people@example.com,o=example.com"},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Alias);
    ExpectWritten(Sync(row.Alias, "Special"));
    const std::string naming = std::string(row.Alias) + "@example.com";
    ExpectEntry(row.Dn, {"objectClass: inetOrgPerson", "cn: Special", "cn: " + naming, "sn: Special",
                         "mail: " + naming});
  }
  // Unescaped, the "+" would have named a two-part entry of its own.
  ExpectAbsent("cn=x+sn=y@example.com,o=example.com");
}

TEST_F(DirectorySyncTest, UserSuffixWinsAndSlapdConfIsReadOncePerRun) {
  ExpectWritten(Sync("first", "First"));
  EXPECT_EQ(DirectoryConfigFolder(), install_);
  ExpectEntry("cn=first@example.com,o=example.com",
              {"objectClass: inetOrgPerson", "cn: First", "cn: first@example.com", "sn: First",
               "mail: first@example.com"});

  WriteSlapdConf("usersuffix ou=people,o=%s\nsuffix o=%s\n");
  ExpectWritten(Sync("second", "Second"));  // still the suffix read first
  ExpectEntry("cn=second@example.com,o=example.com",
              {"objectClass: inetOrgPerson", "cn: Second", "cn: second@example.com", "sn: Second",
               "mail: second@example.com"});

  ForgetDirectoryConfig();
  ExpectWritten(Sync("third", "Third"));
  ExpectEntry("cn=third@example.com,ou=people,o=example.com",
              {"objectClass: inetOrgPerson", "cn: Third", "cn: third@example.com", "sn: Third",
               "mail: third@example.com"});
  ExpectAbsent("cn=third@example.com,o=example.com");
}

TEST_F(DirectorySyncTest, BypassedRefusedAndUnreachableAccountsStayOut) {
  WriteText(install_ + "config\\ldapbypass.dat", "# not in the address book\nskip*@example.com\n");
  EXPECT_EQ(Sync("keep;skipme", "Kept Out").Step, TDirectorySyncStep::Bypassed);
  ExpectAbsent("cn=keep\\;skipme@example.com,o=example.com");
  ExpectWritten(Sync("kept", "Kept In"));
  ExpectEntry("cn=kept@example.com,o=example.com",
              {"objectClass: inetOrgPerson", "cn: Kept In", "cn: kept@example.com", "givenName: Kept",
               "sn: In", "mail: kept@example.com"});

  TAccountRecord group = Account("group", "A Group");
  group.Set(account::kType, 1);
  EXPECT_EQ(SyncAccountToDirectory(group, "example.com", TLdapWriteMode::Add).Step,
            TDirectorySyncStep::NotUserAccount);
  ExpectAbsent("cn=group@example.com,o=example.com");

  // A wrong password: the bind is not awaited, the write is refused.
  WriteSlapdConf("suffix o=%s\n", "wrong password");
  ForgetDirectoryConfig();
  const TDirectorySyncResult refused = Sync("refused", "Refused");
  EXPECT_EQ(refused.Ldap.Status, TLdapStatus::Answered);
  EXPECT_NE(refused.Ldap.ErrorCode, kLdapSuccess);
  ExpectAbsent("cn=refused@example.com,o=example.com");

  // Nothing listens on the port: nothing written, and no wait beyond the result's 5 s.
  WriteSlapdConf("suffix o=%s\n");
  ForgetDirectoryConfig();
  ServerSettings().Set(settings::kLdapPort, 1);
  const DWORD started = GetTickCount();
  const TDirectorySyncResult unreachable = Sync("unreachable", "Nobody");
  EXPECT_EQ(unreachable.Step, TDirectorySyncStep::Sent);
  EXPECT_NE(unreachable.Ldap.Status, TLdapStatus::Answered);
  EXPECT_LT(GetTickCount() - started, 7000u);
}

TEST_F(DirectorySyncTest, NeedsSlapdConfAndTheInstallationsOwnLibrary) {
  DeleteFileAt(install_ + "ldap\\slapd.conf");
  EXPECT_EQ(Sync("noconf", "No Conf").Step, TDirectorySyncStep::NoSuffix);

  WriteSlapdConf("suffix o=%s\n");
  ForgetDirectoryConfig();
  // A library beside the setup program or in the current folder is never taken.
  const std::string dropped = folder_ / "dropped\\";
  ForceDirectories(dropped);
  WriteWholeFile(ReadText(ZAREL_LDAP32_DLL), dropped + kLdapLibraryFileName, false);
  DeleteFileAt(install_ + kLdapLibraryFileName);
  char previous[MAX_PATH + 1] = {};
  GetCurrentDirectoryA(MAX_PATH, previous);
  SetCurrentDirectoryA(dropped.c_str());
  const TDirectorySyncResult result = Sync("nolib", "No Library");
  SetCurrentDirectoryA(previous);
  EXPECT_EQ(result.Step, TDirectorySyncStep::NoLibrary);
  EXPECT_FALSE(LdapLibraryLoaded());
  ExpectAbsent("cn=nolib@example.com,o=example.com");
}

TEST_F(DirectorySyncTest, SavingAnAccountMirrorsIt) {
  ASSERT_TRUE(AddDomain("example.com"));
  ServerSettings().Set(settings::kLdapSync, 1);
  ServerSettings().Set(settings::kDirectorySyncOption, 1);
  SetAccountHooks({nullptr, SynchroniseSavedAccount});

  ASSERT_TRUE(SaveAccount(0, Account("saved", "Saved Once"), -1, false));
  ASSERT_TRUE(SaveAccount(0, Account("saved", "Saved Twice"), 0, false));
  ExpectEntry("cn=saved@example.com,o=example.com",
              {"objectClass: inetOrgPerson", "cn: Saved Twice", "cn: saved@example.com",
               "givenName: Saved", "sn: Twice", "mail: saved@example.com"});
  EXPECT_TRUE(Contains(Log(), "Directory entry of saved@example.com: result code 0"));

  // Existing in the store but not yet in the directory: the update adds it.
  ServerSettings().Set(settings::kDirectorySyncOption, 0);
  ASSERT_TRUE(SaveAccount(0, Account("later", "Later On"), -1, false));
  ServerSettings().Set(settings::kDirectorySyncOption, 1);
  ASSERT_TRUE(SaveAccount(0, Account("later", "Later On"), 1, false));
  EXPECT_TRUE(Contains(Log(), "Directory entry of later@example.com: result code 0 (added, it was not there)"));
  ExpectEntry("cn=later@example.com,o=example.com",
              {"objectClass: inetOrgPerson", "cn: Later On", "cn: later@example.com", "givenName: Later",
               "sn: On", "mail: later@example.com"});
}

}  // namespace
