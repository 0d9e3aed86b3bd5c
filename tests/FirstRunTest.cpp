// The first-run configuration over a real configuration store in a scratch installation: the
// primary domain, its administrator, the reload notices and what the store's account hooks do
// once start-up has installed them.
#include <cstdint>
#include <map>

#include "base/TextFormat.h"
#include "engine/FirstRunUnit.h"
#include "texts/TextTable.h"
#include "serverconfig/AccountStore.h"
#include "serverconfig/DomainTable.h"
#include "serverconfig/ServerStore.h"
#include "tests/EngineTestSupport.h"
#include "tests/ServerSettingsTestFixture.h"

namespace {

struct TNotice {
  int Kind;
  std::uint32_t Message, First, Second;
};

class FirstRunTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    install_ = folder_.path() + "install\\";
    config_ = install_ + "config\\";
    SetupState().InstallDir = install_;
    OpenStore();
    ForceDirectories(config_);
    SetServerNoticeSender([this](int kind, std::uint32_t message, std::uint32_t first, std::uint32_t second) {
      notices_.push_back({kind, message, first, second});
      return true;
    });
  }
  void TearDown() override {
    SetServerNoticeSender(nullptr);
    SetAccountHooks({});
    ResetServerStore();
    EngineTest::TearDown();
  }
  // The installed store as a fresh process finds it.
  void OpenStore() {
    ResetServerStore();
    InitServerFoldersAt(install_);
    LoadServerSettings(false, false);
  }
  // An installed store holding these domains, each with its own bind.dat.
  void Seed(const std::vector<std::pair<std::string, std::string>>& domains, std::uint8_t welcome = 0) {
    for (const auto& [name, bindings] : domains) {
      AddDomain(name);
      ForceDirectories(DomainFolder(DomainCount() - 1));
      SetDomainBindings(DomainCount() - 1, bindings, false);
    }
    ServerSettings().Set(settings::kHostName, "old.host.test");
    ServerSettings().Set(settings::kWelcomeMessage, welcome);
    ASSERT_TRUE(SaveServerSettings());
    OpenStore();
  }
  std::string PlainSettings() { return ScrambleAt(ReadText(config_ + "settings.cfg"), 0); }
  std::vector<TAccountRecord> Accounts(const std::string& domain) {
    std::vector<TAccountRecord> accounts;
    TAccountList list;
    if (OpenAccountList(domain, list, "", 0, 0)) {
      while (!NextAccount(list)) accounts.push_back(list.Account);
    }
    return accounts;
  }

  std::string install_;
  std::string config_;
  std::vector<TNotice> notices_;
};

