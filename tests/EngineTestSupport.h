// Shared scaffolding of the install-engine tests (win32 tree): a scratch registry per test
// (both predefined keys redirected), a recording UI, the program-end seam turned into an
// exception, and small file helpers.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/FileSystemUnit.h"
#include "engine/FailureUnit.h"
#include "engine/InstallLog.h"
#include "engine/ProgramEnd.h"
#include "engine/SetupState.h"
#include "system/AdvancedRegistry.h"
#include "tests/TestFolder.h"
#include "tests/support/RecordingUI.h"


inline void WriteText(const std::string& path, const std::string& text) {
  ForceDirectories(ExtractFilePath(path));
  WriteWholeFile(text, path, false);
}

inline std::string ReadText(const std::string& path) { return ReadWholeFile(path, false); }

inline bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Every registry access of the test lands below a scratch key of the real HKCU; the
// program's end becomes a TProgramEnded exception (a fatal failure reaches it through
// RunOrEnd, as in the program); the engine reports to a recorder; a fresh
// install log in the test's folder.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    scratch_ = std::string("Software\\ZarelEngineTest\\") + info->test_suite_name() + "-" + info->name() +
               "-" + std::to_string(GetCurrentProcessId());
    ASSERT_EQ(CreateRegistryKey(HKEY_CURRENT_USER, scratch_ + "\\HKLM", machine_), ERROR_SUCCESS);
    ASSERT_EQ(CreateRegistryKey(HKEY_CURRENT_USER, scratch_ + "\\HKCU", user_), ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_.Get()), ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, user_.Get()), ERROR_SUCCESS);
    redirected_ = true;
    SetProgramEndHandler([](int code) { throw TProgramEnded{code}; });
    // As the wizard installs its window: every box reaches the log with its answer.
    SetLoggedCurrentUI(&ui_);
    ResetSetupState();
    logPath_ = StartInstallLog(SystemLogHeader(), folder_.path());
  }

  void TearDown() override {
    StopInstallLog();
    SetCurrentUI(nullptr);
    SetProgramEndHandler(nullptr);
    ResetSetupState();
    if (redirected_) {
      RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
      RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    }
    machine_.Reset();
    user_.Reset();
    DeleteRegistryTree(HKEY_CURRENT_USER, scratch_);
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\ZarelEngineTest");
  }

  std::string Log() const { return ReadText(logPath_); }

  void SetString(HKEY root, const std::string& path, const std::string& name, const std::string& text) {
    TRegistryKeyHandle key;
    ASSERT_EQ(CreateRegistryKey(root, path, key), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.Get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
  }

  // Empty when the value (or key) is missing; DWORDs as decimal text.
  std::string GetValue(HKEY root, const std::string& path, const std::string& name) {
    TRegistryKeyHandle key;
    if (OpenRegistryKey(root, path, KEY_READ, key) != ERROR_SUCCESS) return "<no key>";
    std::string text;
    if (QueryStringValue(key.Get(), name, text) == ERROR_SUCCESS) return text;
    DWORD value = 0;
    if (QueryDwordValue(key.Get(), name, value) == ERROR_SUCCESS) return std::to_string(value);
    return "<missing>";
  }

  bool KeyExists(HKEY root, const std::string& path) {
    TRegistryKeyHandle key;
    return OpenRegistryKey(root, path, KEY_READ, key) == ERROR_SUCCESS;
  }

  TestFolder folder_;
  TRecordingUI ui_;
  std::string logPath_;
  std::string scratch_;
  TRegistryKeyHandle machine_;
  TRegistryKeyHandle user_;
  bool redirected_ = false;
};

#include "tools/ilds/ArchiveWriter.h"

struct TArchiveEntry {
  std::string name;
  std::string data;
};

// Writes an ILDS archive holding the given entries.
inline void MakeArchive(const std::string& path, const std::vector<TArchiveEntry>& entries) {
  ForceDirectories(ExtractFilePath(path));
  ilds::TArchiveWriter writer;
  ASSERT_TRUE(writer.Create(path, ilds::TPackOptions{})) << writer.Error();
  for (const TArchiveEntry& entry : entries) ASSERT_TRUE(writer.AddBytes(entry.name, entry.data)) << entry.name;
  ASSERT_TRUE(writer.Close()) << writer.Error();
}
