#ifdef _WIN32
#include <windows.h>  // before the helpers: it defines CopyFile and MoveFile as macros
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/FileSystemBackend.h"
#include "base/FileSystemUnit.h"
#include "tests/FolderLink.h"
#include "tests/TestFolder.h"

namespace {

void MakeReadOnly(const std::string& path) {
#ifdef _WIN32
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
#else
  chmod(HostPath(path).c_str(), 0444);
#endif
}

void MakeWritable(const std::string& path) {
#ifdef _WIN32
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
#else
  chmod(HostPath(path).c_str(), 0644);
#endif
}

TEST(NormalizePath, Table) {
  struct Case {
    const char* path;
    bool addSeparator;
    bool slashes;
    const char* expected;
  } cases[] = {
      {"C:\\A/B", true, true, "C:\\A\\B\\"},
      {"C:\\A/B", false, true, "C:\\A\\B"},
      {"C:\\A\\", false, false, "C:\\A"},
      {"C:\\A\\", true, false, "C:\\A\\"},
      {"C:\\A/", true, false, "C:\\A/"},   // a trailing "/" counts as a separator
      {"C:\\A/", false, false, "C:\\A"},
      {"", true, true, ""},
      {"x", true, false, "x\\"},
      {"\\", false, false, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NormalizePath(c.path, c.addSeparator, c.slashes), c.expected)
        << c.path << " add=" << c.addSeparator << " slashes=" << c.slashes;
  }
}

TEST(TextHelpers, IsAbsolutePathAndFileParts) {
  EXPECT_TRUE(IsAbsolutePath("C:\\Program Files\\"));
  EXPECT_TRUE(IsAbsolutePath("\\\\server\\share"));
  EXPECT_FALSE(IsAbsolutePath("\\single\\root"));
  EXPECT_FALSE(IsAbsolutePath("relative\\path"));
  // Only the first 255 characters count.
  EXPECT_FALSE(IsAbsolutePath(std::string(255, 'a') + ":"));

  EXPECT_EQ(ExtractFilePath("C:\\a\\b.txt"), "C:\\a\\");
  EXPECT_EQ(ExtractFileName("C:\\a\\b.txt"), "b.txt");
  EXPECT_EQ(ExtractFilePath("b.txt"), "");
  EXPECT_EQ(ShortPath(std::string(300, 'x')).size(), 255u);
}

TEST(TextHelpers, ReplaceText) {
  struct Case {
    const char* text;
    const char* from;
    const char* to;
    bool caseSensitive;
    bool all;
    const char* expected;
  } cases[] = {
      {"aXbxc", "x", "-", false, true, "a-b-c"},
      {"aXbxc", "x", "-", true, true, "aXb-c"},
      {"aXbxc", "x", "-", false, false, "a-bxc"},
      {"%%installpath%%\\x %%InstallPath%%", "%%installpath%%", "C:\\Z", false, true,
       "C:\\Z\\x C:\\Z"},
      {"aaa", "a", "aa", true, true, "aaaaaa"},  // replacements are not rescanned
      {"abc", "", "x", true, true, "abc"},
      {"", "a", "b", true, true, ""},
  };
  for (const Case& c : cases) {
    std::string text = c.text;
    ReplaceText(text, c.from, c.to, c.caseSensitive, c.all);
    EXPECT_EQ(text, c.expected) << c.text << " / " << c.from;
  }
}

TEST(TextHelpers, PosFrom) {
  struct Case {
    const char* sub;
    const char* text;
    int first;
    int last;
    int expected;
  } cases[] = {
      {"\r\n\r\n", "HTTP/1.0 200 OK\r\nA: b\r\n", 1, 0, 0},  // no empty line
      {"\r\n\r\n", "H\r\n\r\nbody", 1, 0, 2},
      {"b", "abcabc", 0, 0, 2},       // first position below 1 means 1
      {"b", "abcabc", 3, 0, 5},
      {"b", "abcabc", 3, 4, 0},       // the match must lie within the range
      {"bc", "abcabc", 4, 5, 0},
      {"bc", "abcabc", 4, 6, 5},
      {"b", "abcabc", 1, 99, 2},      // a last position beyond the text means its end
      {"", "abc", 1, 0, 0},
      {"a", "", 1, 0, 0},
      {"abcd", "abc", 1, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PosFrom(c.sub, c.text, c.first, c.last), c.expected)
        << "'" << c.sub << "' in '" << c.text << "' from " << c.first << " to " << c.last;
  }
}

TEST(Masks, WindowsWildcards) {
  struct Case {
    const char* mask;
    const char* name;
    bool matches;
  } cases[] = {
      {"*.*", "plain", true},       {"*.*", "a.b.c", true},        {"*", "x", true},
      {"1*.*", "10_a.cf", true},    {"1*.*", "1plain", true},      {"1*.*", "20_b.cf", false},
      {"*.lnk", "Readme.LNK", true}, {"*.lnk", "a.lnkx", false},    {"*.lnk", "lnk", false},
      {"?.txt", "a.txt", true},     {"?.txt", "ab.txt", false},    {"a*b", "aXXb", true},
      {"a*b", "aXXbc", false},      {"x.*", "X", true},            {"x.*", "xy", false},
  };
  for (const Case& c : cases) EXPECT_EQ(MaskMatches(c.mask, c.name), c.matches) << c.mask << " " << c.name;
}

TEST(Folders, ListDirectoryTellsWhatItCouldRead) {
  TestFolder root;
  WriteWholeFile("abc", root / "b.txt", false);
  WriteWholeFile("", root / "a.TXT", false);
  ForceDirectories(root / "sub.txt\\");
  WriteWholeFile("x", root / "other.dat", false);
  bool opened = false;
  const std::vector<TDirEntry> entries = ListDirectory(root.path(), "*.txt", &opened);
  EXPECT_TRUE(opened);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].name, "a.TXT");
  EXPECT_EQ(entries[1].name, "b.txt");
  EXPECT_EQ(entries[1].size, 3u);
  EXPECT_FALSE(entries[1].isDirectory);
  EXPECT_TRUE(entries[2].isDirectory);

  EXPECT_TRUE(ListDirectory(root / "sub.txt", "*", &opened).empty());
  EXPECT_TRUE(opened);
  EXPECT_TRUE(ListDirectory(root / "missing\\", "*", &opened).empty());
  EXPECT_FALSE(opened);
}