TEST_F(FirstRunTest, NewDomainBecomesPrimaryWithItsAdministrator) {
  Seed({{"a.test", "192.0.2.1"}, {"b.test", "192.0.2.2"}});
  ApplyTutorialSettings("  mail.new.test ", " new.test ", "chief", "  open sesame");
  OpenStore();

  // The new domain is entry 0; the former primary took the new entry's place, and each kept
  // its own bindings.
  ASSERT_EQ(DomainCount(), 3);
  EXPECT_EQ(GetDomainName(0), "new.test");
  EXPECT_EQ(GetDomainName(1), "b.test");
  EXPECT_EQ(GetDomainName(2), "a.test");
  EXPECT_EQ(GetDomainBindings(0), "");
  EXPECT_EQ(GetDomainBindings(1), "192.0.2.2");
  EXPECT_EQ(GetDomainBindings(2), "192.0.2.1");
  EXPECT_FALSE(FileExists(config_ + "new.test\\bind.dat"));

  // The host name; the servers' folders left to their defaults under the installation.
  const std::string settings = PlainSettings();
  EXPECT_EQ(ServerSettings().Get(settings::kHostName), "mail.new.test");
  for (const std::size_t folderField : {256u, 512u, 768u}) EXPECT_EQ(settings[folderField], '\0') << folderField;
  EXPECT_EQ(MailFolder(), install_ + "mail\\");

  TDomainConfig config;
  const std::string domainFile = ScrambleAt(ReadText(config_ + "new.test\\domain.cfg"), 0);
  ASSERT_EQ(domainFile.size(), config.size());
  std::copy(domainFile.begin(), domainFile.end(), config.Bytes.begin());
  EXPECT_EQ(config.Get(domainconfig::kReservedAliases), kReservedAliasList);
  EXPECT_EQ(config.Get(domainconfig::kAdministrator), "chief@new.test");

  const std::vector<TAccountRecord> accounts = Accounts("new.test");
  ASSERT_EQ(accounts.size(), 1u);
  const TAccountRecord& chief = accounts[0];
  EXPECT_EQ(chief.Get(account::kType), account::kUserAccount);
  EXPECT_EQ(chief.Get(account::kAliases), "chief");
  EXPECT_EQ(chief.Get(account::kAccountName), "chief");
  EXPECT_EQ(chief.Get(account::kFullName), "Chief");
  EXPECT_EQ(chief.Get(account::kPassword), "  open sesame");
  EXPECT_EQ(chief.Get(account::kMailboxPath), "new.test\\chief\\");
  EXPECT_EQ(chief.Get(account::kRights), account::kAdministratorRights);

  // SMTP, POP3, instant messaging, groupware: told in that order, the control server not.
  ASSERT_EQ(notices_.size(), 4u);
  const int order[] = {0, 1, 3, 4};
  for (std::size_t i = 0; i < notices_.size(); ++i) {
    EXPECT_EQ(notices_[i].Kind, order[i]);
    EXPECT_EQ(notices_[i].Message, 0x500u);
    EXPECT_EQ(notices_[i].First, 0u);
    EXPECT_EQ(notices_[i].Second, 0u);
  }
  EXPECT_TRUE(Contains(Log(), "Reload notice to ZarelSMTP: delivered"));
  EXPECT_FALSE(Contains(Log(), "open sesame"));
}

TEST_F(FirstRunTest, AnExistingDomainInAnyCaseChangesNothing) {
  Seed({{"example.com", "192.0.2.1"}});
  const std::string settings = ReadText(config_ + "settings.cfg");
  const std::string domains = ReadText(config_ + "domains.cfg");
  for (const char* typed : {"example.com", " EXAMPLE.Com ", "Example.COM"}) {
    ApplyTutorialSettings("new.host.test", typed, "chief", "pw");
    EXPECT_EQ(ReadText(config_ + "settings.cfg"), settings) << typed;
    EXPECT_EQ(ReadText(config_ + "domains.cfg"), domains) << typed;
    EXPECT_FALSE(FileExists(config_ + "example.com\\users.cfg")) << typed;
    EXPECT_FALSE(FileExists(config_ + "example.com\\domain.cfg")) << typed;
  }
  EXPECT_TRUE(notices_.empty());
}

// Every file of the configuration folder with its bytes.
std::map<std::string, std::string> StoreFiles(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const TDirEntry& entry : ListDirectory(folder, "*")) {
    if (entry.isDirectory) {
      for (const auto& [name, bytes] : StoreFiles(folder + entry.name + "\\")) files[entry.name + "\\" + name] = bytes;
    } else {
      files[entry.name] = ReadText(folder + entry.name);
    }
  }
  return files;
}

