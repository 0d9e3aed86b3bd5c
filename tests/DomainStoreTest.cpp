// The domain table: domains.cfg and its legacy places, damaged counts, FindDomain, bindings.
#include "serverconfig/DomainTable.h"
#include "tests/ServerSettingsTestFixture.h"

namespace {

class DomainStoreTest : public StoreTest {
 protected:
  // settings.cfg with a domain count and whatever else the row needs.
  void WriteSettings(std::int64_t count, std::uint8_t converted = 1, std::string plain = PlainRecord()) {
    PutI32(plain, 7020, count);
    plain[7001] = static_cast<char>(converted);
    WriteSettingsFile(plain);
  }
  void Load() { ASSERT_TRUE(LoadServerSettings(false, true)); }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (int i = 0; i < DomainCount(); ++i) names.push_back(GetDomainName(i));
    return names;
  }
  using TNames = std::vector<std::string>;
};

TEST_F(DomainStoreTest, ReadsDomainsCfgUpToTheCountAndNoFurther) {
  Write(Config() + "domains.cfg", Entry96("A.example", 10, 0, 0, 1) + Entry96("b.example") + Entry96("c.example"));
  WriteSettings(2);
  Load();
  EXPECT_EQ(Names(), (TNames{"a.example", "b.example"}));  // lower-cased at load
  EXPECT_EQ(GetDomainAddress(0), "10.0.0.1");
  EXPECT_EQ(GetDomainName(2), "");

  // A shorter file leaves the remaining entries empty.
  WriteSettings(4);
  Load();
  EXPECT_EQ(Names(), (TNames{"a.example", "b.example", "c.example", ""}));
  EXPECT_FALSE(FindDomain(""));  // an empty entry names no domain
}

TEST_F(DomainStoreTest, WithoutDomainsCfgTakesTheLegacyPlaceUnscrambledWithPhase8) {
  std::string plain = PlainRecord();
  const std::string table = Entry96("legacy.example", 192, 0, 2, 1) + Entry96("second.example");
  plain.replace(20344, table.size(), table);
  WriteSettings(2, 1, plain);  // the whole file scrambled by position: 20344 has phase 8
  Load();
  EXPECT_EQ(Names(), (TNames{"legacy.example", "second.example"}));
  EXPECT_EQ(GetDomainAddress(0), "192.0.2.1");
}

TEST_F(DomainStoreTest, RebuildsTheTableFromTheOld128ByteNames) {
  std::string plain = PlainRecord();
  PutStr(plain, 7024, "First.example");
  PutStr(plain, 7024 + 128, "second.example");
  PutStr(plain, 7024 + 256, "third.example");
  WriteSettings(3, 0, plain);  // no domains.cfg, and nothing at 20344
  Load();
  // Not converted a second time as 32-byte entries.
  EXPECT_EQ(Names(), (TNames{"first.example", "second.example", "third.example"}));
  EXPECT_EQ(ServerSettings().Get(settings::kDomainTableConverted), 1);
}

TEST_F(DomainStoreTest, EmptyEntryZeroAndNoLegacyNamesEmptiesTheTable) {
  Write(Config() + "domains.cfg", Entry96("") + Entry96("x.example"));
  WriteSettings(2);
  Load();
  EXPECT_EQ(DomainCount(), 0);
}

TEST_F(DomainStoreTest, Converts32ByteEntriesZeroingEachEntryFirst) {
  std::string old(3 * 32, '\0');
  for (int n = 0; n < 3; ++n) {
    PutStr(old, n * 32, std::string("d") + std::to_string(n) + ".example");
    std::fill(old.begin() + n * 32 + 12, old.begin() + n * 32 + 32, '\xEE');  // leftovers
  }
  Write(Config() + "domains.cfg", old + std::string(200, '\xEE'));
  WriteSettings(3, 0);
  Load();
  EXPECT_EQ(Names(), (TNames{"d0.example", "d1.example", "d2.example"}));
  for (int n = 0; n < 3; ++n) EXPECT_EQ(GetDomainAddress(n), "") << n;
  EXPECT_EQ(ServerSettings().Get(settings::kDomainTableConverted), 1);
}

