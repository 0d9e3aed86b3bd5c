// Access lists of the installation folder: which lists let others in, the lists the setup
// writes, and the repair of folders found open to others (tests/SecurityTestSupport.h says
// how the lists are followed under Wine).
#include "tests/SecurityTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "base/FileSystemUnit.h"
#include "system/FolderSecurity.h"
#include "tests/FolderLink.h"
#include "tests/TestFolder.h"

namespace {

constexpr DWORD kWriteRights[] = {FILE_ADD_FILE, FILE_ADD_SUBDIRECTORY, DELETE, WRITE_DAC, WRITE_OWNER};
constexpr DWORD kReadRights = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES;

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

bool LocalUserMayWrite(const std::string& sddl) {
  return std::any_of(std::begin(kWriteRights), std::end(kWriteRights),
                     [&sddl](DWORD right) { return LocalUserMay(sddl, right); });
}

TEST(FolderSecurity, WhoMayChangeOrOpenAFolder) {
  PSID own = nullptr;
  ASSERT_TRUE(ConvertStringSidToSidA("S-1-5-21-7-8-9-1000", &own));
  struct Case {
    const char* list;
    std::size_t programs;  // findings for the programs folder
    std::size_t closed;    // findings for config\ or mail\ .
    const char* named;     // a SID the findings name
  } cases[] = {
      {kProgramsList, 0, 1, "S-1-5-32-545"},  // Users may read: enough for programs, not for passwords
      {kPrivateList, 0, 0, ""},
      // What C:\Zarel inherits from the drive's root: Authenticated Users may modify what it
      // holds, Users may add folders.
      {"O:BAD:(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;0x1301bf;;;AU)(A;CI;0x4;;;BU)", 2, 2, "S-1-5-11"},
      {"O:S-1-5-21-1-2-3-1001D:(A;OICI;FA;;;SY)", 1, 1, "S-1-5-21-1-2-3-1001"},  // another account's folder
      {"O:BA", 1, 1, "everyone"},  // no list at all
      // TrustedInstaller (a service SID), CREATOR OWNER and the setup's own account.
      {"O:S-1-5-21-7-8-9-1000D:(A;OICI;FA;;;S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464)"
       "(A;OICIIO;FA;;;CO)(A;OICI;FA;;;S-1-5-21-7-8-9-1000)",
       0, 0, ""},
      {"O:BAD:(D;OICI;FA;;;WD)", 0, 0, ""},  // a denial only takes away
      {"O:BAD:(A;;0x10000;;;WD)", 1, 1, "S-1-1-0"},  // delete alone is enough to replace
      {"O:BAD:(A;;GW;;;IU)", 1, 1, "S-1-5-4"},
      {"O:BAD:(A;;0x100000;;;WD)", 0, 0, ""},  // synchronize grants nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list);
    const TSddlDescriptor descriptor(c.list);
    ASSERT_NE(descriptor.Get(), nullptr);
    const std::vector<std::string> programs = FindOpenAccess(descriptor.Get(), TFolderAccess::Programs, own);
    const std::vector<std::string> closed = FindOpenAccess(descriptor.Get(), TFolderAccess::Private, own);
    EXPECT_EQ(programs.size(), c.programs) << Joined(programs);
    EXPECT_EQ(closed.size(), c.closed) << Joined(closed);
    EXPECT_NE(Joined(closed).find(c.named), std::string::npos) << Joined(closed);
  }
  LocalFree(own);
}

TEST(FolderSecurity, ListsLetUsersReadProgramsOnly) {
  const struct {
    TFolderAccess access;
    const char* list;
    bool usersRead;
  } kinds[] = {{TFolderAccess::Programs, kProgramsList, true}, {TFolderAccess::Private, kPrivateList, false}};
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.list);
    std::vector<BYTE> descriptor = FolderSecurityDescriptor(kind.access);
    ASSERT_FALSE(descriptor.empty());
    const std::string sddl = SddlOf(descriptor.data(), OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
    EXPECT_EQ(sddl, kind.list);
    EXPECT_TRUE(FindOpenAccess(descriptor.data(), kind.access, nullptr).empty());
    EXPECT_FALSE(LocalUserMayWrite(sddl));
    EXPECT_EQ(LocalUserMay(sddl, kReadRights), kind.usersRead);
  }
  // The check itself tells an open folder apart.
  EXPECT_TRUE(LocalUserMay("O:BAD:(A;OICI;FA;;;BU)", FILE_ADD_FILE));
}

class FolderSecurityTest : public ::testing::Test {
 protected:
  TestFolder folder_;
};

