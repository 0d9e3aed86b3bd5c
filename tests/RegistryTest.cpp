// Registry component, settings migration and COM self-registration, against the real
// registry of the Wine prefix. HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER are redirected to
// scratch keys of each test, so nothing a test writes reaches the prefix's own keys.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "base/FileSystemUnit.h"
#include "engine/ComponentFlags.h"
#include "system/AdvancedRegistry.h"
#include "system/ComRegistration.h"
#include "system/ConvertRegistryUnit.h"
#include "tests/TestFolder.h"

namespace {

const char kSuiteKey[] = "Software\\Quenfor\\Zarel Mail Server";
const char kWebMailKey[] = "Software\\Quenfor\\Quenfor Web Mail";
const char kOldSuiteKey[] = "Software\\Zarel";
const char kOldWebMailKey[] = "Software\\QWEBMAIL";

struct RawValue {
  DWORD type;
  std::string data;
  bool operator==(const RawValue&) const = default;
};

void PrintTo(const RawValue& value, std::ostream* out) {
  *out << "type " << value.type << ", " << value.data.size() << " bytes \"" << value.data.substr(0, 40) << "\"";
}

// A string value as stored, terminator included.
std::string Sz(const std::string& text) { return text + '\0'; }
std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

void SetRaw(HKEY root, const std::string& path, const std::string& name, DWORD type,
            const std::string& data) {
  TRegistryKeyHandle key;
  ASSERT_EQ(CreateRegistryKey(root, path, key), ERROR_SUCCESS) << path;
  ASSERT_EQ(RegSetValueExA(key.Get(), name.c_str(), 0, type,
                           reinterpret_cast<const BYTE*>(data.data()),
                           static_cast<DWORD>(data.size())),
            ERROR_SUCCESS)
      << path << " " << name;
}

std::optional<RawValue> GetRaw(HKEY root, const std::string& path, const std::string& name) {
  TRegistryKeyHandle key;
  if (OpenRegistryKey(root, path, KEY_READ, key) != ERROR_SUCCESS) return std::nullopt;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return std::nullopt;
  std::string data(size, '\0');
  RegQueryValueExA(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                   &size);
  data.resize(size);
  return RawValue{type, data};
}

bool KeyExists(HKEY root, const std::string& path) {
  TRegistryKeyHandle key;
  return OpenRegistryKey(root, path, KEY_READ, key) == ERROR_SUCCESS;
}

// Redirects both predefined keys to scratch keys below the real HKEY_CURRENT_USER and
// removes them afterwards.
class ScratchRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    scratch_ = std::string("Software\\ZarelRegistryTest\\") + info->name() + "-" +
               std::to_string(GetCurrentProcessId());
    ASSERT_EQ(CreateRegistryKey(HKEY_CURRENT_USER, scratch_ + "\\HKLM", machine_), ERROR_SUCCESS);
    ASSERT_EQ(CreateRegistryKey(HKEY_CURRENT_USER, scratch_ + "\\HKCU", user_), ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_.Get()), ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, user_.Get()), ERROR_SUCCESS);
    redirected_ = true;
  }
  void TearDown() override {
    if (redirected_) {
      RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
      RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    }
    machine_.Reset();
    user_.Reset();
    DeleteRegistryTree(HKEY_CURRENT_USER, scratch_);
    // Only when empty: another run may be using it.
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\ZarelRegistryTest");
  }

  // The suite's key as the wizard addresses it, counting OnError.
  TAdvancedRegistry SuiteRegistry() {
    TAdvancedRegistry registry(TRegistryKey::hkLOCAL_MACHINE, "\\Software\\Quenfor",
                               "Zarel Mail Server");
    registry.OnError = [this](TAdvancedRegistry&) { ++errors_; };
    return registry;
  }

  std::string scratch_;
  TRegistryKeyHandle machine_;
  TRegistryKeyHandle user_;
  bool redirected_ = false;
  int errors_ = 0;
};

using RegistryTest = ScratchRegistryTest;

TEST_F(RegistryTest, RedirectionReachesTheScratchKeys) {
  SetRaw(HKEY_LOCAL_MACHINE, "Software\\Probe", "v", REG_SZ, Sz("x"));
  EXPECT_TRUE(GetRaw(machine_.Get(), "Software\\Probe", "v").has_value());
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Microsoft"));
}

