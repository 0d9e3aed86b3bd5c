#include <windows.h>

#include "engine/FilePlacementUnit.h"

#include <cstdio>
#include <vector>

#include "archive/ArchiveUnit.h"
#include "engine/EngineSupport.h"
#include "engine/FailureUnit.h"
#include "base/FileSystemUnit.h"
#include "base/StringUnit.h"
#include "engine/InstallLog.h"
#include "engine/InstallUI.h"
#include "engine/TemplateUnit.h"
#include "engine/SetupState.h"
#include "serverconfig/StoreFolders.h"
#include "base/TextFormat.h"
#include "texts/TextTable.h"
#include "system/AntivirusUnit.h"
#include "system/FolderSecurity.h"
#include "system/OdbcUnit.h"

namespace {

// Files of an older layout that lived in the top folder and belong in config\ now.
const char* const kOldTopLevelConfigFiles[] = {"cert.pem", "cert.dat", "default.ini", "db.ini"};
const char* const kMainTrees[] = {"help\\", "modules\\", "html\\", "wizards\\"};
const char* const kLateTrees[] = {"api\\", "tutorial\\", "examples\\", "xml\\"};
constexpr int kReplacedRuleGroups = 6;  // rules files 1* to 6* are the shipped ones

std::string InstallDir() { return SetupState().InstallDir; }
std::string Extraction() { return PlacementFolders().ExtractionFolder; }
std::string DistributionFolder() { return CompletedPlacementFolders().SetupFolder; }
std::string WindowsFolder() { return CompletedPlacementFolders().WindowsFolder; }

bool DataFileHere(const std::string& name) { return FileExists(DistributionFolder() + name); }

void LogFolderSecurity(const std::string& folder, const TFolderSecurityResult& result) {
  std::string text = DescribeFolderSecurity(folder, result);
  if (result.Error != ERROR_SUCCESS) text += "\r\n" + SystemErrorText(result.Error);
  InstallLog(text);
}

// Passwords, mail, the directory's database and configuration (whose shipped slapd.conf takes
// the directory manager's password), the servers' logs and their working files: closed to all
// but SYSTEM and Administrators.
const char* const kPrivateFolders[] = {"config", "mail", "ldap", "logs", "temp"};

void FailOnFolder(const std::string& folder, const std::string& why, DWORD error) {
  InstallLog("Installation folder refused: " + folder + ": " + why);
  Fail("Checking the installation folder " + folder, FormatText(cFolderRefused, {folder, why}), error);
}

void FailWhenNotRepaired(const std::string& folder, const TFolderSecurityResult& result) {
  LogFolderSecurity(folder, result);
  if (result.State == TFolderSecurityState::Failed)
    FailOnFolder(folder,
                 result.Findings.empty() ? std::string("its entries could not be repaired") : result.Findings.front(),
                 result.Error);
}

// The servers run as LocalSystem from this folder and the setup loads libraries from it: it
// gets a list of its own instead of whatever its parent passes on, and one found open to
// other accounts is repaired. In an earlier installation nothing is followed, and what anyone
// could have planted while its lists were open goes before any list is passed on. An existing
// folder that is not an earlier installation was empty when it was checked; once its list keeps
// others out, it must still be.
void CreateInstallationFolder() {
  const std::string folder = InstallDir();
  const bool existed = DirectoryExists(folder);
  // A first installation a stopped run began here counts as ours as well.
  const bool earlier = FileExists(folder + "config\\" + kSettingsFileName) ||
                       (!SetupState().UnfinishedInstallation.empty() &&
                        SameText(NormalizePath(SetupState().UnfinishedInstallation, true, false), folder));
  if (earlier) FailWhenNotRepaired(folder, RemovePlantedEntries(folder));
  const TFolderSecurityResult result = SecureFolder(folder, TFolderAccess::Programs);
  if (DirectoryExists(folder)) {
    LogFolderSecurity(folder, result);
    if (earlier) {
      const std::vector<std::string> closed(std::begin(kPrivateFolders), std::end(kPrivateFolders));
      FailWhenNotRepaired(folder, ResetInstallationEntries(folder, closed));
    } else if (existed) {
      const std::vector<TDirEntry> entries = ListDirectory(folder, "*");
      if (!entries.empty())
        FailOnFolder(folder, "something was put into it after it was checked: " + entries.front().name, 0);
    }
    return;
  }
  const DWORD error = result.Error;
  InstallLog("Installation folder not created: " + folder + ": " + SystemErrorText(error));
  Fail("Creating the installation folder " + folder, cErrorDir + SystemErrorText(error) + "\r\n" + folder, error);
}

void CreatePrivateFolder(const std::string& folder) {
  LogFolderSecurity(folder, SecureFolder(folder, TFolderAccess::Private));
}

void CopyIfPresent(const std::string& name, const std::string& source, const std::string& target) {
  if (FileExists(source + name)) CopyFileToFolder(name, source, target, true);
}

// Copies source + name only when target + name is missing (the user's copy is kept).
void CopyWhenMissing(const std::string& name, const std::string& source, const std::string& target,
                     bool fatal) {
  if (FileExists(target + name)) {
    InstallLog("Kept (protected): " + target + name);
    return;
  }
  CopyFileToFolder(name, source, target, fatal);
}

void MoveOldConfigFiles() {
  const std::string config = InstallDir() + "config\\";
  for (const char* name : kOldTopLevelConfigFiles) {
    const std::string old = InstallDir() + name;
    if (!FileExists(old)) continue;
    if (MoveFileA(old.c_str(), (config + name).c_str()))
      InstallLog("File moved: " + old + " -> " + config + name);
    else
      InstallLog("File not moved: " + old + " -> " + config + name + ": " +
                 SystemErrorText(GetLastError()));
  }
}

void EnsureDataSource(const std::string& name, const std::string& database) {
  if (DataSourceExists(name)) {
    InstallLog("ODBC data source " + name + " exists: left as it is");
    return;
  }
  const TDataSourceResult result = CreateAccessDataSource(name, database);
  if (result.DriverName.empty())
    InstallLog("ODBC data source " + name + " not created: no Microsoft Access driver installed");
  else if (!result.Created())
    InstallLog("ODBC data source " + name + " not fully written: " + result.Write.message);
  else
    InstallLog("ODBC data source " + name + " created: " + database + " (" + result.DriverName + ")");
}

// The shipped rules files are named 1* to 6*; anything else in rules\ is the user's.
void RefreshSpamRules() {
  const std::string rules = InstallDir() + "spam\\rules\\";
  if (!DirectoryExists(rules)) return;
  for (int group = 1; group <= kReplacedRuleGroups; ++group) {
    for (const TDirEntry& entry : ListDirectory(rules, std::to_string(group) + "*.*"))
      if (!entry.isDirectory) DeleteLoggedFile(rules + entry.name);
  }
  if (RemoveDirectoryA(NormalizePath(rules, false, false).c_str())) InstallLog("Folder removed: " + rules);
  if (FileExists(Extraction() + "spam\\rules\\local.cf")) {
    DeleteFileA((Extraction() + "spam\\rules\\local.cf").c_str());
    InstallLog("Kept (protected): " + rules + "local.cf");
  }
}

void PlaceSpamTrees() {
  const std::string spam = InstallDir() + "spam\\";
  if (DirectoryExists(spam))
    InstallLog("Kept (protected): " + spam + " exists, only its rules are refreshed");
  else
    CopyTree("spam\\");
  CopyWhenMissing("Challenge.mdb", Extraction() + "spam\\", spam, true);
  EnsureDataSource(kSpamChallengeDataSource, spam + "Challenge.mdb");
  RefreshSpamRules();
  CopyTree("spam\\rules\\");
}

void PlaceCalendarTrees() {
  const std::string calendar = InstallDir() + "calendar\\";
  if (DirectoryExists(calendar)) {
    InstallLog("Kept (protected): " + calendar + " exists, only Calendar.xml, holidays\\ and doc\\ are refreshed");
    CopyFileToFolder("Calendar.xml", Extraction() + "calendar\\", calendar, false);
    CopyTree("calendar\\holidays\\");
    CopyTree("calendar\\doc\\");
  } else {
    CopyTree("calendar\\");
  }
  CopyWhenMissing("Calendar.mdb", Extraction() + "calendar\\", calendar, true);
  EnsureDataSource(kCalendarDataSource, calendar + "Calendar.mdb");
}

void LogEngineCall(const std::string& what, bool succeeded) {
  const TEngineCallState& call = LastEngineCall();
  char detail[96];
  if (call.Called)
    std::snprintf(detail, sizeof detail, " (returned %ld, status 0x%08lx)", static_cast<long>(call.ReturnValue),
                  static_cast<unsigned long>(call.Status));
  else
    detail[0] = '\0';
  InstallLog("Antivirus engine: " + what + (succeeded ? " succeeded" : " failed") + detail);
}

void LoadEngineLogged(const std::string& folder) {
  if (LoadEngineSetup(folder))
    InstallLog("Antivirus engine setup library loaded from " + EngineSetupFolder());
  else
    InstallLog("Antivirus engine setup library not loaded from " + folder + ": " +
               SystemErrorText(LastEngineCall().LoadError));
}

void CopySetupProgram() {
  const TPlacementFolders folders = CompletedPlacementFolders();
  CopyFileToFolder(folders.SetupProgram, folders.SetupFolder, InstallDir(), true);
}

void PlacePhp() {
  if (!DataFileHere("SetupPHP.Dat")) return;
  const std::string php = InstallDir() + "php\\";
  ExtractOrFail(DistributionFolder() + "SetupPHP.Dat", php, true);
  ExpandTemplate(php + "wmi.ini", WindowsFolder());
  DeleteLoggedFile(php + "wmi.ini");
}

void PlaceWebMail() {
  if (SetupState().NoInstallWebMail) {
    InstallLog("Web mail left out (component not chosen)");
    return;
  }
  SetupState().WebMailInstalled = true;
  CurrentUI().SetStatus(cInstallingWeb);
  WriteWholeFile("", InstallDir() + "control.exe.local", false);
  InstallLog("File written: " + InstallDir() + "control.exe.local");

  const std::string unpacked = Extraction() + "webmail\\";
  ExtractOrFail(DistributionFolder() + "SetupWeb.Dat", unpacked, true);

  const std::string config = InstallDir() + "webmail\\config\\";
  if (FileExists(config + "settings.dat"))
    InstallLog("Kept (protected): " + config + "settings.dat");
  else
    ExpandTemplate("webmail\\settings.dat", config);
  DeleteFileA((unpacked + "settings.dat").c_str());

  if (FileExists(config + "users.dat")) {
    InstallLog("Kept (protected): " + config + "users.dat");
  } else {
    EnsureFolder(config);
    CopyFileToFolder("users.dat", unpacked + "config\\", config, true);
  }
  DeleteFileA((unpacked + "config\\users.dat").c_str());

  CopyFolderTree(unpacked + "html\\", InstallDir() + "html\\mail\\");
  RemoveFolderTree(unpacked + "html\\");
  DeleteLoggedTree(InstallDir() + "webmail\\projects\\");
  CopyTree("webmail\\");
  RemoveFolderTree(unpacked);
}

}  // namespace

