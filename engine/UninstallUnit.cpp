#include <windows.h>

#include "engine/UninstallUnit.h"

#include <iterator>

#include "engine/EngineSupport.h"
#include "engine/FilePlacementUnit.h"
#include "base/FileSystemUnit.h"
#include "engine/InstallLog.h"
#include "engine/InstallUI.h"
#include "engine/ServiceSteps.h"
#include "engine/ShortcutUnit.h"
#include "engine/SetupState.h"
#include "texts/TextTable.h"
#include "system/AntivirusUnit.h"
#include "system/ComRegistration.h"

namespace {

const char* const kInstalledTrees[] = {"help\\", "wizards\\", "modules\\", "spam\\", "html\\",
                                       "api\\",  "tutorial\\", "examples\\", "xml\\", "php\\"};
const char* const kComServers[] = {"api.dll", "quenforcom.dll"};
// Below spam\: the server's challenge database and the user's own rules file.
const char* const kKeptSpamFiles[] = {"challenge.mdb", "rules\\local.cf"};

void RemoveStartMenuFolder() {
  const std::string folder = StartMenuFolder();
  if (folder.empty()) {
    InstallLog("No Programs folder known for the current user: no shortcuts to remove");
    return;
  }
  if (!DirectoryExists(folder)) return;
  DeleteLinks(folder);
  InstallLog(RemoveDirectoryA(NormalizePath(folder, false, false).c_str())
                 ? "Folder removed: " + folder
                 : "Folder kept (other files remain): " + folder);
}

void UnregisterComServers(const std::string& folder) {
  for (const char* library : kComServers) {
    const std::string path = folder + library;
    if (!FileExists(path)) continue;
    InstallLog("COM unregistration of " + path + (UnregisterComServer(path) ? " succeeded" : " failed"));
  }
}

void DeleteProgramFiles(const std::string& folder) {
  for (const char* file : kCoreFiles) DeleteLoggedFile(folder + file);
  DeleteLoggedFile(folder + "quenforcom.dll");
  DeleteLoggedFile(folder + "cal.exe");
}

void RemoveAntivirusEngine(const std::string& folder) {
  const std::string engine = folder + "avast\\";
  if (!DirectoryExists(engine)) return;
  if (LoadEngineSetup(engine + "setup")) {
    const bool removed = UninstallEngine();
    const TEngineCallState& call = LastEngineCall();
    InstallLog("Antivirus engine uninstall " + std::string(removed ? "succeeded" : "failed") +
               " (returned " + std::to_string(call.ReturnValue) + ", status " + std::to_string(call.Status) + ")");
  } else {
    InstallLog("Antivirus engine setup library not loaded from " + engine + "setup\\: " +
               SystemErrorText(LastEngineCall().LoadError));
  }
  UnloadEngineSetup();
  DeleteLoggedTree(engine);
}

}  // namespace

bool LooksLikeInstallation(const std::string& folder) {
  return FileExists(folder + "smtp.exe") || DirectoryExists(folder + "config\\");
}

void RemoveInstalledTrees(const std::string& removalFolder) {
  for (const char* tree : kInstalledTrees) {
    if (std::string(tree) == "spam\\")
      DeleteLoggedTree(removalFolder + tree, {std::begin(kKeptSpamFiles), std::end(kKeptSpamFiles)});
    else
      DeleteLoggedTree(removalFolder + tree);
  }
  RemoveAntivirusEngine(removalFolder);
}

void UninstallFrom(const std::string& removalFolder) {
  InstallLog("Uninstalling from " + removalFolder);
  RemoveAllServices();
  InstallLog("Services stopped; stopped services removed");
  RemoveStartMenuFolder();
  RemoveUninstallEntry();
  if (LooksLikeInstallation(removalFolder)) {
    UnregisterComServers(removalFolder);
    DeleteProgramFiles(removalFolder);
    RemoveInstalledTrees(removalFolder);
  } else {
    InstallLog(removalFolder + " holds no installation (no smtp.exe, no config\\): none of its files deleted");
  }
  std::string systemFolder = SetupState().SystemDir;
  if (systemFolder.empty()) systemFolder = CompletedPlacementFolders().SystemFolder;
  DeleteLoggedFile(systemFolder + "Zarel.CPL");
  CurrentUI().ShowMessage(cInformation, cCompleteRemove, MessageButtons::Ok, MessageIcon::Information);
}

void Uninstall() { UninstallFrom(ProgramFolder()); }
