// Ending processes by name and by full path, with copies of a sleeping test program as the
// victims.
#include "tests/ServicesTestSupport.h"

#include <algorithm>
#include <memory>

#include "tests/ImportHook.h"
#include "tests/TestFolder.h"

namespace {

const std::string kSleeperExe = WinePath(ZAREL_SLEEPER_EXE);

// A process id can name another process by the time it is opened again: after the first
// opening of the victim's id, the bystander answers to it.
struct TReusedId {
  static HANDLE WINAPI Open(DWORD access, BOOL inherit, DWORD id) {
    const auto open = hook->Original<decltype(&OpenProcess)>();
    if (id == victim && opened++ > 0) id = bystander;
    return open(access, inherit, id);
  }
  static inline TImportHook* hook = nullptr;
  static inline DWORD victim = 0;
  static inline DWORD bystander = 0;
  static inline int opened = 0;
};

class ProcessTest : public ::testing::Test {
 protected:
  TestFolder folder;

  // A sleeping copy of the test program at folder/relativePath.
  std::unique_ptr<TChildProcess> Run(const std::string& relativePath) {
    const std::string path = folder / relativePath;
    ForceDirectories(ExtractFilePath(path));
    if (!FileExists(path)) CopyFile(kSleeperExe, path, false);
    auto child = std::make_unique<TChildProcess>(path, "120");
    EXPECT_TRUE(child->Started()) << path;
    EXPECT_TRUE(child->WaitReady()) << path;
    return child;
  }
};

}  // namespace

TEST_F(ProcessTest, KillByNameIgnoresLetterCaseAndEndsEveryMatch) {
  struct Case {
    const char* target;
    bool expected;
    bool ended;
  } cases[] = {
      {"zarelvictim", true, true},         // ".exe" added
      {"ZARELVICTIM.EXE", true, true},
      {"ZarelVictim.exe", true, true},
      {"zarelvictim.dll", false, false},   // a given extension is kept
      {"zarelvicti", false, false},
      {"", false, false},                  // becomes ".exe": matches nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    auto first = Run("a\\ZarelVictim.exe");
    auto second = Run("b\\zarelVICTIM.exe");
    auto bystander = Run("c\\ZarelVictim2.exe");
    EXPECT_EQ(KillProcessByName(c.target), c.expected);
    EXPECT_EQ(first->Running(), !c.ended);
    EXPECT_EQ(second->Running(), !c.ended);
    EXPECT_TRUE(bystander->Running());
  }
}

TEST_F(ProcessTest, KillByPathLeavesTheSameNameElsewhereRunning) {
  auto ours = Run("Zarel Mail\\smtp.exe");
  auto theirs = Run("Other Product\\smtp.exe");
  // The full path, written in another letter case, still names our program.
  std::string path = folder / "ZAREL MAIL\\SMTP.EXE";
  EXPECT_TRUE(KillProcessByPath(path));
  EXPECT_EQ(ours->Wait(5000), 0u);
  EXPECT_TRUE(theirs->Running());
  EXPECT_FALSE(KillProcessByPath(path));  // nothing left to end
  EXPECT_FALSE(KillProcessByPath(""));
  EXPECT_TRUE(theirs->Running());
}

TEST_F(ProcessTest, ProcessIsEndedThroughTheHandleItWasRecognisedBy) {
  auto victim = Run("a\\ZarelVictim.exe");
  auto bystander = Run("b\\Bystander.exe");
  TReusedId::victim = victim->Id();
  TReusedId::bystander = bystander->Id();
  TReusedId::opened = 0;
  TImportHook hook("kernel32.dll", "OpenProcess", reinterpret_cast<void*>(&TReusedId::Open));
  ASSERT_TRUE(hook.Installed());
  TReusedId::hook = &hook;
  EXPECT_TRUE(KillProcessByName("ZarelVictim"));
  EXPECT_EQ(victim->Wait(5000), 0u);
  EXPECT_TRUE(bystander->Running());
}

TEST_F(ProcessTest, EnumerationHoldsEveryProcess) {
  auto first = Run("one.exe");
  auto second = Run("two.exe");
  // From a list far too short, as the old fixed list was on a busy machine.
  for (const std::size_t capacity : {std::size_t{1}, std::size_t{2}, std::size_t{1024}}) {
    const std::vector<DWORD> ids = EnumerateProcessIds(capacity);
    for (const DWORD id : {GetCurrentProcessId(), first->Id(), second->Id()})
      EXPECT_NE(std::find(ids.begin(), ids.end(), id), ids.end()) << capacity << " " << id;
  }
}

TEST(ProcessApi, LoadsAndAdjustsPrivileges) {
  EXPECT_TRUE(LoadProcessApi());
  EXPECT_TRUE(LoadProcessApi());  // already loaded
  EXPECT_TRUE(SetPrivilege(SE_DEBUG_NAME, true));
  EXPECT_TRUE(SetPrivilege(SE_DEBUG_NAME, false));
  EXPECT_FALSE(SetPrivilege("SeNoSuchPrivilege", true));
  // No process of that identifier: nothing to end.
  EXPECT_FALSE(KillProcess(0xFFFFFFF0u));
}