void PlaceAntivirusEngine() {
  const std::string archive = DistributionFolder() + "SetupAV.Dat";
  if (SetupState().NoInstallAV) {
    InstallLog("Antivirus engine left out (component not chosen)");
    return;
  }
  if (!FileExists(archive)) return;
  CurrentUI().SetStatus(cInstallingAV);
  const std::string unpacked = Extraction() + "avast\\";
  ExtractOrFail(archive, unpacked, true);
  const std::string engine = InstallDir() + "avast\\";
  if (SetupState().OlderThan534 && DirectoryExists(engine)) DeleteLoggedTree(engine);

  LoadEngineLogged(unpacked);
  if (EngineSetupLoaded()) {
    if (FileExists(engine + "setup\\" + kEngineSetupLibrary))
      InstallLog("Antivirus engine already installed in " + engine + ": installer not run");
    else
      LogEngineCall("installation into " + engine, InstallEngine(engine));
  }
  UnloadEngineSetup();

  LoadEngineLogged(engine + "setup");
  if (EngineSetupLoaded()) LogEngineCall("file update", UpdateEngineFiles());
  UnloadEngineSetup();
  DeleteLoggedTree(unpacked);
}

TPlacementFolders& PlacementFolders() {
  static TPlacementFolders folders;
  return folders;
}