TEST_F(DomainStoreTest, DamagedCountsKeepTheEntriesAndBlockTheSave) {
  const std::string table = Entry96("a.example") + Entry96("b.example");
  Write(Config() + "domains.cfg", table);
  for (std::int64_t count : {-1LL, -2147483647LL - 1, 2147483647LL, 5000LL}) {
    SCOPED_TRACE(count);
    WriteSettings(count);
    // Saving an empty (or shortened) table over the customer's domains would lose them.
    EXPECT_FALSE(LoadServerSettings(false, true));
    EXPECT_EQ(Names(), (TNames{"a.example", "b.example"}));
    EXPECT_EQ(UnreadableStoreFile(), Config() + "domains.cfg");
    EXPECT_FALSE(SaveServerSettings());
    EXPECT_EQ(ReadWholeFile(Config() + "domains.cfg", false), table);
  }
  // Up to the legacy table's 100 entries a count beyond the file is still believed.
  WriteSettings(100);
  Load();
  EXPECT_EQ(DomainCount(), 100);
  EXPECT_EQ(UnreadableStoreFile(), "");
}

TEST_F(DomainStoreTest, AddDomainGrowsLowerCasesAndHoldsNamesTo91Characters) {
  EXPECT_TRUE(AddDomain("One.Example"));
  EXPECT_TRUE(AddDomain("", 5));   // allocation only
  EXPECT_TRUE(AddDomain("", 3));   // below the allocation: sized to count + 3, never beyond
  EXPECT_EQ(DomainCount(), 1);
  const std::string longName(120, 'x');
  EXPECT_TRUE(AddDomain(longName));
  SetDomainAddress(1, "192.0.2.200");
  EXPECT_EQ(GetDomainName(1), std::string(91, 'x'));
  EXPECT_EQ(GetDomainAddress(1), "192.0.2.200");
  for (int i = 0; i < 10; ++i) AddDomain(std::string("d") + std::to_string(i) + ".example");
  EXPECT_EQ(DomainCount(), 12);
  EXPECT_EQ(GetDomainName(11), "d9.example");
  EXPECT_EQ(GetDomainName(0), "one.example");
  SetDomainName(0, "Kept.Case");
  EXPECT_EQ(GetDomainName(0), "Kept.Case");
}

TEST_F(DomainStoreTest, DomainAddressesAsText) {
  AddDomain("a.example");
  const std::pair<const char*, const char*> rows[] = {
      {"192.0.2.1", "192.0.2.1"}, {"", ""}, {"0.0.0.0", ""}, {"255.255.255.255", "255.255.255.255"},
      {"256.1.1.1", ""}, {"1.2.3", ""}, {" 10.0.0.1 ", "10.0.0.1"}};
  for (const auto& [text, expected] : rows) {
    SetDomainAddress(0, text);
    EXPECT_EQ(GetDomainAddress(0), expected) << text;
  }
  EXPECT_EQ(GetDomainAddress(5), "");
}

TEST_F(DomainStoreTest, BindingsCombineTheAddressAndTheDomainsBindFile) {
  AddDomain("a.example");
  ForceDirectories(Config() + "a.example\\");
  Write(Config() + "a.example\\bind.dat", "  192.0.2.5;192.0.2.6 \r\nignored\r\n");
  SetDomainAddress(0, "");
  EXPECT_EQ(GetDomainBindings(0), "");  // 0.0.0.0 ignores bind.dat
  SetDomainAddress(0, "255.255.255.255");
  EXPECT_EQ(GetDomainBindings(0), "192.0.2.5;192.0.2.6");
  SetDomainAddress(0, "192.0.2.1");
  EXPECT_EQ(GetDomainBindings(0), "192.0.2.1;192.0.2.5;192.0.2.6");

  SetDomainBindings(0, " 192.0.2.9 ", false);
  EXPECT_EQ(Read(Config() + "a.example\\bind.dat"), "192.0.2.9\r\n");
  EXPECT_EQ(GetDomainAddress(0), "255.255.255.255");
  SetDomainBindings(0, "192.0.2.10", true);  // keep the file
  EXPECT_EQ(Read(Config() + "a.example\\bind.dat"), "192.0.2.9\r\n");
  SetDomainBindings(0, "", false);
  EXPECT_FALSE(FileExists(Config() + "a.example\\bind.dat"));
  EXPECT_EQ(GetDomainAddress(0), "");

  // No domain folder: the table changes, no folder is made.
  AddDomain("nofolder.example");
  SetDomainBindings(1, "192.0.2.11", false);
  EXPECT_EQ(GetDomainAddress(1), "255.255.255.255");
  EXPECT_FALSE(DirectoryExists(Config() + "nofolder.example"));
}