TEST(Folders, ForceDirectoriesCreatesEveryMissingLevel) {
  TestFolder root;
  const std::string deep = root / "one\\two\\three\\";
  EXPECT_FALSE(DirectoryExists(deep));
  EXPECT_TRUE(ForceDirectories(deep));
  EXPECT_TRUE(DirectoryExists(root / "one"));
  EXPECT_TRUE(DirectoryExists(root / "one\\two"));
  EXPECT_TRUE(DirectoryExists(deep));
  EXPECT_TRUE(ForceDirectories(deep));  // existing: still true
  EXPECT_TRUE(ForceDirectories(root / "a\\b"));  // without a trailing separator

  // A file in the way cannot become a folder.
  WriteWholeFile("x", root / "blocker", false);
  EXPECT_FALSE(ForceDirectories(root / "blocker\\sub\\"));
  EXPECT_FALSE(ForceDirectories(""));
}

TEST(Folders, DeleteTreeWithMaskKeepsWhatDoesNotMatch) {
  TestFolder root;
  const std::string rules = root / "rules\\";
  WriteWholeFile("1", rules + "10_a.cf", false);
  WriteWholeFile("1", rules + "1plain", false);  // "1*.*" matches names without a dot too
  WriteWholeFile("2", rules + "20_b.cf", false);
  WriteWholeFile("s", rules + "sub\\1x.cf", false);

  EXPECT_FALSE(DeleteTree(rules, "1*.*", false));  // other things remain: folder stays
  EXPECT_FALSE(FileExists(rules + "10_a.cf"));
  EXPECT_FALSE(FileExists(rules + "1plain"));
  EXPECT_TRUE(FileExists(rules + "20_b.cf"));
  EXPECT_TRUE(FileExists(rules + "sub\\1x.cf"));

  // Only matching files were in it: the folder goes too.
  const std::string only = root / "only\\";
  WriteWholeFile("1", only + "1a.cf", false);
  WriteWholeFile("1", only + "1b.cf", false);
  EXPECT_TRUE(DeleteTree(only, "1*.*", false));
  EXPECT_FALSE(DirectoryExists(only));

  EXPECT_FALSE(DeleteTree("", "*.*", true));
}