std::string RunningProgramName() {
  char path[MAX_PATH + 1] = {};
  return ExtractFileName(std::string(path, GetModuleFileNameA(nullptr, path, MAX_PATH)));
}

TPlacementFolders CompletedPlacementFolders() {
  TPlacementFolders folders = PlacementFolders();
  if (folders.SetupFolder.empty()) folders.SetupFolder = SetupFolder();
  if (folders.SetupProgram.empty()) folders.SetupProgram = RunningProgramName();
  if (folders.WindowsFolder.empty()) folders.WindowsFolder = GetSpecialFolder(SpecialFolder::Windows, false);
  if (folders.SystemFolder.empty()) folders.SystemFolder = SetupState().SystemDir;
  if (folders.SystemFolder.empty()) folders.SystemFolder = GetSpecialFolder(SpecialFolder::System, false);
  return folders;
}

bool CopyFileToFolder(const std::string& name, const std::string& sourceFolder,
                      const std::string& targetFolder, bool fatal) {
  const std::string source = sourceFolder + name;
  const std::string target = targetFolder + name;
  CurrentUI().SetStatus(cCopying + target + "...");
  // A confirmed Cancel takes effect between files, not after the last one.
  StopIfCancelled("Copying " + target);
  // Run from the installation folder (an upgrade or repair started there), the setup
  // program, readme.txt and releasenotes.txt would be copied onto themselves, which the
  // system refuses: they are in place already.
  if (IsSameFile(source, target)) {
    InstallLog("File in place, not copied onto itself: " + target);
    return true;
  }
  ClearFileAttributes(target);
  if (CopyFileA(source.c_str(), target.c_str(), FALSE)) {
    InstallLog("File copied: " + source + " -> " + target);
    return true;
  }
  const DWORD error = GetLastError();
  InstallLog("File not copied: " + source + " -> " + target + ": " + SystemErrorText(error));
  if (fatal) Fail("Copying " + source, FormatText(cErrorFile, {SystemErrorText(error), target}), error);
  return false;
}