TEST_F(FolderSecurityTest, NewFolderHasItsListFromTheStart) {
  TSecurityRecorder recorder;
  ASSERT_TRUE(recorder.Installed());
  const std::string programs = folder_ / "Zarel";
  const TFolderSecurityResult made = SecureFolder(programs + "\\", TFolderAccess::Programs);
  EXPECT_EQ(made.State, TFolderSecurityState::Created) << made.Error;
  EXPECT_TRUE(DirectoryExists(programs));
  const TFolderSecurityResult config = SecureFolder(programs + "\\config\\", TFolderAccess::Private);
  EXPECT_EQ(config.State, TFolderSecurityState::Created) << config.Error;
  EXPECT_EQ(recorder.created[programs], kProgramsList);
  EXPECT_EQ(recorder.created[programs + "\\config"], kPrivateList);
  // Created with the list, never first with the parent's and then changed.
  EXPECT_TRUE(recorder.written.empty());

  const TFolderSecurityResult orphan = SecureFolder(folder_ / "missing\\Zarel\\", TFolderAccess::Programs);
  EXPECT_EQ(orphan.State, TFolderSecurityState::Failed);
  EXPECT_EQ(orphan.Error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(FolderSecurityTest, FolderEveryoneMayWriteIsClosedAndThenKept) {
  const std::string path = folder_ / "Zarel";
  ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));
  ASSERT_TRUE(OpenToEveryone(path));
  ASSERT_NE(EveryoneRights(DiskSddl(path)) & FILE_ADD_FILE, 0u) << DiskSddl(path);

  TSecurityRecorder recorder;
  const TFolderSecurityResult repaired = SecureFolder(path + "\\", TFolderAccess::Programs);
  EXPECT_EQ(repaired.State, TFolderSecurityState::Repaired) << repaired.Error;
  EXPECT_NE(Joined(repaired.Findings).find("S-1-1-0 may change it"), std::string::npos) << Joined(repaired.Findings);
  ASSERT_FALSE(recorder.written.empty());
  EXPECT_EQ(recorder.written[0], std::make_pair(path, std::string(kProgramsList).substr(4)));
  const std::string after = DiskSddl(path);
  for (const DWORD right : kWriteRights) EXPECT_EQ(EveryoneRights(after) & right, 0u) << after;

  recorder.written.clear();
  const TFolderSecurityResult again = SecureFolder(path + "\\", TFolderAccess::Programs);
  EXPECT_EQ(again.State, TFolderSecurityState::Kept) << Joined(again.Findings);
  EXPECT_TRUE(recorder.written.empty());
}

TEST_F(FolderSecurityTest, AnotherAccountsFolderAndWhatItPlantedAreTakenOver) {
  const std::string path = folder_ / "Zarel";
  for (const char* folder : {"", "\\modules"}) ASSERT_TRUE(CreateDirectoryA((path + folder).c_str(), nullptr));
  for (const char* file : {"\\db.dll", "\\smtp.exe", "\\api.dll", "\\modules\\php.dll"})
    WriteWholeFile("x", path + file, false);
  TSecurityRecorder recorder;
  for (const char* planted : {"", "\\db.dll", "\\modules\\php.dll"}) recorder.owners[path + planted] = kOtherAccount;
  recorder.owners[path + "\\api.dll"] = kHiddenOwner;

  const TFolderSecurityResult result = SecureFolder(path + "\\", TFolderAccess::Programs);
  EXPECT_EQ(result.State, TFolderSecurityState::Repaired) << result.Error;
  EXPECT_NE(Joined(result.Findings).find(std::string("owner ") + kOtherAccount), std::string::npos);
  // The folder: owner first (that gives the right to rewrite its list), then its list.
  ASSERT_GE(recorder.written.size(), 2u);
  EXPECT_EQ(recorder.written[0], std::make_pair(path, std::string("O:BA")));
  EXPECT_EQ(recorder.written[1], std::make_pair(path, std::string(kProgramsList).substr(4)));
  // Below it, only what the other account owns: owner Administrators, own entries gone.
  const std::set<std::pair<std::string, std::string>> below(recorder.written.begin() + 2, recorder.written.end());
  const std::set<std::pair<std::string, std::string>> expected = {
      {path + "\\db.dll", "O:BA"}, {path + "\\db.dll", "D:"},
      {path + "\\api.dll", "O:BA"}, {path + "\\api.dll", "D:"},
      {path + "\\modules\\php.dll", "O:BA"}, {path + "\\modules\\php.dll", "D:"}};
  EXPECT_EQ(below, expected);
  EXPECT_EQ(recorder.written.size(), 2 + expected.size());
  EXPECT_NE(Joined(result.Changes).find(std::string("taken over from ") + kOtherAccount + ": " + path + "\\db.dll"),
            std::string::npos)
      << Joined(result.Changes);
}

// Links are left alone too, but Wine 8 cannot make one (docs/wine.md).
TEST_F(FolderSecurityTest, VolumeRootIsLeftAsItIs) {
  TSecurityRecorder recorder(false);
  const TFolderSecurityResult root = RepairFolderSecurity(folder_.path().substr(0, 3), TFolderAccess::Private);
  EXPECT_EQ(root.State, TFolderSecurityState::Untouched);
  EXPECT_NE(Joined(root.Findings).find("root folder of a volume"), std::string::npos);
  EXPECT_TRUE(recorder.written.empty());
}

}  // namespace

namespace {

// The administrator's password file: found open while anyone but SYSTEM, Administrators and
// the setup's own account may read it, or while it is a second name of a file elsewhere. Wine
// keeps no lists: Everyone's rights come from the Unix mode, so a file Wine makes (mode 0644)
// is readable by Everyone, and another owner is reported through the recorder.
TEST_F(FolderSecurityTest, SecretFileOthersCouldReadOrReplaceIsFound) {
  const std::string file = folder_ / "password.txt";
  WriteWholeFile("secret\r\n", file, false);
  ASSERT_NE(EveryoneRights(DiskSddl(file)) & FILE_READ_DATA, 0u);
  EXPECT_NE(Joined(FindSecretFileExposure(file)).find("S-1-1-0 may open it"), std::string::npos);

  const std::string closed = folder_ / "closed.txt";
  ASSERT_TRUE(WritePrivateFile("secret\r\n", closed));
  EXPECT_EQ(EveryoneRights(DiskSddl(closed)), 0u);
  EXPECT_EQ(Joined(FindSecretFileExposure(closed)), "");
  {
    TSecurityRecorder recorder;
    recorder.owners[closed] = "S-1-5-21-1-2-3-1001";
    EXPECT_NE(Joined(FindSecretFileExposure(closed)).find("owner S-1-5-21-1-2-3-1001"), std::string::npos);
  }

  ASSERT_TRUE(MakeHardLink(folder_ / "second.txt", closed));
  EXPECT_EQ(Joined(FindSecretFileExposure(closed)), "it has a second name in another place\n");
}

}  // namespace
