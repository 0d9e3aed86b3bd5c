// The installation folder's check: one table of folders against a made-up machine, then the
// machine's own facts on real folders (a planted file, our settings file, a folder link).
#include <gtest/gtest.h>

#include <map>

#include "engine/DestinationCheck.h"
#include "engine/SetupCore.h"
#include "tests/FolderLink.h"
#include "tests/TestFolder.h"

namespace {

// C: keeps lists, F: is FAT, N: is a network drive. Existing: C:\Program Files\,
// C:\Zarel\ (a previous installation), C:\Planted\ (a library someone put there),
// C:\Empty\, C:\Linked\ (a junction) and C:\Zarel\config\settings.cfg.
TDestinationFacts MadeUpMachine() {
  static const std::map<std::string, TNameFacts> names = {
      {"C:\\Program Files", {true, false, true, 1}},
      {"C:\\Zarel", {true, false, true, 1}},
      {"C:\\Zarel\\config\\settings.cfg", {true, false, false, 1}},
      {"C:\\Planted", {true, false, true, 1}},
      {"C:\\Empty", {true, false, true, 1}},
      {"C:\\Linked", {true, true, true, 1}},
      {"C:\\File", {true, false, false, 1}},
      {"F:\\Mail", {true, false, true, 1}},
  };
  TDestinationFacts facts;
  facts.Inspect = [](const std::string& path) {
    const auto found = names.find(NormalizePath(path, false, false));
    return found == names.end() ? TNameFacts{} : found->second;
  };
  facts.IsNetworkDrive = [](const std::string& drive) { return drive == "N:\\"; };
  facts.KeepsAccessLists = [](const std::string& folder) { return folder.rfind("F:", 0) != 0; };
  facts.List = [](const std::string& folder) {
    if (folder == "C:\\Zarel\\") return std::vector<TDirEntry>{{"config", true}, {"smtp.exe"}};
    if (folder == "C:\\Planted\\") return std::vector<TDirEntry>{{"version.dll"}};
    return std::vector<TDirEntry>{};
  };
  return facts;
}

TEST(DestinationCheck, RefusedFoldersOfAMadeUpMachine) {
  const struct {
    const char* folder;
    const char* refusal;  // part of the reason; empty: accepted
  } rows[] = {
      {"C:\\Program Files\\Zarel\\", ""},           // new, below an existing folder
      {"C:\\Program Files\\New\\Zarel\\", "parent folder C:\\Program Files\\New\\ does not exist"},
      {"C:\\Zarel\\", ""},                          // a previous installation
      {"C:\\Zarel", ""},                            // the same without its separator
      {"C:\\Empty\\", ""},                          // existing but empty
      {"C:\\Planted\\", "no installation of the mail server"},
      {"C:\\", "root folder of a drive"},
      {"D:/", "root folder of a drive"},
      {"\\\\server\\share\\Zarel\\", "network share"},
      {"\\\\server\\share", "network share"},
      {"N:\\Zarel\\", "network drive"},
      {"C:\\Linked\\Zarel\\", "C:\\Linked is a link"},
      {"C:\\Linked\\", "C:\\Linked is a link"},
      {"F:\\Mail\\Zarel\\", "no access lists"},
      {"F:\\Zarel\\", "no access lists"},           // nothing of it exists but the drive
      {"C:\\Zarel\\smtp.exe:stream\\", "alternate data stream"},
      {"C:\\Program Files\\CON\\", "\"CON\" is a device name"},
      {"C:\\nul.txt\\Zarel\\", "\"nul.txt\" is a device name"},
      {"C:\\Zarel\\com1 \\", "device name"},
      {"C:\\CONTROL\\", ""},                         // only the whole name counts
      {"\\\\?\\C:\\Zarel\\", "device path"},
      {"\\\\.\\C:\\Zarel\\", "device path"},
      {"C:\\File\\", "C:\\File\\ is a file"},
  };
  const TDestinationFacts facts = MadeUpMachine();
  for (const auto& row : rows) {
    const std::string problem = DestinationProblem(row.folder, facts);
    if (*row.refusal == '\0')
      EXPECT_EQ(problem, "") << row.folder;
    else
      EXPECT_NE(problem.find(row.refusal), std::string::npos) << row.folder << ": " << problem;
  }
}

// A first installation that a stopped run began holds the setup's own files without config\:
// that folder alone is accepted as ours, and only for what held nothing of ours before.
TEST(DestinationCheck, UnfinishedInstallationOfAStoppedRun) {
  TDestinationFacts facts = MadeUpMachine();
  facts.UnfinishedInstallation = "C:\\Planted";
  EXPECT_EQ(DestinationProblem("C:\\Planted\\", facts), "");
  facts.UnfinishedInstallation = "C:\\Linked\\";
  EXPECT_NE(DestinationProblem("C:\\Linked\\", facts).find("is a link"), std::string::npos);
  facts.UnfinishedInstallation = "C:\\Other\\";
  EXPECT_NE(DestinationProblem("C:\\Planted\\", facts).find("no installation of the mail server"), std::string::npos);
}

// The verdict both faces act on: the wizard shows a box of its kind, the unattended run refuses
// the folder or ends before its first step.
TEST(DestinationCheck, VerdictsSayWhichRuleRefused) {
  const struct {
    const char* folder;
    TFolderVerdictKind kind;
    const char* problem;  // part of it
  } rows[] = {
      {"C:\\Program Files\\Zarel\\", TFolderVerdictKind::Accepted, ""},
      {"C:\\Zarel\\", TFolderVerdictKind::Accepted, ""},
      {"Zarel\\", TFolderVerdictKind::NotAbsolute, ""},
      {"C:\\Zarel\\..\\Planted\\", TFolderVerdictKind::NotAbsolute, ""},
      {"C:\\Program Files\\New\\Zarel\\", TFolderVerdictKind::MissingParent,
       "its parent folder C:\\Program Files\\New\\ does not exist (the setup makes only the installation folder itself)"},
      {"C:\\Planted\\", TFolderVerdictKind::Refused, "no installation of the mail server"},
      {"C:\\", TFolderVerdictKind::Refused, "root folder of a drive"},
      {"C:\\Linked\\Zarel\\", TFolderVerdictKind::Refused, "is a link"},
  };
  const TDestinationFacts facts = MadeUpMachine();
  for (const auto& row : rows) {
    const TFolderVerdict verdict = JudgeFolder(row.folder, facts);
    EXPECT_EQ(verdict.Kind, row.kind) << row.folder << ": " << verdict.Problem;
    EXPECT_EQ(static_cast<bool>(verdict), row.kind == TFolderVerdictKind::Accepted) << row.folder;
    EXPECT_NE(verdict.Problem.find(row.problem), std::string::npos) << row.folder << ": " << verdict.Problem;
    // The parent rule is one: the destination check gives the same words.
    if (row.kind == TFolderVerdictKind::MissingParent) {
      EXPECT_EQ(MissingParentProblem(row.folder, facts), verdict.Problem);
      EXPECT_EQ(DestinationProblem(row.folder, facts), verdict.Problem);
    }
  }
}

// The same rules on this machine's folders: what a person or a script can prepare beforehand.
TEST(DestinationCheck, PreparedFoldersOnThisMachine) {
  TestFolder root;
  const TDestinationFacts facts = MachineDestinationFacts();
  EXPECT_EQ(DestinationProblem(root / "new\\", facts), "");
  EXPECT_NE(DestinationProblem(root / "new\\Zarel\\", facts).find("parent folder"), std::string::npos);
  ForceDirectories(root / "empty\\");
  EXPECT_EQ(DestinationProblem(root / "empty\\", facts), "");

  WriteWholeFile("planted", root / "planted\\version.dll", false);
  EXPECT_NE(DestinationProblem(root / "planted\\", facts).find("no installation"), std::string::npos);
  WriteWholeFile("settings", root / "planted\\config\\settings.cfg", false);
  EXPECT_EQ(DestinationProblem(root / "planted\\", facts), "");

  ForceDirectories(root / "elsewhere\\");
  if (MakeFolderLink(root / "link", root / "elsewhere\\")) {
    EXPECT_NE(DestinationProblem(root / "link\\Zarel\\", facts).find("is a link"), std::string::npos);
    EXPECT_NE(DestinationProblem(root / "link\\", facts).find("is a link"), std::string::npos);
    RemoveFolderLink(root / "link");
  } else {
    ADD_FAILURE() << "no folder link could be made here";
  }
}

}  // namespace