void CopyFolderTree(const std::string& sourceFolder, const std::string& targetFolder) {
  const std::vector<TDirEntry> entries = ListDirectory(sourceFolder, "*");
  for (const TDirEntry& entry : entries) {
    if (entry.isDirectory) continue;
    EnsureFolderOrFail(targetFolder);
    CopyFileToFolder(entry.name, sourceFolder, targetFolder, true);
  }
  // A folder link is not entered: what the archives unpacked holds none, and one put there
  // would bring in files from elsewhere or lead round in a circle.
  for (const TDirEntry& entry : entries)
    if (entry.isDirectory && !entry.isLink)
      CopyFolderTree(sourceFolder + entry.name + "\\", targetFolder + entry.name + "\\");
}

namespace {

// A file that stands where the folder or one of its parents must be: creating the folder over it
// fails with a reason that depends on how far the creation got ("path not found" under Wine).
bool FileStandsInTheWay(std::string folder) {
  folder = NormalizePath(folder, false, false);
  while (folder.size() > 3) {
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
    folder = NormalizePath(ExtractFilePath(folder), false, false);
  }
  return false;
}

}  // namespace

void EnsureFolderOrFail(const std::string& folder) {
  if (EnsureFolder(folder)) return;
  const DWORD lastError = GetLastError();
  const DWORD error = FileStandsInTheWay(folder) ? ERROR_ALREADY_EXISTS : lastError;
  Fail("Creating the folder " + folder, cErrorDir + SystemErrorText(error) + "\r\n" + folder, error);
}