TEST_F(DomainStoreTest, MakeDomainPrimarySwapsNamesAndEachKeepsItsBindings) {
  for (const char* name : {"old.example", "other.example", "new.example"}) {
    AddDomain(name);
    ForceDirectories(Config() + name + "\\");
  }
  SetDomainBindings(0, "192.0.2.1", false);
  SetDomainBindings(2, "192.0.2.3;192.0.2.4", false);
  ASSERT_TRUE(MakeDomainPrimary(2));
  EXPECT_EQ(Names(), (TNames{"new.example", "other.example", "old.example"}));
  EXPECT_EQ(GetDomainBindings(0), "192.0.2.3;192.0.2.4");
  EXPECT_EQ(GetDomainBindings(2), "192.0.2.1");
  EXPECT_EQ(Read(Config() + "new.example\\bind.dat"), "192.0.2.3;192.0.2.4\r\n");
  EXPECT_EQ(Read(Config() + "old.example\\bind.dat"), "192.0.2.1\r\n");
  EXPECT_FALSE(MakeDomainPrimary(3));
}

TEST_F(DomainStoreTest, FindDomainByNameAddressAndInternationalName) {
  AddDomain("example.com");
  AddDomain("m\xFCnchen.de");  // the ANSI form
  struct TRow { const char* Name; bool Idn; int Index; };
  const TRow rows[] = {
      {"Example.COM", false, 0},
      {"postmaster@example.com", false, 0},
      {"a@b@example.com", false, 0},
      {"example.org", false, -1},
      {"xn--mnchen-3ya.de", false, -1},
      {"xn--mnchen-3ya.de", true, 1},
      {"XN--MNCHEN-3YA.DE", true, 1},
      {"xn--broken-.de", true, -1},
  };
  for (const TRow& row : rows) {
    SCOPED_TRACE(row.Name);
    ServerSettings().Set(settings::kIdnOption, row.Idn ? 1 : 0);
    int index = -2;
    EXPECT_EQ(FindDomain(row.Name, &index), row.Index >= 0);
    EXPECT_EQ(index, row.Index);
  }
}

TEST_F(DomainStoreTest, FindDomainTakesAddressLiteralsWithTheOption) {
  AddDomain("primary.example");
  AddDomain("bound.example");
  ForceDirectories(Config() + "bound.example\\");
  SetDomainBindings(1, "203.0.113.5;203.0.113.6", false);
  seam_.Adapters = {"192.0.2.10"};

  EXPECT_FALSE(FindDomain("[192.0.2.10]"));  // option off
  ServerSettings().Set(settings::kAddressLiteralOption, 1);
  int index = -1;
  EXPECT_TRUE(FindDomain("[192.0.2.10]", &index));
  EXPECT_EQ(index, 0);  // the machine's own address, primary without bindings
  EXPECT_TRUE(FindDomain("user@[203.0.113.6]", &index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(FindDomain("[198.51.100.1]"));

  // Once the primary domain has bindings, the machine's addresses no longer name it.
  ForceDirectories(Config() + "primary.example\\");
  SetDomainBindings(0, "198.51.100.7", false);
  EXPECT_FALSE(FindDomain("[192.0.2.10]"));
  EXPECT_TRUE(FindDomain("[198.51.100.7]", &index));
  EXPECT_EQ(index, 0);
}

TEST_F(DomainStoreTest, SubdomainsMapWildcardsAndStopAtCycles) {
  Write(Config() + "subdomains.dat",
        "# mappings\n"
        "*.Example.com = example.com\n"
        "mail?.example.net=example.com\n"
        "alias.example=example.net   // chain\n"
        "example.net=example.com\n"
        "self.example=self.example\n"
        "ping.example=pong.example\n"
        "pong.example=ping.example\n"
        "no equals sign here\n");
  WriteSettings(0);
  Load();
  AddDomain("example.com");
  struct TRow { const char* Name; bool Found; };
  const TRow rows[] = {
      {"www.example.com", true},  {"a.b.example.com", true}, {"mail1.example.net", true},
      {"mail12.example.net", false}, {"alias.example", true}, {"self.example", false},
      {"ping.example", false},     {"unknown.example", false},
  };
  for (const TRow& row : rows) EXPECT_EQ(FindDomain(row.Name), row.Found) << row.Name;

  // Without the file at load time it is not consulted.
  DeleteFileAt(Config() + "subdomains.dat");
  Load();
  AddDomain("example.com");
  Write(Config() + "subdomains.dat", "*.example.com=example.com\n");
  EXPECT_FALSE(FindDomain("www.example.com"));
}

}  // namespace
