// settings.cfg: scrambling, the compiled-in image, load-time defaults, normalisation, saving.
#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#endif

#include <cstdlib>

#include "serverconfig/DomainTable.h"
#include "serverconfig/NetworkHandoff.h"
#include "serverconfig/ScrambleUnit.h"
#include "tests/ServerSettingsTestFixture.h"

namespace {

std::uint8_t At(const TServerSettings& s, std::size_t offset) { return s.Bytes[offset]; }
unsigned U16(const TServerSettings& s, std::size_t offset) {
  return s.Bytes[offset] | (s.Bytes[offset + 1] << 8);
}
std::int32_t I32(const TServerSettings& s, std::size_t offset) {
  return static_cast<std::int32_t>(ReadU32Le(s.data() + offset));
}
std::string Str(const TServerSettings& s, std::size_t offset) {
  return std::string(reinterpret_cast<const char*>(s.data() + offset + 1), s.Bytes[offset]);
}

enum TKind { kByte, kU16, kI32, kStr };
struct TExpected {
  std::size_t Offset;
  TKind Kind;
  std::int64_t Number;
  const char* Text = "";
};

void ExpectFields(const TServerSettings& s, const std::vector<TExpected>& rows) {
  for (const TExpected& row : rows) {
    SCOPED_TRACE("offset " + std::to_string(row.Offset));
    switch (row.Kind) {
      case kByte: EXPECT_EQ(At(s, row.Offset), row.Number); break;
      case kU16: EXPECT_EQ(U16(s, row.Offset), row.Number); break;
      case kI32: EXPECT_EQ(I32(s, row.Offset), row.Number); break;
      case kStr: EXPECT_EQ(Str(s, row.Offset), row.Text); break;
    }
  }
}

}  // namespace

TEST(ScrambleBlockTest, XorsWithTheKeyAtTheFilePhase) {
  std::uint8_t zeros[20] = {};
  ScrambleBlock(zeros, sizeof zeros, 0);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(zeros[i], kTestKey[i % 16]) << i;

  std::uint8_t block[4] = {};
  ScrambleBlock(block, 4, 20344 % 16);  // the legacy domain table's phase
  EXPECT_EQ(block[0], 0xA7);
  EXPECT_EQ(block[3], 0x5D);

  std::uint8_t text[5] = {'H', 'e', 'l', 'l', 'o'};
  ScrambleBlock(text, 5, 30);  // phase past 16 wraps: key[14], key[15], key[0] ...
  EXPECT_EQ(text[0], 'H' ^ 0x76);
  EXPECT_EQ(text[2], 'l' ^ 0x3C);
  ScrambleBlock(text, 5, 30);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text), 5), "Hello");
}

TEST(ScrambleBlockTest, ReadKeepsTheTailOfAShorterFile) {
  std::uint8_t buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  ScrambleReadInto(buffer, 8, 0, ScrambleAt("abc", 0));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), "abc");
  EXPECT_EQ(buffer[3], 4);
  EXPECT_EQ(buffer[7], 8);
}

TEST(CompiledInSettingsTest, HoldsTheImageAtItsOffsets) {
  const TServerSettings& s = CompiledInServerSettings();
  ExpectFields(s, {{160, kU16, 5229}, {167, kU16, 5269}, {196, kByte, 1},
                   {228, kU16, 5222}, {230, kU16, 5223}, {237, kByte, 1}, {238, kByte, 1},
                   {242, kU16, 300}, {246, kByte, 1}, {247, kByte, 1}, {248, kU16, 636},
                   {250, kU16, 389}, {252, kU16, 366}, {254, kByte, 1},
                   {256, kStr, 0, "temp\\"}, {512, kStr, 0, "mail\\"}, {768, kStr, 0, "logs\\"},
                   {1024, kU16, 110}, {1026, kU16, 995}, {1028, kU16, 25}, {1030, kU16, 993},
                   {1032, kU16, 60}, {1036, kU16, 32000}, {1038, kU16, 143}, {1040, kU16, 32001},
                   {1047, kByte, 1}, {1432, kByte, 1}, {1448, kByte, 7}, {1458, kU16, 32768},
                   {1461, kU16, 465}, {1464, kByte, 1}, {1472, kByte, 1}, {1476, kByte, 5},
                   {1477, kStr, 0, "MAILER-DAEMON"}, {1509, kStr, 0, "Mail Delivery Subsystem"},
                   {1542, kByte, 1}, {1544, kI32, 8}, {1548, kI32, 1}, {1552, kI32, 256},
                   {1556, kI32, 40}, {1560, kI32, 40}, {1564, kU16, 40}, {1566, kU16, 5000},
                   {2869, kByte, 3}, {3633, kByte, 1}, {3634, kByte, 1}, {3635, kByte, 2},
                   {4576, kByte, 1},
                   {4577, kStr, 0, "127.0.0.1;192.168.*.*;10.*.*.*;172.16-31.*.*"},
                   {6888, kByte, 1}, {6890, kByte, 1}, {7001, kByte, 1}, {7004, kU16, 301},
                   {7008, kByte, 20}, {7012, kI32, 8}, {7016, kI32, 4}, {21384, kU16, 21},
                   {21386, kU16, 990}});
  EXPECT_FALSE(Str(s, 0).empty());
  // Nothing else is set in the parts the setup names.
  EXPECT_EQ(I32(s, 7020), 0);
  EXPECT_EQ(At(s, 22203), 0);
}