void ExtractOrFail(const std::string& archive, const std::string& destination, bool overwrite,
                   const std::string& keepList) {
  StopIfCancelled("Extracting " + archive);
  TArchiveReport report;
  const bool extracted = ExtractArchive(archive, destination, overwrite, keepList, &report);
  InstallLog((extracted ? "Archive extracted: " : "Archive not (fully) extracted: ") + archive + " -> " + destination);
  if (extracted) return;
  // The archives were read through before anything changed: what fails now is the disk, or a
  // file that changed since.
  if (report.Fault == TArchiveFault::TargetNotWritten) {
    const std::string target = report.Target.empty() ? destination : report.Target;
    InstallLog("Not written: " + target + ": " + SystemErrorText(report.SystemError));
    Fail("Extracting " + archive, FormatText(cErrorFile, {SystemErrorText(report.SystemError), target}),
         report.SystemError);
  }
  Fail("Extracting " + archive,
       std::string(cErrorDataFile) + "\r\n\r\n" + archive + (report.Entry.empty() ? "" : ": " + report.Entry),
       report.SystemError);
}

void CopyTree(const std::string& relative) {
  CopyFolderTree(Extraction() + relative, InstallDir() + relative);
}

void ExpandTemplate(const std::string& templatePath, const std::string& targetFolder) {
  EnsureFolder(targetFolder);
  // The PHP cache lies under the installation folder's list: in the Windows temporary folder
  // any local user could plant cached scripts for the web server to run.
  const std::string tempPath = InstallDir() + "temp\\";
  EnsureFolder(tempPath + "mmcache\\");
  const std::string input = IsAbsolutePath(templatePath) ? templatePath : Extraction() + templatePath;
  const std::string output = targetFolder + ExtractFileName(templatePath);
  switch (ExpandTemplateFile(input, output, InstallDir(), tempPath)) {
    case TTemplateResult::Written:
      InstallLog("File written from template: " + input + " -> " + output);
      break;
    case TTemplateResult::InputUnreadable:
      InstallLog("Template not read: " + input + ": " + SystemErrorText(GetLastError()));
      break;
    case TTemplateResult::OutputNotCreated:
      InstallLog("File not created from template: " + output + ": " + SystemErrorText(GetLastError()));
      break;
  }
}

void PlaceFiles() {
  const TPlacementFolders folders = CompletedPlacementFolders();
  const std::string install = InstallDir();
  const std::string extraction = Extraction();
  InstallLog("Placing files: installation folder " + install + ", extraction folder " + extraction +
             ", setup folder " + folders.SetupFolder);
  CreateInstallationFolder();
  for (const char* name : kPrivateFolders) CreatePrivateFolder(install + name + "\\");
  EnsureFolder(install + "xml\\");
  CopyFileToFolder("info.xml", folders.SetupFolder, install + "xml\\", false);

  for (const char* file : kCoreFiles) CopyFileToFolder(file, extraction, install, true);
  CopyFileToFolder("quenforcom.dll", extraction, install, false);
  CopyIfPresent("im.exe", extraction, install);
  CopyIfPresent("cal.exe", extraction, install);

  MoveOldConfigFiles();
  CopyWhenMissing("cert.pem", extraction, install + "config\\", false);

  for (const char* tree : kMainTrees) CopyTree(tree);
  PlaceSpamTrees();
  PlaceCalendarTrees();
  for (const char* tree : kLateTrees) CopyTree(tree);
  PlaceAntivirusEngine();

  CopyFileToFolder("readme.txt", folders.SetupFolder, install, true);
  CopyFileToFolder("releasenotes.txt", folders.SetupFolder, install, true);
  if (FileExists(install + "config\\webserver.cfg"))
    InstallLog("Kept (protected): " + install + "config\\webserver.cfg");
  else
    ExpandTemplate(extraction + "webserver.cfg", install + "config\\");
  CopySetupProgram();
  CopyFileToFolder("Zarel.CPL", extraction, folders.SystemFolder, false);

  if (DataFileHere("Tutorial.Dat"))
    ExtractOrFail(folders.SetupFolder + "Tutorial.Dat", install + "tutorial\\", true);
  if (DataFileHere("SetupLDAP.Dat"))
    ExtractOrFail(folders.SetupFolder + "SetupLDAP.Dat", install + "ldap\\", false, kLdapKeepList);
  PlacePhp();
  PlaceWebMail();
  if (DataFileHere("Other.dat")) ExtractOrFail(folders.SetupFolder + "Other.dat", install, true);
  InstallLog("Placing files done");
}