TEST_F(RegistryTest, FreshMachineReadsDefaultsAndCreatesNothing) {
  TAdvancedRegistry registry = SuiteRegistry();
  TSetupState flags;
  flags.NoInstallIM = flags.NoInstallCalendar = flags.NoInstallWebMail = flags.NoInstallAV =
      flags.NoInstallIAS = true;
  ReadNoInstallFlags(registry, flags);
  EXPECT_FALSE(flags.NoInstallIM || flags.NoInstallCalendar || flags.NoInstallWebMail ||
               flags.NoInstallAV || flags.NoInstallIAS);
  EXPECT_EQ(registry.ReadString("InstallDir"), "");
  EXPECT_EQ(registry.ReadString("Version"), "");
  // Every read met the missing key.
  EXPECT_EQ(errors_, 7);
  EXPECT_EQ(registry.LastError().code, ERROR_FILE_NOT_FOUND);

  EXPECT_TRUE(ConvertRegistry(false));
  EXPECT_TRUE(ConvertRegistry(true));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Quenfor"));
}

struct SeededValue {
  const char* key;
  const char* name;
  DWORD type;
  std::string data;
};

struct MigrationCase {
  const char* what;
  std::vector<SeededValue> before;
  std::vector<bool> runs;  // delete-old flag of each call, in order
  std::vector<SeededValue> after;
  std::vector<std::pair<const char*, const char*>> absent;  // value name null: the whole key
};

std::vector<SeededValue> OlderSuite(std::string settings) {
  return {{kOldSuiteKey, "InstallDir", REG_SZ, Sz("C:\\Zarel\\")},
          {kOldSuiteKey, "Version", REG_SZ, Sz("7.7.2")},
          {kOldSuiteKey, "DNSQuery", REG_BINARY, "dns"},
          {kOldSuiteKey, "Settings", REG_BINARY, settings},
          {kOldSuiteKey, "SMTPTest", REG_BINARY, "smtp"},
          {kOldSuiteKey, "ZARELNotify", REG_BINARY, "notify"}};
}

