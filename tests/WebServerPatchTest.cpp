// The web-server configuration patch: the text rules in a table, then the file cases.
#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include "base/FileSystemUnit.h"
#include "engine/InstallLog.h"
#include "engine/WebServerPatch.h"
#include "engine/SetupState.h"
#include "tests/TestFolder.h"

namespace {

const std::string F = "=modules\\wcs.dll|[wcs]\r\n";
const std::string V = "/wcs/=[wcs]\r\n";

struct PatchCase {
  const char* name;
  std::string before;
  std::string after;
};

TEST(WebServerPatchTest, TextRules) {
  const PatchCase cases[] = {
      {"patched before: no new entries, old library still replaced",
       "[Filter]\r\n=modules\\wcs.dll|[wcs]\r\nx=webmail\\web.dll\r\ny=webmail\\web.dll\r\n",
       "[Filter]\r\n=modules\\wcs.dll|[wcs]\r\nx=php\\php.dll\r\ny=php\\php.dll\r\n"},
      {"lower-case header found; entry ends its section",
       "[filter]\r\na=1\r\n\r\n[Other]\r\no=1\r\n",
       "[filter]\r\na=1\r\n" + F + "\r\n[Other]\r\no=1\r\n\r\n[Virtual-Host]\r\n" + V},
      {"both sections: filter last, virtual host first",
       "[Filter]\r\nf=1\r\n\r\n[Virtual-Host]\r\nv=1\r\nw=2\r\n",
       "[Filter]\r\nf=1\r\n" + F + "\r\n[Virtual-Host]\r\n" + V + "v=1\r\nw=2\r\n"},
      {"neither section: trimmed text, then both",
       "  \r\n[Paths]\r\nroot=x\r\n\r\n\r\n",
       "[Paths]\r\nroot=x\r\n\r\n[Filter]\r\n" + F + "\r\n[Virtual-Host]\r\n" + V},
      {"empty file", "", "[Filter]\r\n" + F + "\r\n[Virtual-Host]\r\n" + V},
      {"filter section last without an empty line after it",
       "[Virtual-Host]\r\nv=1\r\n\r\n[Filter]\r\nf=1",
       "[Virtual-Host]\r\n" + V + "v=1\r\n\r\n[Filter]\r\nf=1\r\n" + F},
      {"virtual-host header is the last line, without line end",
       "[Filter]\r\nf=1\r\n\r\n[Virtual-Host]",
       "[Filter]\r\nf=1\r\n" + F + "\r\n[Virtual-Host]\r\n" + V},
      {"empty filter section", "[Filter]\r\n\r\n[Virtual-Host]\r\n",
       "[Filter]\r\n" + F + "\r\n[Virtual-Host]\r\n" + V},
      {"searches for the module and the old library are case-sensitive",
       "[Filter]\r\nx=WCS.DLL\r\ny=WEBMAIL\\WEB.DLL\r\n\r\n[Virtual-Host]\r\n",
       "[Filter]\r\nx=WCS.DLL\r\ny=WEBMAIL\\WEB.DLL\r\n" + F + "\r\n[Virtual-Host]\r\n" + V},
  };
  for (const PatchCase& c : cases) EXPECT_EQ(PatchWebServerText(c.before), c.after) << c.name;
  // Patching twice changes nothing more.
  for (const PatchCase& c : cases) EXPECT_EQ(PatchWebServerText(c.after), c.after) << c.name;
}

class WebServerPatchFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSetupState();
    SetupState().InstallDir = folder_.path();
    config_ = folder_ / "config\\webserver.cfg";
    log_ = StartInstallLog(SystemLogHeader(), folder_.path());
  }
  void TearDown() override {
    StopInstallLog();
    ResetSetupState();
  }
  std::string Log() const { return ReadWholeFile(log_, false); }

  TestFolder folder_;
  std::string config_;
  std::string log_;
};

TEST_F(WebServerPatchFileTest, MissingFileIsNotCreated) {
  EXPECT_EQ(PatchWebServerConfig(), TWebPatchResult::Missing);
  EXPECT_FALSE(FileExists(config_));
  EXPECT_FALSE(DirectoryExists(folder_ / "config\\"));
}

TEST_F(WebServerPatchFileTest, PatchReplacesTheFileInOneStep) {
  WriteWholeFile("[Filter]\r\nf=webmail\\web.dll\r\n\r\n", config_, false);
  EXPECT_EQ(PatchWebServerConfig(), TWebPatchResult::Patched);
  EXPECT_EQ(ReadWholeFile(config_, false), "[Filter]\r\nf=php\\php.dll\r\n" + F + "\r\n[Virtual-Host]\r\n" + V);
  EXPECT_FALSE(FileExists(config_ + ".new"));
  EXPECT_NE(Log().find("Web-server configuration " + config_ + " patched"), std::string::npos);
}

TEST_F(WebServerPatchFileTest, UnreadableFileIsLeftAlone) {
  // Something that exists under the name but cannot be read as a file.
  ForceDirectories(config_ + "\\");
  EXPECT_EQ(PatchWebServerConfig(), TWebPatchResult::Unreadable);
  EXPECT_TRUE(DirectoryExists(config_));
  EXPECT_NE(Log().find("cannot be read: left alone, not patched"), std::string::npos);
}

#ifdef _WIN32
TEST_F(WebServerPatchFileTest, FileLockedByAServerIsLeftAlone) {
  WriteWholeFile("[Paths]\r\nx=webmail\\web.dll\r\n", config_, false);
  const HANDLE held = CreateFileA(config_.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(PatchWebServerConfig(), TWebPatchResult::Unreadable);
  CloseHandle(held);
  EXPECT_EQ(ReadWholeFile(config_, false), "[Paths]\r\nx=webmail\\web.dll\r\n");
}
#endif

}  // namespace