// A store that exists but cannot be read (settings.cfg or domains.cfg held by another program
// without sharing) cannot tell which domains exist: nothing is written, and the person is
// warned as on an upgrade.
TEST_F(FirstRunTest, AStoreThatCannotBeReadIsLeftAlone) {
  Seed({{"example.com", "192.0.2.1"}});
  WriteText(config_ + "example.com\\domain.cfg", "the domain's own record");
  const std::map<std::string, std::string> before = StoreFiles(config_);
  for (const char* held : {"settings.cfg", "domains.cfg"}) {
    SCOPED_TRACE(held);
    ui_.boxes.clear();
    const std::string path = config_ + held;
    const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    for (const char* domain : {"example.com", "new.test"}) ApplyTutorialSettings("mail.new.test", domain, "chief", "pw");
    CloseHandle(file);

    EXPECT_EQ(StoreFiles(config_), before);
    EXPECT_FALSE(DirectoryExists(config_ + "new.test\\"));
    EXPECT_TRUE(notices_.empty());
    ASSERT_EQ(ui_.boxes.size(), 2u);
    EXPECT_EQ(ui_.boxes[0].caption, "Warning");
    EXPECT_EQ(ui_.boxes[0].icon, MessageIcon::Warning);
    EXPECT_EQ(ui_.boxes[0].text, FormatText(cConfigNotSaved, {path}));
    EXPECT_TRUE(Contains(Log(), "First-run configuration: " + path + " could not be read: nothing written"));
  }
}

// The page and the unattended checks keep such values from the call; the call refuses them
// itself too. An empty domain would have replaced the last domain's domain.cfg and made that
// domain primary.
TEST_F(FirstRunTest, RefusedValuesWriteNothing) {
  Seed({{"a.test", "192.0.2.1"}, {"b.test", "192.0.2.2"}});
  WriteText(config_ + "b.test\\domain.cfg", "the domain's own record");
  const std::map<std::string, std::string> before = StoreFiles(config_);
  struct Row {
    std::string host, domain, user, password, logged;
  };
  const Row rows[] = {
      {"mail.new.test", "", "chief", "pw", "no domain or no user name"},
      {"mail.new.test", "   ", "chief", "pw", "no domain or no user name"},
      {"mail.new.test", "new.test", " ", "pw", "no domain or no user name"},
      {"mail.new.test", "admin@new.test", "chief", "pw", cWizardDomainInvalid},
      {"mail.new.test", "new.test", ";chief", "pw", cWizardUserInvalid},
      {"mail.new.test", "new.test", ". .", "pw", cWizardUserInvalid},
      {"mail.new.test", "new.test", std::string(300, 'u'), "pw", "longer than 127 characters"},
      {std::string(128, 'h'), "new.test", "chief", "pw", "longer than 127 characters"},
      {"mail.new.test", "new.test", "chief", std::string(128, 'p'), "longer than 127 characters"},
  };
  for (const Row& row : rows) {
    ApplyTutorialSettings(row.host, row.domain, row.user, row.password);
    EXPECT_EQ(StoreFiles(config_), before) << row.domain << "|" << row.user;
    EXPECT_TRUE(Contains(Log(), row.logged)) << row.logged;
  }
  EXPECT_TRUE(notices_.empty());
  EXPECT_TRUE(ui_.boxes.empty());
}

TEST_F(FirstRunTest, TheHooksOfStartUpPlaceTheWelcomeAndClearTheResponder) {
  InstallAccountHooks();
  Seed({{"a.test", ""}}, 1);
  WriteText(config_ + "messages.dat", "# welcome texts\r\n*=welcome.txt\r\nnew.test=other.txt\r\n");
  WriteText(config_ + "welcome.txt", "Hello %%name%%, this is $$recipient$$.\r\n");
  WriteText(config_ + "other.txt", "not this one\r\n");
  const std::string mailbox = install_ + "mail\\new.test\\chief\\";
  WriteText(mailbox + "respond.dat", "away");

  ApplyTutorialSettings("mail.new.test", "new.test", "chief", "pw");

  // Resolved against the installation's mail folder, not the current folder.
  EXPECT_EQ(ReadText(mailbox + "welcome.tmp"), "Hello Chief, this is chief@new.test.\r\n");
  EXPECT_FALSE(FileExists(mailbox + "respond.dat"));
  EXPECT_TRUE(Contains(Log(), "Welcome message for chief@new.test: placed"));
}

}  // namespace
