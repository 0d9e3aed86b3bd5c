#include <windows.h>

#include "engine/UninstallUnit.h"


#include "engine/ComponentTable.h"
#include "engine/EngineSupport.h"
#include "engine/FilePlacementUnit.h"
#include "base/FileSystemUnit.h"
#include "engine/InstallLog.h"
#include "engine/InstallUI.h"
#include "engine/ServiceSteps.h"
#include "engine/SetupQuestions.h"
#include "engine/ShortcutUnit.h"
#include "engine/SetupState.h"
#include "texts/TextTable.h"
#include "system/AntivirusUnit.h"
#include "system/ComRegistration.h"

namespace {

const char* const kComServers[] = {"api.dll", "quenforcom.dll"};

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

void RemoveAntivirusEngine(const std::string& engine) {
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
}

}  // namespace

bool LooksLikeInstallation(const std::string& folder) {
  return FileExists(folder + "smtp.exe") || DirectoryExists(folder + "config\\");
}

std::set<std::string> PresentKeptFiles(const std::string& folder) {
  std::set<std::string> present;
  for (const TComponentRow& component : kComponents)
    for (const char* tree : component.Folders)
      for (const char* kept : component.Kept)
        if (FileExists(folder + tree + kept)) present.insert(std::string(tree) + kept);
  return present;
}

void RemoveComponentFiles(const TComponentRow& component, const std::string& folder, TRemovalOf removal,
                          const std::set<std::string>* customerFiles) {
  if (removal == TRemovalOf::LeftOutComponent || !component.UninstallLeavesProgram)
    for (const char* program : component.Programs) DeleteLoggedFile(folder + program);
  for (const char* tree : component.Folders) {
    std::set<std::string> kept;
    for (const char* name : component.Kept)
      if (customerFiles == nullptr || customerFiles->count(std::string(tree) + name) != 0) kept.insert(name);
    if (component.Removal == TRemovalStep::AntivirusEngine) RemoveAntivirusEngine(folder + tree);
    DeleteLoggedTree(folder + tree, kept);
  }
}

void RemoveInstalledFiles(const std::string& removalFolder) {
  for (const TComponentRow& component : kComponents)
    RemoveComponentFiles(component, removalFolder, TRemovalOf::Uninstall);
}

void UninstallFrom(const std::string& removalFolder) {
  InstallLog("Uninstalling from " + removalFolder);
  RemoveAllServices();
  InstallLog("Services stopped; stopped services removed");
  RemoveStartMenuFolder();
  RemoveUninstallEntry();
  if (LooksLikeInstallation(removalFolder)) {
    UnregisterComServers(removalFolder);
    RemoveInstalledFiles(removalFolder);
  } else {
    InstallLog(removalFolder + " holds no installation (no smtp.exe, no config\\): none of its files deleted");
  }
  std::string systemFolder = SetupState().SystemDir;
  if (systemFolder.empty()) systemFolder = CompletedPlacementFolders().SystemFolder;
  DeleteLoggedFile(systemFolder + "Zarel.CPL");
  Notify(TQuestion::RemovalComplete);
}

void Uninstall() { UninstallFrom(ProgramFolder()); }