TEST(Folders, RemoveFolderTreeKeepsReadOnlyFiles) {
  TestFolder root;
  const std::string tree = root / "tree\\";
  WriteWholeFile("a", tree + "a.txt", false);
  WriteWholeFile("b", tree + "deep\\er\\b.txt", false);
  WriteWholeFile("c", tree + "deep\\keep.txt", false);
  MakeReadOnly(tree + "deep\\keep.txt");

  EXPECT_FALSE(RemoveFolderTree(tree));
  EXPECT_FALSE(FileExists(tree + "a.txt"));
  EXPECT_FALSE(DirectoryExists(tree + "deep\\er"));
  EXPECT_TRUE(FileExists(tree + "deep\\keep.txt"));

  MakeWritable(tree + "deep\\keep.txt");
  EXPECT_TRUE(RemoveFolderTree(tree));
  EXPECT_FALSE(DirectoryExists(tree));
}

// The uninstall's rule: read-only files go too, kept files stay with their folders.
TEST(Folders, DeleteFolderTreeKeepsNamedFilesWithTheirFolders) {
  TestFolder root;
  const std::string spam = root / "spam\\";
  for (const char* name : {"Challenge.mdb", "spam.cfg", "rules\\local.cf", "rules\\10_base.cf", "bayes\\tokens.db"})
    WriteWholeFile(name, spam + name, false);
  MakeReadOnly(spam + "rules\\10_base.cf");
  MakeReadOnly(spam + "bayes\\tokens.db");
  TDeleteRule rule;
  rule.deleteReadOnly = true;
  rule.kept = {"challenge.mdb", "rules\\local.cf", "bayes"};  // a folder's name keeps nothing

  TDeleteResult result = DeleteFolderTree(spam, rule);
  EXPECT_FALSE(result.removed);
  EXPECT_FALSE(result.refused);
  std::sort(result.kept.begin(), result.kept.end());
  EXPECT_EQ(result.kept, (std::vector<std::string>{spam + "Challenge.mdb", spam + "rules\\local.cf"}));
  EXPECT_EQ(ReadWholeFile(spam + "rules\\local.cf", false), "rules\\local.cf");
  EXPECT_TRUE(FileExists(spam + "Challenge.mdb"));
  EXPECT_FALSE(FileExists(spam + "spam.cfg"));
  EXPECT_FALSE(FileExists(spam + "rules\\10_base.cf"));
  EXPECT_FALSE(DirectoryExists(spam + "bayes"));

  EXPECT_FALSE(DeleteFolderTree(root / "missing\\", rule).refused);
  EXPECT_TRUE(DeleteFolderTree(spam + "Challenge.mdb", rule).refused);  // a file is no tree
  EXPECT_TRUE(FileExists(spam + "Challenge.mdb"));
}