class ServerSettingsTest : public StoreTest {};

TEST_F(ServerSettingsTest, LoadsAScrambledRecordWhosePlainBytesAreKnown) {
  std::string plain = PlainRecord();
  PutStr(plain, 0, "mx.example.org");
  PutU16(plain, 1028, 2525);
  PutStr(plain, 512, "D:\\Mail");
  PutStr(plain, 21428, "advanced.xml");
  PutI32(plain, 2878, 1000);
  plain[22203] = 0x42;
  WriteSettingsFile(plain);

  ASSERT_TRUE(LoadServerSettings(false, true));
  const TServerSettings& s = ServerSettings();
  EXPECT_EQ(s.Get(settings::kHostName), "mx.example.org");
  EXPECT_EQ(s.Get(settings::kSmtpPort), 2525);
  EXPECT_EQ(s.Get(settings::kMailFolder), "D:\\Mail\\");
  EXPECT_EQ(s.Get(settings::kConsoleLayout), "advanced.xml");
  EXPECT_EQ(s.Get(settings::kSizeLimit), 1000);
  EXPECT_EQ(At(s, 22203), 0x42);
}

TEST_F(ServerSettingsTest, AnOlderShorterFileKeepsTheInMemoryTail) {
  std::string plain = PlainRecord(20000);
  PutStr(plain, 0, "old.example.org");
  plain[19999] = 0x11;
  WriteSettingsFile(plain);
  ServerSettings().Bytes[20500] = 0x5A;
  ServerSettings().Bytes[22203] = 0x77;

  ASSERT_TRUE(LoadServerSettings(false, true));
  const TServerSettings& s = ServerSettings();
  EXPECT_EQ(s.Get(settings::kHostName), "old.example.org");
  EXPECT_EQ(At(s, 19999), 0x11);
  EXPECT_EQ(At(s, 20500), 0x5A);
  EXPECT_EQ(At(s, 22203), 0x77);
  EXPECT_EQ(U16(s, 21386), 990);  // compiled-in image
}