std::vector<SeededValue> Join(std::vector<SeededValue> a, const std::vector<SeededValue>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::vector<SeededValue> kOlderWebMail = {
    {kOldWebMailKey, "InstallDir", REG_SZ, Sz("C:\\WebMail\\")},
    {kOldWebMailKey, "Version", REG_SZ, Sz("4.2.1")}};

TEST_F(RegistryTest, MigrationOfOlderKeys) {
  const MigrationCase cases[] = {
      {"only the older key: copied, Notify renamed, older key kept",
       OlderSuite("set"),
       {false},
       {{kSuiteKey, "InstallDir", REG_SZ, Sz("C:\\Zarel\\")},
        {kSuiteKey, "Version", REG_SZ, Sz("7.7.2")},
        {kSuiteKey, "DNSQuery", REG_BINARY, "dns"},
        {kSuiteKey, "Settings", REG_BINARY, "set"},
        {kSuiteKey, "SMTPTest", REG_BINARY, "smtp"},
        {kSuiteKey, "Notify", REG_BINARY, "notify"},
        {kOldSuiteKey, "InstallDir", REG_SZ, Sz("C:\\Zarel\\")}},
       {{kSuiteKey, "ZARELNotify"}}},
      {"deleting: both older keys go with their subkeys",
       Join(Join(OlderSuite("set"), kOlderWebMail),
            {{"Software\\Zarel\\Sub\\Deeper", "x", REG_SZ, Sz("y")}}),
       {true},
       {{kSuiteKey, "Notify", REG_BINARY, "notify"},
        {kWebMailKey, "InstallDir", REG_SZ, Sz("C:\\WebMail\\")},
        {kWebMailKey, "Version", REG_SZ, Sz("4.2.1")}},
       {{kOldSuiteKey, nullptr}, {kOldWebMailKey, nullptr}}},
      {"both generations present: nothing is copied",
       Join(OlderSuite("set"), {{"Software\\Quenfor\\Other", "x", REG_SZ, Sz("y")}}),
       {true},
       {{kOldSuiteKey, "InstallDir", REG_SZ, Sz("C:\\Zarel\\")}},
       {{kSuiteKey, nullptr}}},
      {"5000-byte Settings stops the copy there and keeps the older keys",
       Join(OlderSuite(std::string(5000, 's')), kOlderWebMail),
       {true},
       {{kSuiteKey, "InstallDir", REG_SZ, Sz("C:\\Zarel\\")},
        {kSuiteKey, "Version", REG_SZ, Sz("7.7.2")},
        {kSuiteKey, "DNSQuery", REG_BINARY, "dns"},
        {kOldSuiteKey, "Settings", REG_BINARY, std::string(5000, 's')},
        {kOldWebMailKey, "Version", REG_SZ, Sz("4.2.1")}},
       {{kSuiteKey, "Settings"}, {kSuiteKey, "SMTPTest"}, {kSuiteKey, "Notify"},
        {kWebMailKey, nullptr}}},
      {"exactly 4096 bytes still fit",
       OlderSuite(std::string(4096, 'f')),
       {false},
       {{kSuiteKey, "Settings", REG_BINARY, std::string(4096, 'f')},
        {kSuiteKey, "Notify", REG_BINARY, "notify"}},
       {}},
      {"missing strings arrive empty, empty and missing binaries are skipped",
       {{kOldSuiteKey, "SMTPTest", REG_BINARY, ""}},
       {false},
       {{kSuiteKey, "InstallDir", REG_SZ, Sz("")}, {kSuiteKey, "Version", REG_SZ, Sz("")}},
       {{kSuiteKey, "SMTPTest"}, {kSuiteKey, "DNSQuery"}}},
      {"a Version of the wrong type stops the copy",
       {{kOldSuiteKey, "InstallDir", REG_SZ, Sz("C:\\Zarel\\")},
        {kOldSuiteKey, "Version", REG_DWORD, Dword(7)},
        {kOldSuiteKey, "DNSQuery", REG_BINARY, "dns"}},
       {true},
       {{kSuiteKey, "InstallDir", REG_SZ, Sz("C:\\Zarel\\")},
        {kOldSuiteKey, "Version", REG_DWORD, Dword(7)}},
       {{kSuiteKey, "Version"}, {kSuiteKey, "DNSQuery"}}},
      // Start-up copies without deleting; the install sequence's deleting call then finds
      // the new key and does nothing, so the older keys stay for good.
      {"start-up copy, then the install-time call",
       Join(OlderSuite("set"), kOlderWebMail),
       {false, true},
       {{kSuiteKey, "Version", REG_SZ, Sz("7.7.2")},
        {kWebMailKey, "Version", REG_SZ, Sz("4.2.1")},
        {kOldSuiteKey, "Version", REG_SZ, Sz("7.7.2")},
        {kOldWebMailKey, "Version", REG_SZ, Sz("4.2.1")}},
       {}},
  };
  for (const MigrationCase& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, "Software");
    for (const SeededValue& v : c.before) SetRaw(HKEY_LOCAL_MACHINE, v.key, v.name, v.type, v.data);
    for (bool deleteOld : c.runs) ConvertRegistry(deleteOld);
    for (const SeededValue& v : c.after)
      EXPECT_EQ(GetRaw(HKEY_LOCAL_MACHINE, v.key, v.name), (RawValue{v.type, v.data}))
          << v.key << " " << v.name;
    for (const auto& [key, name] : c.absent) {
      if (name == nullptr)
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, key)) << key;
      else
        EXPECT_FALSE(GetRaw(HKEY_LOCAL_MACHINE, key, name).has_value()) << key << " " << name;
    }
  }
}

TEST_F(RegistryTest, ReadsGiveClearedDefaultsAndRaiseOnErrorForUnreadableValues) {
  struct Row {
    const char* name;
    DWORD type;
    std::string data;
    bool asBool;
    std::string asString;
    bool boolError;
    bool stringError;
  };
  const Row rows[] = {
      {"Zero", REG_DWORD, Dword(0), false, "", false, true},
      {"One", REG_DWORD, Dword(1), true, "", false, true},
      {"Two", REG_DWORD, Dword(2), true, "", false, true},  // any non-zero number is true
      {"AllBits", REG_DWORD, Dword(0xFFFFFFFF), true, "", false, true},
      {"TextOne", REG_SZ, Sz("1"), false, "1", true, false},
      {"BinaryOne", REG_BINARY, Dword(1), false, "", true, true},
      {"Folder", REG_SZ, Sz("C:\\Program Files\\Zarel\\"), false, "C:\\Program Files\\Zarel\\", true, false},
      {"Unterminated", REG_SZ, "7.7.2", false, "7.7.2", true, false},
      {"Expandable", REG_EXPAND_SZ, Sz("%ProgramFiles%\\Zarel"), false, "%ProgramFiles%\\Zarel", true, false},
      {"Empty", REG_SZ, Sz(""), false, "", true, false},
  };
  for (const Row& row : rows) SetRaw(HKEY_LOCAL_MACHINE, kSuiteKey, row.name, row.type, row.data);
  TAdvancedRegistry registry = SuiteRegistry();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    errors_ = 0;
    EXPECT_EQ(registry.ReadBool(row.name), row.asBool);
    EXPECT_EQ(errors_, row.boolError ? 1 : 0);
    errors_ = 0;
    EXPECT_EQ(registry.ReadString(row.name), row.asString);
    EXPECT_EQ(errors_, row.stringError ? 1 : 0);
  }
  // A missing value: false is an error for the boolean, an empty string is not.
  errors_ = 0;
  EXPECT_FALSE(registry.ReadBool("Missing"));
  EXPECT_EQ(registry.ReadString("Missing"), "");
  EXPECT_EQ(errors_, 1);
}