// The attack on an uninstall: a user who may write the installation folder replaces a tree, or
// a folder in it, with a link to a folder only administrators may write.
class TreeLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    outside_ = root_ / "outside\\";
    WriteWholeFile("precious", outside_ + "data.txt", false);
    tree_ = root_ / "tree\\";
    WriteWholeFile("a", tree_ + "a.txt", false);
    WriteWholeFile("b", tree_ + "sub\\b.txt", false);
    linksWork_ = MakeFolderLink(root_ / "probe", outside_);
  }
  void TearDown() override {
    fsbackend::SetTreeWalkHook(nullptr);
    for (const char* link : {"probe", "top", "tree\\link", "tree\\sub"}) RemoveFolderLink(root_ / link);
  }
  bool OutsideIntact() const { return ReadWholeFile(outside_ + "data.txt", false) == "precious"; }

  TestFolder root_;
  std::string outside_, tree_;
  bool linksWork_ = false;
};

TEST_F(TreeLinks, TopThatIsALinkIsRefusedAndNothingTouched) {
  if (!linksWork_) GTEST_SKIP() << "this system makes no folder links";
  const std::string top = root_ / "top";
  ASSERT_TRUE(MakeFolderLink(top, outside_));
  EXPECT_TRUE(DeleteFolderTree(top, TDeleteRule{}).refused);
  EXPECT_FALSE(RemoveFolderTree(top + "\\"));
  EXPECT_FALSE(DeleteTree(top, "*.*", false));
  EXPECT_TRUE(OutsideIntact());
  EXPECT_TRUE(LinkExists(top));
}

TEST_F(TreeLinks, LinkInsideIsRemovedItself) {
  if (!linksWork_) GTEST_SKIP() << "this system makes no folder links";
  ASSERT_TRUE(MakeFolderLink(tree_ + "link", outside_));
#ifndef _WIN32
  ASSERT_EQ(symlink(HostPath(outside_ + "data.txt").c_str(), HostPath(tree_ + "filelink").c_str()), 0);
#endif
  const bool removed = RemoveFolderTree(tree_);
  EXPECT_TRUE(OutsideIntact());
  EXPECT_FALSE(FileExists(tree_ + "a.txt"));
  if (OnWine()) {
    // Wine hands over only what a link points to: the link is left, and its folder with it.
    EXPECT_FALSE(removed);
    EXPECT_TRUE(LinkExists(tree_ + "link"));
  } else {
    EXPECT_TRUE(removed);
    EXPECT_FALSE(DirectoryExists(tree_));
  }
}

// Where the setup writes a file of its own (log=, saveanswers=, the log's copy in logs\),
// someone may have planted a link or a second name of a file elsewhere: in no mode is anything
// written or emptied through it. Wine shows a link to a file as a plain file, so only the host
// plants one there; hard links behave alike on both.
TEST_F(TreeLinks, WritesNeverGoThroughALinkOrASecondName) {
  std::vector<std::string> planted;
  if (MakeHardLink(root_ / "second.txt", outside_ + "data.txt")) planted.push_back(root_ / "second.txt");
#ifndef _WIN32
  ASSERT_EQ(symlink(HostPath(outside_ + "data.txt").c_str(), HostPath(root_ / "link.txt").c_str()), 0);
  planted.push_back(root_ / "link.txt");
#endif
  ASSERT_FALSE(planted.empty());
  for (const std::string& name : planted) {
    for (const TWriteMode mode : {TWriteMode::CreateNew, TWriteMode::Append, TWriteMode::Replace}) {
      std::FILE* file = OpenFileForWriting(name, mode);
      EXPECT_EQ(file, nullptr) << name << " mode " << static_cast<int>(mode);
      if (file != nullptr) {
        std::fputs("written through", file);
        std::fclose(file);
      }
    }
    EXPECT_FALSE(WritePrivateFile("written through", name)) << name;
    EXPECT_TRUE(OutsideIntact()) << name;
  }

  const std::string own = root_ / "own.txt";
  EXPECT_TRUE(WritePrivateFile("first", own));
  EXPECT_TRUE(WritePrivateFile("2", own));
  std::FILE* appended = OpenFileForWriting(own, TWriteMode::Append);
  ASSERT_NE(appended, nullptr);
  std::fputs(" more", appended);
  std::fclose(appended);
  EXPECT_EQ(ReadWholeFile(own, false), "2 more");
  EXPECT_EQ(OpenFileForWriting(own, TWriteMode::CreateNew), nullptr);
}

