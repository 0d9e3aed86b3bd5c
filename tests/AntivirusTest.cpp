// The antivirus engine's installation, update and removal through the stand-ins of its
// setup library and installer; the stand-in library records every call in a log.
#include "tests/EngineTestSupport.h"

#include "engine/FilePlacementUnit.h"
#include "engine/ExitCodes.h"
#include "texts/TextTable.h"
#include "system/AntivirusUnit.h"

namespace {

class AntivirusTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    install_ = folder_ / "Zarel\\";
    extraction_ = folder_ / "extract\\";
    dist_ = folder_ / "dist\\";
    ForceDirectories(install_);
    ForceDirectories(extraction_);
    SetupState().InstallDir = install_;
    PlacementFolders() = TPlacementFolders{extraction_, dist_, "setup.exe", folder_ / "windows\\", folder_ / "system\\"};
    calls_ = folder_ / "setiface-calls.log";
    SetEnvironmentVariableA("ZAREL_SETIFACE_LOG", calls_.c_str());
    SetEnvironmentVariableA("ZAREL_SETIFACE_FAIL", nullptr);
    MakeArchive(dist_ + "SetupAV.Dat", {{"setiface.dll", ReadText(ZAREL_SETIFACE_DLL)},
                                        {"avastoem.exe", ReadText(ZAREL_AVASTOEM_EXE)}});
  }
  void TearDown() override {
    UnloadEngineSetup();
    SetEnvironmentVariableA("ZAREL_SETIFACE_LOG", nullptr);
    SetEnvironmentVariableA("ZAREL_SETIFACE_FAIL", nullptr);
    PlacementFolders() = TPlacementFolders{};
    EngineTest::TearDown();
  }

  // The entries called, one per line, without their results.
  std::vector<std::string> Calls() {
    std::vector<std::string> calls;
    const std::string text = ReadText(calls_);
    std::size_t from = 0;
    while (from < text.size()) {
      const std::size_t end = text.find("\r\n", from);
      calls.push_back(text.substr(from, end - from));
      if (end == std::string::npos) break;
      from = end + 2;
    }
    return calls;
  }
  std::string InstallCall() const {
    return "setifaceInstallProgram(\"Quenfor\", \"" + extraction_ + "avast\\avastoem.exe\", \"" + install_ +
           "avast\", \"/minicore /noreboot /forceinstall\", 2) -> 0 status 0x20000000";
  }
  const std::string kUpdateCall = "setifaceUpdateFiles(\"Quenfor\", \"/overwrite\", 2) -> 0 status 0x20000000";

  void Place() {
    try {
      RunOrEnd("PlaceAntivirusEngine", PlaceAntivirusEngine);
    } catch (const TProgramEnded&) {
      ADD_FAILURE() << "ended the program";
    }
  }

  std::string install_, extraction_, dist_, calls_;
};

TEST_F(AntivirusTest, FirstInstallationRunsTheInstallerThenUpdates) {
  Place();
  EXPECT_EQ(Calls(), (std::vector<std::string>{InstallCall(), kUpdateCall}));
  EXPECT_TRUE(FileExists(install_ + "avast\\setup\\setiface.dll"));
  EXPECT_FALSE(DirectoryExists(extraction_ + "avast\\"));
  EXPECT_EQ(ui_.statuses, std::vector<std::string>{cInstallingAV});
  const std::string log = Log();
  EXPECT_TRUE(Contains(log, "Antivirus engine: installation into " + install_ + "avast\\ succeeded (returned 0, status 0x20000000)"));
  EXPECT_TRUE(Contains(log, "Antivirus engine: file update succeeded"));
}

TEST_F(AntivirusTest, OverAnInstalledEngineOnlyTheFilesAreUpdated) {
  Place();
  DeleteFileA(calls_.c_str());
  WriteText(install_ + "avast\\engine-data.bin", "definitions");
  SetupState().OlderThan534 = false;
  Place();
  EXPECT_EQ(Calls(), (std::vector<std::string>{kUpdateCall}));
  EXPECT_EQ(ReadText(install_ + "avast\\engine-data.bin"), "definitions");
}