TEST_F(ServerSettingsTest, AppliesEveryLoadTimeDefaultToAZeroRecord) {
  std::string plain = PlainRecord();
  PutStr(plain, 3385, std::string(250, 'f'));
  PutI32(plain, 2878, 5242881);
  plain[1444] = 1;
  plain[1464] = 1;
  plain[22122] = 7;
  WriteSettingsFile(plain);
  seam_.Dns = {"192.0.2.1", "192.0.2.2"};

  ASSERT_TRUE(LoadServerSettings(false, true));
  const TServerSettings& s = ServerSettings();
  ExpectFields(s, {{160, kU16, 5229}, {167, kU16, 5269}, {222, kI32, 40}, {228, kU16, 5222},
                   {230, kU16, 5223}, {233, kI32, 10}, {242, kU16, 300}, {248, kU16, 636},
                   {250, kU16, 389}, {252, kU16, 366}, {1024, kU16, 110}, {1026, kU16, 995},
                   {1028, kU16, 25}, {1030, kU16, 993}, {1036, kU16, 0}, {1038, kU16, 143},
                   {1040, kU16, 32001}, {1304, kStr, 0, "192.0.2.1;192.0.2.2"},
                   {1444, kByte, 0}, {1458, kU16, 32768}, {1461, kU16, 465},
                   {1476, kByte, 5}, {1477, kStr, 0, "MAILER-DAEMON"},
                   {1509, kStr, 0, "Mail Delivery Subsystem"}, {1544, kI32, 8},
                   {1548, kI32, 1}, {1552, kI32, 256}, {1556, kI32, 40}, {1560, kI32, 40},
                   {1564, kU16, 40}, {1566, kU16, 5}, {2878, kI32, 0}, {7008, kByte, 20},
                   {7012, kI32, 8}, {7016, kI32, 4}, {21372, kI32, 40}, {21384, kU16, 21},
                   {21386, kU16, 990}, {21396, kI32, 256}, {21424, kI32, 256},
                   {21752, kI32, 40}, {22121, kByte, 92}, {22122, kByte, 0},
                   {22124, kI32, 40}, {22128, kI32, 1}, {22136, kI32, 3}, {22142, kI32, 128}});
  EXPECT_EQ(s.Get(settings::kTempFolder), Root() + "temp\\");
  EXPECT_EQ(s.Get(settings::kMailFolder), Root() + "mail\\");
  EXPECT_EQ(s.Get(settings::kLogsFolder), Root() + "logs\\");
  EXPECT_EQ(s.Get(settings::kFolder3385), std::string(239, 'f') + "\\");
  EXPECT_EQ(NetworkHandoff().TimeoutMs, 300000);
  EXPECT_EQ(NetworkHandoff().Resolver.DnsServers, (std::vector<std::string>{"192.0.2.1", "192.0.2.2"}));
  EXPECT_EQ(NetworkHandoff().Resolver.Setting1476, 5);
  EXPECT_EQ(NetworkHandoff().Resolver.Setting22136, 3);
}