TEST_F(TreeLinks, FolderSwappedForALinkAfterTheListingIsNotEntered) {
  if (!linksWork_) GTEST_SKIP() << "this system makes no folder links";
  bool swapped = false;
  fsbackend::SetTreeWalkHook([&](const std::string& folder, const std::string& name) {
    if (folder != tree_ || name != "sub") return;
    swapped = MoveFile(tree_ + "sub", root_ / "moved") && MakeFolderLink(tree_ + "sub", outside_);
  });
  RemoveFolderTree(tree_);
  ASSERT_TRUE(swapped);
  EXPECT_TRUE(OutsideIntact());
  EXPECT_EQ(ReadWholeFile(root_ / "moved\\b.txt", false), "b");
  EXPECT_FALSE(FileExists(tree_ + "a.txt"));
  if (!OnWine()) {
    EXPECT_FALSE(LinkExists(tree_ + "sub"));
  }
}

#ifdef _WIN32
// Windows 9x has no handle-relative opens: the deletion walks by path there. Wine reports the
// 9x platform per program name, fixed when the process starts, so a copy of this program
// under a name marked win98 runs the tree tests.
TEST(NinetyEightMode, TreeDeletionWalksByPath) {
  const char kCopyName[] = "FileSystemUnitTest9x.exe";
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  if (ExtractFileName(self) == kCopyName) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExA(&version));
    EXPECT_EQ(version.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_WINDOWS)) << "the copy must run as 9x";
    return;
  }
  TestFolder folder;
  const std::string copy = folder / kCopyName;
  ASSERT_TRUE(CopyFile(self, copy, false));
  const std::string appDefaults = std::string("Software\\Wine\\AppDefaults\\") + kCopyName;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, appDefaults.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
  RegCloseKey(key);

  const std::string report = folder / "report.xml";
  std::string command = "\"" + copy + "\" --gtest_filter=Folders.*:TreeLinks.*:NinetyEightMode.* --gtest_output=xml:" + report;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  DWORD exitCode = STILL_ACTIVE;
  if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    WaitForSingleObject(process.hProcess, 120000);
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  RegDeleteKeyA(HKEY_CURRENT_USER, appDefaults.c_str());
  const std::string xml = ReadWholeFile(report, false);
  EXPECT_EQ(exitCode, 0u) << xml;
  EXPECT_NE(xml.find("failures=\"0\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("FolderSwappedForALinkAfterTheListingIsNotEntered\" file"), std::string::npos) << xml;
  EXPECT_EQ(xml.find("result=\"skipped\""), std::string::npos) << xml;
}
#endif

TEST(Files, WholeFileRoundTripAndDeletion) {
  TestFolder root;
  std::string bytes("a\0b\r\n\xff", 6);
  const std::string file = root / "made\\on\\demand\\f.bin";
  WriteWholeFile(bytes, file, false);
  EXPECT_EQ(ReadWholeFile(file, false), bytes);
  EXPECT_EQ(ReadWholeFile(file, true), bytes);
  EXPECT_FALSE(FileExists(file));
  EXPECT_EQ(ReadWholeFile(file, false), "");
  EXPECT_EQ(ReadWholeFile("", false), "");

  WriteWholeFile("", file, false);  // empty text, flag clear: an empty file
  EXPECT_TRUE(FileExists(file));
  WriteWholeFile("", file, true);  // flag set: the file goes
  EXPECT_FALSE(FileExists(file));
}

