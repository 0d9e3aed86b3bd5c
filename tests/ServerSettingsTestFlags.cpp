// The flag bytes the setup acts on, each set at its published offset in a file, loaded, and
// seen at work; the same file without the byte shows the opposite. Built from bare offsets, so
// a named constant that moved makes the effect follow the wrong byte.
#include <functional>

#include "serverconfig/AccountStore.h"
#include "serverconfig/DomainTable.h"
#include "tests/ServerSettingsTestFixture.h"

namespace {

class FlagByteTest : public StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    SetAccountHooks({[this](const std::string&, const std::string&, const TAccountRecord&) { ++welcomes_; },
                     [this](const TAccountRecord&, const std::string&, bool) { ++synchronised_; }});
  }
  void TearDown() override {
    SetAccountHooks({});
    StoreTest::TearDown();
  }

  // A fresh store over settings.cfg holding these plain bytes and a table of two domains.
  void LoadStore(const std::string& plain) {
    ResetServerStore();
    InitServerFoldersAt(Root());
    RemoveFolderTree(Config());
    ForceDirectories(Config());
    WriteSettingsFile(plain);
    Write(Config() + "domains.cfg", Entry96("example.com") + Entry96("m\xFCnchen.de"));
    ASSERT_TRUE(LoadServerSettings(false, true));
    welcomes_ = synchronised_ = 0;
  }
  static std::string Settings(std::initializer_list<std::size_t> setBytes) {
    std::string plain = PlainRecord();
    PutI32(plain, 7020, 2);
    plain[7001] = 1;
    for (std::size_t offset : setBytes) plain[offset] = 1;
    return plain;
  }
  // A record as another domain's users.cfg holds it, read back through the account list.
  TAccountRecord LoadedAccount(std::string plain) {
    const std::string folder = Config() + "source.example\\";
    ForceDirectories(folder);
    Write(folder + "users.cfg", ScrambleAt(plain, 0));
    TAccountList list;
    EXPECT_TRUE(OpenAccountList("source.example", list, "", 0, 0));
    EXPECT_FALSE(NextAccount(list));
    CloseAccountList(list);
    return list.Account;
  }

  int welcomes_ = 0;
  int synchronised_ = 0;
};

TEST_F(FlagByteTest, SettingsFlagBytesTakeEffectFromTheFile) {
  seam_.Adapters = {"192.0.2.10"};
  const auto saveNewAccount = [] {
    TAccountRecord record;
    record.Set(account::kAliases, "anna");
    return SaveAccount(0, record, -1, false);
  };
  struct TRow {
    const char* What;
    std::vector<std::size_t> Offsets;  // the effect needs all of them
    std::function<bool()> Effect;
  };
  const TRow rows[] = {
      {"international domain names", {149}, [] { return FindDomain("xn--mnchen-3ya.de"); }},
      {"address-literal domains", {155}, [] { return FindDomain("[192.0.2.10]"); }},
      {"welcome message", {1473}, [&] { return saveNewAccount() && welcomes_ == 1; }},
      {"directory synchronisation", {207, 3382}, [&] { return saveNewAccount() && synchronised_ == 1; }},
  };
  for (const TRow& row : rows) {
    for (unsigned subset = 0; subset < (1u << row.Offsets.size()); ++subset) {
      std::string plain = Settings({});
      for (std::size_t i = 0; i < row.Offsets.size(); ++i) {
        if (subset & (1u << i)) plain[row.Offsets[i]] = 1;
      }
      const bool all = subset + 1 == (1u << row.Offsets.size());
      SCOPED_TRACE(std::string(row.What) + (all ? " on" : " off") + ", bytes " + std::to_string(subset));
      LoadStore(plain);
      EXPECT_EQ(row.Effect(), all);
    }
  }
}

TEST_F(FlagByteTest, AccountFlagBytesTakeEffectFromTheFile) {
  const std::string box = Root() + "mail\\example.com\\anna\\";
  struct TRow {
    const char* What;
    std::size_t Offset;
    std::string Bytes;
    bool EffectWhenSet;
    std::function<bool()> Effect;
  };
  const TRow rows[] = {
      {"account type other than user", 0, "\x01", false, [&] { return welcomes_ == 1; }},
      {"no welcome message", 1295, "\x01", false, [&] { return welcomes_ == 1; }},
      {"auto-responder state 2", 1293, "\x02", true, [&] { return FileExists(box + "respond.dat"); }},
      {"active value 65536", 660, std::string("\0\0\1\0", 4), true,
       [&] { return FileExists(box + "active.dat"); }},
  };
  for (const TRow& row : rows) {
    for (const bool set : {false, true}) {
      SCOPED_TRACE(std::string(row.What) + (set ? " set" : " clear"));
      LoadStore(Settings({1473}));
      ForceDirectories(box);
      Write(box + "respond.dat", "away");
      std::string plain(2848, '\0');
      PutStr(plain, 260, "anna");
      PutStr(plain, 1028, "example.com\\anna\\");
      if (set) plain.replace(row.Offset, row.Bytes.size(), row.Bytes);
      const TAccountRecord record = LoadedAccount(plain);
      ASSERT_TRUE(SaveAccount(0, record, -1, false));
      EXPECT_EQ(row.Effect(), set == row.EffectWhenSet);
    }
  }
}

}  // namespace