TEST_F(ServerSettingsTest, HandsTheLoadedValuesToTheNetworkClients) {
  std::string plain = PlainRecord();
  PutU16(plain, 242, 60);
  PutI32(plain, 22142, 64);
  plain[156] = 2;
  plain[1476] = 9;
  PutI32(plain, 22136, 7);
  PutStr(plain, 1304, "10.0.0.1, 10.0.0.2");
  WriteSettingsFile(plain);
  ASSERT_TRUE(LoadServerSettings(false, true));
  const TNetworkHandoff& handoff = NetworkHandoff();
  EXPECT_EQ(handoff.TimeoutMs, 60000);
  EXPECT_EQ(handoff.HandedLimit, 64);
  EXPECT_EQ(handoff.IPv6Mode, 2);
  EXPECT_EQ(handoff.Resolver.DnsServers, (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
  EXPECT_EQ(handoff.Resolver.Setting1476, 9);
  EXPECT_EQ(handoff.Resolver.Setting22136, 7);
}

TEST_F(ServerSettingsTest, NormalisesTheListTexts) {
  struct TRow { std::size_t Offset; const char* Stored; const char* Loaded; };
  const TRow rows[] = {
      {0, "  mail.example.org ", "mail.example.org"},
      {1048, "1.2.3.4, 5.6.7.8", "1.2.3.4;5.6.7.8"},
      {1176, "web1 web2", "web1web2"},  // spaces go, they never separate
      {1304, "a;b", "a;b"},
      {2356, "DSN=x, UID=y", "DSN=x;UID=y"},
      {3641, ",x,", ";x;"},
      {4577, "127.0.0.1;10.*.*.*", "127.0.0.1;10.*.*.*"},
  };
  std::string plain = PlainRecord();
  for (const TRow& row : rows) PutStr(plain, row.Offset, row.Stored);
  WriteSettingsFile(plain);
  ASSERT_TRUE(LoadServerSettings(false, true));
  for (const TRow& row : rows) EXPECT_EQ(Str(ServerSettings(), row.Offset), row.Loaded) << row.Offset;
}

TEST_F(ServerSettingsTest, PathConfigOverridesServerListAndHostNameAfterTheLoad) {
  Write(Root() + "path.cfg", "\n\n\n\n\n\n\n\n\nweb.example.org | 192.0.2.7\nhost.example.org\n");
  InitServerFoldersAt(Root());
  std::string plain = PlainRecord();
  PutStr(plain, 0, "stored.example.org");
  PutStr(plain, 1176, "stored-web");
  WriteSettingsFile(plain);
  ASSERT_TRUE(LoadServerSettings(false, true));
  EXPECT_EQ(ServerSettings().Get(settings::kHostName), "host.example.org");
  EXPECT_EQ(ServerSettings().Get(settings::kServerList), "web.example.org");
  EXPECT_EQ(OutgoingBindAddress(), "192.0.2.7");
}

TEST_F(ServerSettingsTest, MissingSettingsKeepTheRecordAndAnswerByTheFlag) {
  ServerSettings().Set(settings::kSmtpPort, 2626);
  EXPECT_TRUE(LoadServerSettings(false, true));
  EXPECT_FALSE(LoadServerSettings(true, true));
  EXPECT_EQ(ServerSettings().Get(settings::kSmtpPort), 2626);
  EXPECT_EQ(ServerSettings().Get(settings::kTempFolder), "temp\\");
  EXPECT_EQ(ForwardFolder(), MailFolder() + "forward\\");
  EXPECT_EQ(ForwardRetryFolder(), MailFolder() + "forward\\retry\\");
}

TEST_F(ServerSettingsTest, UnreadableSettingsOrTableFailTheLoadAndBlockTheSave) {
  // A folder in place of the file exists but cannot be read, on every platform.
  for (const char* name : {"settings.cfg", "domains.cfg"}) {
    SCOPED_TRACE(name);
    ResetServerStore();
    InitServerFoldersAt(Root());
    RemoveFolderTree(Config());
    ForceDirectories(Config());
    std::string plain = PlainRecord();
    PutI32(plain, 7020, 3);
    if (std::string(name) == "domains.cfg") WriteSettingsFile(plain);
    ForceDirectories(Config() + name + "\\");
    ServerSettings().Set(settings::kDomainCount, 2);
    AddDomain("a.example");
    EXPECT_FALSE(LoadServerSettings(false, true));
    EXPECT_EQ(DomainCount(), 0);
    EXPECT_EQ(ServerSettings().Get(settings::kDomainCount), 0);
    EXPECT_TRUE(AddDomain("b.example"));
    EXPECT_EQ(GetDomainName(0), "b.example");
    EXPECT_FALSE(SaveServerSettings());
    EXPECT_TRUE(DirectoryExists(Config() + name));
  }
}

TEST_F(ServerSettingsTest, SaveWritesTheScrambledRecordAndThePlainTable) {
  ServerSettings().Set(settings::kHostName, "save.example.org");
  AddDomain("one.example");
  AddDomain("two.example");
  SetDomainAddress(1, "192.0.2.9");
  ASSERT_TRUE(SaveServerSettings());

  const std::string settingsFile = Read(Config() + "settings.cfg");
  ASSERT_EQ(settingsFile.size(), 22204u);
  const std::string plain = ScrambleAt(settingsFile, 0);
  EXPECT_EQ(plain.compare(0, 17, "\x10save.example.org"), 0);
  EXPECT_EQ(plain[7001], 1);
  EXPECT_EQ(plain.substr(7020, 4), std::string("\x02\0\0\0", 4));
  // The caller's record is plain again afterwards.
  EXPECT_EQ(ServerSettings().Get(settings::kHostName), "save.example.org");

  EXPECT_EQ(Read(Config() + "domains.cfg"),
            Entry96("one.example") + Entry96("two.example", 192, 0, 2, 9));
  EXPECT_FALSE(FileExists(Config() + "settings.cfg.new"));
}

TEST_F(ServerSettingsTest, RoundTripKeepsEveryByte) {
  std::string plain = PlainRecord();
  for (std::size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<char>((i * 7 + 3) & 0xFF);
  // Keep the texts, counts and the fields the load rewrites within what it leaves unchanged.
  PutStr(plain, 0, "rt.example.org");
  for (std::size_t offset : {1048u, 1176u, 1304u, 2356u, 3641u, 4577u, 3385u}) PutStr(plain, offset, "");
  PutStr(plain, 256, "C:\\T\\");
  PutStr(plain, 512, "C:\\M\\");
  PutStr(plain, 768, "C:\\L\\");
  PutStr(plain, 1304, "192.0.2.1");
  PutI32(plain, 2878, 10);
  PutI32(plain, 7020, 2);
  plain[7001] = 1;
  plain[1444] = 0;
  plain[22121] = 92;
  plain[22122] = 0;
  WriteSettingsFile(plain);
  Write(Config() + "domains.cfg", Entry96("a.example", 1, 2, 3, 4) + Entry96("b.example"));

  ASSERT_TRUE(LoadServerSettings(false, true));
  const TServerSettings first = ServerSettings();
  ASSERT_TRUE(SaveServerSettings());
  ResetServerStore();
  InitServerFoldersAt(Root());
  ASSERT_TRUE(LoadServerSettings(false, true));
  EXPECT_TRUE(ServerSettings().Bytes == first.Bytes);
  EXPECT_EQ(ScrambleAt(Read(Config() + "settings.cfg"), 0), std::string(first.Bytes.begin(), first.Bytes.end()));
  ASSERT_EQ(DomainCount(), 2);
  EXPECT_EQ(GetDomainName(0), "a.example");
  EXPECT_EQ(GetDomainAddress(0), "1.2.3.4");
  EXPECT_EQ(GetDomainName(1), "b.example");
}

TEST_F(ServerSettingsTest, AFailedReplaceLeavesTheOldFileAndAnswersFalse) {
  Write(Config() + "settings.cfg", "old settings");
  Write(Config() + "domains.cfg", "old domains");
  seam_.FailReplace = true;
  EXPECT_FALSE(SaveServerSettings());
  EXPECT_EQ(Read(Config() + "settings.cfg"), "old settings");
  EXPECT_EQ(Read(Config() + "domains.cfg"), "old domains");
  EXPECT_FALSE(FileExists(Config() + "settings.cfg.new"));
  EXPECT_FALSE(FileExists(Config() + "domains.cfg.new"));
}

#ifdef _WIN32
TEST_F(ServerSettingsTest, ReplaceKeepsAttributesAndFailsWhileAServerHoldsTheFile) {
  const std::string path = Config() + "settings.cfg";
  Write(path, "old settings");
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));
  ASSERT_TRUE(SaveServerSettings());
  EXPECT_EQ(Read(path).size(), 22204u);
  EXPECT_TRUE(GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_HIDDEN);

  // A running server holds the file open without allowing it to be deleted or renamed.
  const std::string before = Read(path);
  HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ServerSettings().Set(settings::kHostName, "changed.example.org");
  EXPECT_FALSE(SaveServerSettings());
  CloseHandle(held);
  EXPECT_EQ(Read(path), before);
}

TEST_F(ServerSettingsTest, ASettingsFileLockedByAnotherProgramFailsTheLoad) {
  std::string plain = PlainRecord();
  PutI32(plain, 7020, 1);
  WriteSettingsFile(plain);
  Write(Config() + "domains.cfg", Entry96("a.example"));
  const std::string path = Config() + "settings.cfg";
  HANDLE held = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(LoadServerSettings(false, true));
  EXPECT_EQ(DomainCount(), 0);
  EXPECT_FALSE(SaveServerSettings());
  CloseHandle(held);
  EXPECT_TRUE(LoadServerSettings(false, true));
  EXPECT_EQ(GetDomainName(0), "a.example");
  EXPECT_TRUE(SaveServerSettings());
}
#else
TEST_F(ServerSettingsTest, ReplaceKeepsThePermissionsOfTheOldFile) {
  const std::string path = Config() + "settings.cfg";
  Write(path, "old settings");
  ASSERT_EQ(chmod(HostPath(path).c_str(), 0640), 0);
  ASSERT_TRUE(SaveServerSettings());
  struct stat info {};
  ASSERT_EQ(stat(HostPath(path).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(Read(path).size(), 22204u);
}
#endif

// A save whose new copy cannot be written in full, as on a disk that fills up: it answers
// false, the old files stay as they were and no copy is left behind. The first row cuts
// settings.cfg; the second lets settings.cfg through and cuts domains.cfg, so a save that
// moved the first copy over its file before the second was written would be caught too.
class SaveCutShortTest : public StoreTest {
 protected:
  struct TRow {
    const char* What;
    int Domains;
    std::uint64_t Room;  // bytes the save may still write
  };
  static constexpr TRow kRows[] = {{"settings.cfg cut", 2, 8192}, {"domains.cfg cut", 300, 28672}};

  // Saves with only `room` bytes left to write; false also when the limit could not be set.
  bool SaveWithRoom(std::uint64_t room);

  void ExpectCutSavesReplaceNothing() {
    for (const TRow& row : kRows) {
      SCOPED_TRACE(row.What);
      ResetServerStore();
      InitServerFoldersAt(Root());
      SetConfigFolder(config_);
      RemoveFolderTree(config_);
      ForceDirectories(config_);
      Write(config_ + "settings.cfg", "old settings");
      Write(config_ + "domains.cfg", "old domains");
      for (int i = 0; i < row.Domains; ++i) AddDomain("d" + std::to_string(i) + ".example");

      EXPECT_FALSE(SaveWithRoom(row.Room));
      EXPECT_TRUE(Read(config_ + "settings.cfg") == "old settings") << "settings.cfg replaced";
      EXPECT_TRUE(Read(config_ + "domains.cfg") == "old domains") << "domains.cfg replaced";
      EXPECT_FALSE(FileExists(config_ + "settings.cfg.new"));
      EXPECT_FALSE(FileExists(config_ + "domains.cfg.new"));

      // With room again the same save goes through.
      ASSERT_TRUE(SaveServerSettings());
      EXPECT_EQ(Read(config_ + "settings.cfg").size(), 22204u);
      EXPECT_EQ(Read(config_ + "domains.cfg").size(), row.Domains * 96u);
    }
    RemoveFolderTree(config_);
  }

  std::string config_ = Root() + "config\\";
};

#ifdef _WIN32
// Under Wine a full disk is a tiny file system of its own: the test registration mounts one
// and names it in ZAREL_SMALL_DRIVE; it is filled up to the room the row leaves.
bool SaveCutShortTest::SaveWithRoom(std::uint64_t room) {
  const std::string drive = std::getenv("ZAREL_SMALL_DRIVE");
  ULARGE_INTEGER free{};
  if (!GetDiskFreeSpaceExA(drive.c_str(), &free, nullptr, nullptr) || free.QuadPart < room) {
    ADD_FAILURE() << "no room to leave on " << drive;
    return false;
  }
  const std::string filler = drive + "filler.bin";
  HANDLE file = CreateFileA(filler.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  // Written, not just sized: a file extended by seeking takes no room on this file system.
  static const std::string chunk(65536, 'f');
  for (std::uint64_t left = free.QuadPart - room; left > 0;) {
    const DWORD size = static_cast<DWORD>(std::min<std::uint64_t>(left, chunk.size()));
    DWORD written = 0;
    if (!WriteFile(file, chunk.data(), size, &written, nullptr) || written != size) {
      ADD_FAILURE() << "filling " << drive << " stopped with " << left << " bytes to go";
      break;
    }
    left -= written;
  }
  CloseHandle(file);
  const bool saved = SaveServerSettings();
  DeleteFileA(filler.c_str());
  return saved;
}

TEST_F(SaveCutShortTest, AFullDriveReplacesNothing) {
  const char* drive = std::getenv("ZAREL_SMALL_DRIVE");
  if (drive == nullptr || *drive == '\0') GTEST_SKIP() << "no small drive (mounting one needs root)";
  config_ = std::string(drive) + "config\\";
  ExpectCutSavesReplaceNothing();
}
#else
// On the host the file-size limit cuts every write past it, as a full disk would; SIGXFSZ is
// ignored so that the write fails instead of ending the process.
bool SaveCutShortTest::SaveWithRoom(std::uint64_t room) {
  rlimit before{};
  if (getrlimit(RLIMIT_FSIZE, &before) != 0) return false;
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit limited = before;
  limited.rlim_cur = room;
  const bool limitSet = setrlimit(RLIMIT_FSIZE, &limited) == 0;
  const bool saved = limitSet && SaveServerSettings();
  setrlimit(RLIMIT_FSIZE, &before);
  signal(SIGXFSZ, oldHandler);
  EXPECT_TRUE(limitSet);
  return saved;
}

TEST_F(SaveCutShortTest, AWriteCutByTheFileSizeLimitReplacesNothing) {
  ExpectCutSavesReplaceNothing();
}
#endif