TEST_F(AntivirusTest, UpgradeFromBefore534RemovesTheOldEngineFirst) {
  Place();
  DeleteFileA(calls_.c_str());
  WriteText(install_ + "avast\\old-engine.bin", "5.3.3");
  SetupState().OlderThan534 = true;
  Place();
  EXPECT_EQ(Calls(), (std::vector<std::string>{InstallCall(), kUpdateCall}));
  EXPECT_FALSE(FileExists(install_ + "avast\\old-engine.bin"));
  EXPECT_TRUE(FileExists(install_ + "avast\\setup\\setiface.dll"));
}

TEST_F(AntivirusTest, LeftOutComponentNeverOpensTheArchive) {
  // Damaged: opening it would end the setup with a box.
  WriteText(dist_ + "SetupAV.Dat", "ILDS\xff\xff\xff\x7f");
  SetupState().NoInstallAV = true;
  Place();
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_FALSE(FileExists(calls_));
  EXPECT_FALSE(DirectoryExists(install_ + "avast\\"));
  EXPECT_TRUE(ui_.statuses.empty());
}

TEST_F(AntivirusTest, DamagedArchiveEndsTheProgramAndFailingInstallerIsSilent) {
  SetEnvironmentVariableA("ZAREL_SETIFACE_FAIL", "InstallProgram");
  Place();
  EXPECT_TRUE(ui_.boxes.empty());
  // No engine was installed, so there is no library to update it with.
  EXPECT_EQ(Calls().size(), 1u);
  EXPECT_TRUE(Contains(Log(), "Antivirus engine: installation into " + install_ + "avast\\ failed (returned 1, status 0x40000000)"));
  EXPECT_TRUE(Contains(Log(), "Antivirus engine setup library not loaded from " + install_ + "avast\\setup"));

  WriteText(dist_ + "SetupAV.Dat", "ILDS\xff\xff\xff\x7f");
  int endCode = -1;
  try {
    RunOrEnd("PlaceAntivirusEngine", PlaceAntivirusEngine);
  } catch (const TProgramEnded& ended) {
    endCode = ended.code;
  }
  EXPECT_EQ(endCode, kExitFatalError);
  ASSERT_EQ(ui_.boxes.size(), 1u);
  EXPECT_EQ(ui_.boxes[0].caption, cError);
  // The box names the archive that failed.
  EXPECT_EQ(ui_.boxes[0].text, std::string(cErrorDataFile) + "\r\n\r\n" + dist_ + "SetupAV.Dat");
}

TEST_F(AntivirusTest, LibraryCallsNeedALoadedLibrary) {
  EXPECT_FALSE(InstallEngine(install_ + "avast\\"));
  EXPECT_FALSE(UpdateEngineFiles());
  EXPECT_FALSE(UninstallEngine());
  EXPECT_FALSE(LoadEngineSetup(folder_ / "nowhere"));
  EXPECT_NE(LastEngineCall().LoadError, static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_FALSE(FileExists(calls_));

  Place();
  DeleteFileA(calls_.c_str());
  ASSERT_TRUE(LoadEngineSetup(install_ + "avast\\setup"));
  EXPECT_EQ(EngineSetupFolder(), install_ + "avast\\setup\\");
  // Already installed there: the installer is not called.
  EXPECT_FALSE(InstallEngine(install_ + "avast\\"));
  EXPECT_TRUE(UninstallEngine());
  UnloadEngineSetup();
  EXPECT_FALSE(EngineSetupLoaded());
  EXPECT_EQ(Calls(), (std::vector<std::string>{"setifaceUninstallProgram(\"Quenfor\", (null), 2) -> 0 status 0x20000000"}));
}

}  // namespace