// A caller that must not take a file it could not read for an empty one (an answers file),
// nor a file it could not write for a saved one, is told so.
TEST(Files, WholeFileReadAndWriteTellTheirFailures) {
  TestFolder root;
  const std::string empty = root / "empty.txt";
  ASSERT_TRUE(WriteWholeFile("", empty, false));
  std::string bytes = "stale";
  EXPECT_TRUE(ReadWholeFileChecked(empty, bytes));
  EXPECT_EQ(bytes, "");
  ASSERT_TRUE(WriteWholeFile("abc", root / "f.txt", false));
  EXPECT_TRUE(ReadWholeFileChecked(root / "f.txt", bytes));
  EXPECT_EQ(bytes, "abc");

  bytes = "stale";
  EXPECT_FALSE(ReadWholeFileChecked(root / "missing.txt", bytes));
  EXPECT_EQ(bytes, "");
  EXPECT_FALSE(ReadWholeFileChecked("", bytes));
  // A folder is no file: it cannot be read (on POSIX hosts it opens, and the read fails).
  ForceDirectories(root / "folder.txt\\");
  EXPECT_FALSE(ReadWholeFileChecked(root / "folder.txt", bytes));
#ifdef _WIN32
  // Held by another program without sharing: it exists, and it cannot be read.
  const HANDLE held = CreateFileA((root / "f.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(FileExists(root / "f.txt"));
  EXPECT_FALSE(ReadWholeFileChecked(root / "f.txt", bytes));
  EXPECT_EQ(ReadWholeFile(root / "f.txt", false), "");
  EXPECT_FALSE(WriteWholeFile("new", root / "f.txt", false));
  CloseHandle(held);
#endif

  // Where no file can be made: a folder of that name, a file in the way of the folder.
  EXPECT_FALSE(WriteWholeFile("x", root / "folder.txt", false));
  EXPECT_FALSE(WriteWholeFile("x", root / "f.txt\\below.txt", false));
  EXPECT_FALSE(WriteWholeFile("x", "", false));
  EXPECT_TRUE(WriteWholeFile("x", root / "made\\on\\demand.txt", false));
  EXPECT_TRUE(WriteWholeFile("", root / "made\\on\\demand.txt", true));
  EXPECT_FALSE(FileExists(root / "made\\on\\demand.txt"));
}

TEST(Files, CopyAndMove) {
  TestFolder root;
  WriteWholeFile("one", root / "a", false);
  WriteWholeFile("two", root / "b", false);

  EXPECT_FALSE(CopyFile(root / "a", root / "b", true));  // fail-if-exists
  EXPECT_EQ(ReadWholeFile(root / "b", false), "two");
  EXPECT_TRUE(CopyFile(root / "a", root / "b", false));
  EXPECT_EQ(ReadWholeFile(root / "b", false), "one");
  EXPECT_FALSE(CopyFile(root / "missing", root / "c", false));

  EXPECT_FALSE(MoveFile(root / "a", root / "b"));  // a move never replaces
  EXPECT_TRUE(MoveFile(root / "a", root / "c"));
  EXPECT_FALSE(FileExists(root / "a"));
  EXPECT_EQ(ReadWholeFile(root / "c", false), "one");
}

TEST(SpecialFolders, NormalisedAndWithFallback) {
  const std::string temp = GetSpecialFolder(SpecialFolder::Temporary, true);
  ASSERT_FALSE(temp.empty());
  EXPECT_TRUE(temp.back() == '\\' || temp.back() == '/');
  EXPECT_TRUE(DirectoryExists(temp));

  const std::string program = ProgramFolder();
  ASSERT_FALSE(program.empty());
  EXPECT_TRUE(DirectoryExists(program));
#ifdef _WIN32
  const std::string system = GetSpecialFolder(SpecialFolder::System, true);
  EXPECT_TRUE(DirectoryExists(system + "kernel32.dll") == false);
  EXPECT_TRUE(FileExists(system + "kernel32.dll")) << system;
  EXPECT_TRUE(FileExists(GetSpecialFolder(SpecialFolder::Windows, true) + "win.ini"));
#else
  // This host has no Windows folder: empty without fallback, else the program's folder.
  EXPECT_EQ(GetSpecialFolder(SpecialFolder::Windows, true), "");
  EXPECT_EQ(GetSpecialFolder(SpecialFolder::Windows, false), program);
#endif
}

}  // namespace
