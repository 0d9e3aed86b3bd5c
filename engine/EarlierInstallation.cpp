#include "engine/EarlierInstallation.h"

#include "base/FileSystemUnit.h"
#include "engine/ComponentFlags.h"
#include "engine/RealInstallMachine.h"
#include "engine/RunRecovery.h"
#include "engine/SetupState.h"
#include "serverconfig/DatabaseLibrary.h"
#include "serverconfig/ServerStore.h"
#include "system/AdvancedRegistry.h"

namespace {

// The suite's own key; the inspection re-points it for two single reads and back.
constexpr char kSuiteArea[] = "\\Software\\Quenfor";
constexpr char kSuiteSection[] = "Zarel Mail Server";

TAdvancedRegistry& PathRegistry() {
  static TAdvancedRegistry registry(TRegistryKey::hkLOCAL_MACHINE, "\\Software", "Zarel");
  return registry;
}

std::string DefaultFolder() {
  PathRegistry().SetRegistryArea("\\Software\\Microsoft\\Windows");
  PathRegistry().SetRegistrySection("CurrentVersion");
  const std::string programFiles = PathRegistry().ReadString("ProgramFilesDir");
  PointAtSuiteKey();
  return DefaultDestination(programFiles);
}

// The earlier installation's folder with its settings loaded; empty when there is none.
std::string LoadEarlierInstallation(TSetupState& state) {
  try {
    const std::string installDir = PathRegistry().ReadString("InstallDir");
    if (installDir.empty()) return installDir;
    state.InstallDir = installDir;
    SetServerFolder(installDir);
    state.ConfigDir = installDir + "config\\";
    InitServerFoldersAt(installDir);
    SetConfigFolder(state.ConfigDir);
    LoadServerSettings(false, false);
    // Loading may open the account database; its files must not stay open meanwhile.
    CloseAccountDatabase();
    state.OlderThan534 = IsOlderThan534(state.InstalledVersion);
    return installDir;
  } catch (...) {
    return std::string();
  }
}

// The older web mail product, which an installation of ours replaces.
void CheckOlderWebMail(TSetupState& state) {
  try {
    PathRegistry().SetRegistryArea(kSuiteArea);
    PathRegistry().SetRegistrySection("Quenfor Web Mail");
    const std::string webMailVersion = PathRegistry().ReadString("Version");
    const std::string webMailFolder = PathRegistry().ReadString("InstallDir");
    state.WebMailOutdated =
        IsWebMailOutdated(webMailVersion, webMailFolder, [](const std::string& f) { return DirectoryExists(f); });
  } catch (...) {
  }
  PointAtSuiteKey();
}

}  // namespace

void PointAtSuiteKey() {
  PathRegistry().SetRegistryArea(kSuiteArea);
  PathRegistry().SetRegistrySection(kSuiteSection);
}

TStartupFacts InspectEarlierInstallation() {
  TSetupState& state = SetupState();
  // The installed version, for the downgrade question and the upgrade commands.
  state.InstalledVersion = PathRegistry().ReadString("Version").substr(0, 255);
  // A run that stopped before its end left a journal: its version is the installed one for
  // everything that follows, and what it changed for its own time is put back.
  TStartupFacts facts;
  facts.Recovery = RecoverStoppedRun(RealInstallMachine(), state);
  // The components an earlier installation left out.
  try {
    ReadNoInstallFlags(PathRegistry(), state);
  } catch (...) {
  }
  facts.OfferedFolder = LoadEarlierInstallation(state);
  facts.EarlierInstallation = !facts.OfferedFolder.empty();
  if (!facts.EarlierInstallation)
    facts.OfferedFolder = state.UnfinishedInstallation.empty() ? DefaultFolder() : state.UnfinishedInstallation;
  CheckOlderWebMail(state);
  return facts;
}