TEST_F(RegistryTest, NoInstallCalendarStoredAsTwoReadsAsTrue) {
  SetRaw(HKEY_LOCAL_MACHINE, kSuiteKey, "NoInstallCalendar", REG_DWORD, Dword(2));
  TAdvancedRegistry registry = SuiteRegistry();
  TSetupState flags;
  ReadNoInstallFlags(registry, flags);
  EXPECT_TRUE(flags.NoInstallCalendar);
  EXPECT_FALSE(flags.NoInstallIM || flags.NoInstallWebMail || flags.NoInstallAV || flags.NoInstallIAS);
}

TEST_F(RegistryTest, WritesCreateTheKeyAndStoreExactTypes) {
  TAdvancedRegistry registry(TRegistryKey::hkLOCAL_MACHINE, "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "Zarel");
  EXPECT_TRUE(registry.WriteString("DisplayName", "Zarel Mail Server"));
  EXPECT_TRUE(registry.WriteString("Empty", ""));
  EXPECT_TRUE(registry.WriteInteger("Minus", -1));
  EXPECT_TRUE(registry.WriteBool("Yes", true));
  EXPECT_TRUE(registry.WriteBool("No", false));
  const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zarel";
  EXPECT_EQ(GetRaw(HKEY_LOCAL_MACHINE, key, "DisplayName"), (RawValue{REG_SZ, Sz("Zarel Mail Server")}));
  EXPECT_EQ(GetRaw(HKEY_LOCAL_MACHINE, key, "Empty"), (RawValue{REG_SZ, Sz("")}));
  EXPECT_EQ(GetRaw(HKEY_LOCAL_MACHINE, key, "Minus"), (RawValue{REG_DWORD, Dword(0xFFFFFFFF)}));
  EXPECT_EQ(GetRaw(HKEY_LOCAL_MACHINE, key, "Yes"), (RawValue{REG_DWORD, Dword(1)}));
  EXPECT_EQ(GetRaw(HKEY_LOCAL_MACHINE, key, "No"), (RawValue{REG_DWORD, Dword(0)}));
  EXPECT_EQ(registry.ReadString("DisplayName"), "Zarel Mail Server");

  // The same key under the other root is a different key.
  registry.SetRegistryRootKey(TRegistryKey::hkCURRENT_USER);
  EXPECT_EQ(registry.ReadString("DisplayName"), "");
  EXPECT_TRUE(registry.WriteString("DisplayName", "user"));
  EXPECT_EQ(GetRaw(HKEY_CURRENT_USER, key, "DisplayName"), (RawValue{REG_SZ, Sz("user")}));
  EXPECT_EQ(GetRaw(HKEY_LOCAL_MACHINE, key, "DisplayName"), (RawValue{REG_SZ, Sz("Zarel Mail Server")}));
}

TEST_F(RegistryTest, WriteFailuresReachTheCallerWithTheSystemText) {
  TAdvancedRegistry registry = SuiteRegistry();
  // The key opens, the value is refused: longer names than 16383 characters do not exist.
  const TRegistryResult refused = registry.WriteString(std::string(16384, 'n'), "x");
  EXPECT_FALSE(refused);
  EXPECT_EQ(refused.code, ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(refused.openFailed);
  EXPECT_EQ(refused.message, RegistryErrorText(ERROR_INVALID_PARAMETER));
  EXPECT_NE(refused.message.find_first_not_of(' '), std::string::npos);
  EXPECT_EQ(refused.message.find("Error "), std::string::npos);  // a real system text
  EXPECT_EQ(errors_, 0);

  // A key that cannot be created (a lasting key below a volatile one): OnError, and the
  // caller learns of it too.
  HKEY volatileKey = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Volatile", 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &volatileKey, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(volatileKey);
  registry.SetRegistryArea("\\Software\\Volatile");
  const TRegistryResult unopened = registry.WriteBool("NoInstallIM", true);
  EXPECT_FALSE(unopened);
  EXPECT_TRUE(unopened.openFailed);
  EXPECT_FALSE(unopened.message.empty());
  std::vector<std::string> names{"stale"};
  EXPECT_FALSE(registry.GetValueNames(names));
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(errors_, 2);
}

// Stores through the real registry, records every value name and refuses one of them.
class TRefusingRegistry : public TAdvancedRegistry {
 public:
  using TAdvancedRegistry::TAdvancedRegistry;
  std::string refuse;
  std::vector<std::string> stored;

 protected:
  LONG StoreValue(HKEY key, const std::string& name, DWORD type, const void* data, DWORD size) override {
    stored.push_back(name);
    if (name == refuse) return ERROR_ACCESS_DENIED;
    return TAdvancedRegistry::StoreValue(key, name, type, data, size);
  }
};

TEST_F(RegistryTest, NoInstallFlagsWrittenInOrderUntilTheFirstFailure) {
  TSetupState flags;
  flags.NoInstallIAS = flags.NoInstallIM = flags.NoInstallCalendar = true;
  struct Row {
    const char* refuse;
    std::vector<std::string> attempted;
  };
  const Row rows[] = {
      {"", {"NoInstallIM", "NoInstallWebMail", "NoInstallCalendar", "NoInstallAV", "NoInstallIAS"}},
      {"NoInstallCalendar", {"NoInstallIM", "NoInstallWebMail", "NoInstallCalendar"}},
      {"NoInstallIM", {"NoInstallIM"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.refuse);
    DeleteRegistryTree(HKEY_LOCAL_MACHINE, "Software");
    TRefusingRegistry registry(TRegistryKey::hkLOCAL_MACHINE, "\\Software\\Quenfor", "Zarel Mail Server");
    registry.refuse = row.refuse;
    const TRegistryResult result = WriteNoInstallFlags(registry, flags);
    EXPECT_EQ(registry.stored, row.attempted);
    EXPECT_EQ(result.code, *row.refuse ? ERROR_ACCESS_DENIED : ERROR_SUCCESS);
    EXPECT_EQ(result.message.empty(), !*row.refuse);
    // What was written before the failure is there; nothing after it.
    for (const std::string name : {"NoInstallIM", "NoInstallWebMail", "NoInstallCalendar",
                                    "NoInstallAV", "NoInstallIAS"}) {
      const auto it = std::find(row.attempted.begin(), row.attempted.end(), name);
      const bool written = it != row.attempted.end() && name != row.refuse;
      EXPECT_EQ(GetRaw(HKEY_LOCAL_MACHINE, kSuiteKey, name).has_value(), written) << name;
    }
  }
  TAdvancedRegistry registry = SuiteRegistry();
  ASSERT_TRUE(WriteNoInstallFlags(registry, flags));
  TSetupState read;
  ReadNoInstallFlags(registry, read);
  EXPECT_TRUE(read.NoInstallIM && read.NoInstallCalendar && read.NoInstallIAS);
  EXPECT_FALSE(read.NoInstallWebMail || read.NoInstallAV);
}

TEST_F(RegistryTest, ValueNamesAndKeyDeletion) {
  TAdvancedRegistry registry(TRegistryKey::hkLOCAL_MACHINE, "\\SOFTWARE\\ODBC\\ODBCINST.INI", "ODBC Drivers");
  std::vector<std::string> names{"stale"};
  EXPECT_TRUE(registry.GetValueNames(names));
  EXPECT_TRUE(names.empty());
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers"));
  for (const char* name : {"SQL Server", "Microsoft Access Driver (*.mdb)", ""})
    ASSERT_TRUE(registry.WriteString(name, "Installed"));
  EXPECT_TRUE(registry.GetValueNames(names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"", "Microsoft Access Driver (*.mdb)", "SQL Server"}));

  SetRaw(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zarel\\A\\B", "v", REG_SZ, Sz("x"));
  SetRaw(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other", "v", REG_SZ, Sz("x"));
  registry.OnError = [this](TAdvancedRegistry&) { ++errors_; };
  EXPECT_TRUE(registry.DeleteKey("\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zarel"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zarel"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other"));
  EXPECT_EQ(errors_, 0);

  const TRegistryResult missing = registry.DeleteKey("\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zarel");
  EXPECT_EQ(missing.code, ERROR_FILE_NOT_FOUND);
  // An empty path names the root itself, which is never deleted.
  EXPECT_FALSE(registry.DeleteKey("\\"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other"));
  EXPECT_EQ(errors_, 2);
}

// COM self-registration against the stand-in libraries, copied into an installation folder
// whose path has spaces, as "C:\Program Files\Zarel\" has.
class ComRegistrationTest : public ScratchRegistryTest {
 protected:
  void SetUp() override {
    ScratchRegistryTest::SetUp();
    std::string built = ZAREL_COMSERVERS_DIR;
    // The build tree is a Unix path; Wine shows the Unix root as drive Z:.
    if (!built.empty() && built[0] == '/') built = "Z:" + built;
    for (char& c : built) if (c == '/') c = '\\';
    built = NormalizePath(built, true, false);
    installDir_ = folder_ / "Program Files\\Zarel\\";
    ASSERT_TRUE(ForceDirectories(installDir_));
    for (const char* name : {"api.dll", "quenforcom.dll"})
      ASSERT_TRUE(::CopyFile(built + name, installDir_ + name, false)) << built + name;
  }
  void TearDown() override {
    SetEnvironmentVariableA("ZAREL_COMSERVER_FAIL", nullptr);
    ScratchRegistryTest::TearDown();
  }
  static std::string StandInKey(const std::string& name) {
    return "Software\\Quenfor\\StandIn\\" + name;
  }
  // The registered module path, or nullopt when the library is not registered.
  static std::optional<std::string> RegisteredModule(const std::string& name) {
    const auto value = GetRaw(HKEY_CURRENT_USER, StandInKey(name), "Module");
    if (!value) return std::nullopt;
    return value->data.substr(0, value->data.find('\0'));
  }

  TestFolder folder_;
  std::string installDir_;
};

TEST_F(ComRegistrationTest, RegisterAndUnregisterBothServers) {
  for (const char* name : {"api", "quenforcom"}) {
    SCOPED_TRACE(name);
    const std::string path = installDir_ + name + ".dll";
    EXPECT_TRUE(RegisterComServer(path));
    const auto module = RegisteredModule(name);
    ASSERT_TRUE(module.has_value());
    EXPECT_EQ(lstrcmpiA(module->c_str(), path.c_str()), 0) << *module;
    // Loaded for the call only: the file is neither mapped nor locked afterwards.
    EXPECT_EQ(GetModuleHandleA(path.c_str()), nullptr);
    EXPECT_TRUE(UnregisterComServer(path));
    EXPECT_FALSE(RegisteredModule(name).has_value());
    EXPECT_TRUE(UnregisterComServer(path));  // already gone is still success
  }
  EXPECT_TRUE(RegisterComServer(installDir_ + "api.dll"));
  EXPECT_TRUE(DeleteFileAt(installDir_ + "api.dll"));
}

TEST_F(ComRegistrationTest, FailuresAreFalseAndLeaveNoTrace) {
  WriteWholeFile("not a library", installDir_ + "broken.dll", false);
  char system[MAX_PATH];
  GetSystemDirectoryA(system, MAX_PATH);
  struct Row {
    const char* what;
    std::string path;
    std::string entry;
  };
  const Row rows[] = {
      {"missing file", installDir_ + "absent.dll", "DllRegisterServer"},
      {"not a library", installDir_ + "broken.dll", "DllRegisterServer"},
      {"library without the entry", std::string(system) + "\\version.dll", "DllRegisterServer"},
      {"unknown entry", installDir_ + "api.dll", "DllInstall"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    EXPECT_FALSE(CallDllEntry(row.path, row.entry));
  }
  // A self-registration that reports failure: false, and nothing written.
  SetEnvironmentVariableA("ZAREL_COMSERVER_FAIL", "api");
  EXPECT_FALSE(RegisterComServer(installDir_ + "api.dll"));
  EXPECT_FALSE(RegisteredModule("api").has_value());
  EXPECT_TRUE(RegisterComServer(installDir_ + "quenforcom.dll"));
  EXPECT_TRUE(RegisteredModule("quenforcom").has_value());
  EXPECT_FALSE(UnregisterComServer(installDir_ + "api.dll"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, StandInKey("api")));
}

}  // namespace
