#include "system/AntivirusUnit.h"

#include "base/FileSystemUnit.h"
#include "base/HandleTypes.h"
#include "base/SafeLibrary.h"

namespace {

using TInstallProgram = std::int32_t(WINAPI*)(const char* oem, const char* installer,
                                              const char* target, const char* options,
                                              std::int32_t mode, std::uint32_t* status);
using TUpdateFiles = std::int32_t(WINAPI*)(const char* oem, const char* options, std::int32_t mode,
                                           std::uint32_t* status);
using TUninstallProgram = std::int32_t(WINAPI*)(const char* oem, const char* options,
                                                std::int32_t mode, std::uint32_t* status);
using TAnyEntry = FARPROC;

struct TEngineSetup {
  TLibrary library;
  std::string folder;
  TInstallProgram installProgram = nullptr;
  TAnyEntry updatePackages = nullptr;
  TUpdateFiles updateFiles = nullptr;
  TUninstallProgram uninstallProgram = nullptr;
  TAnyEntry gimmePathToSetifaceVpu = nullptr;
  TAnyEntry getPartVersions = nullptr;
  TAnyEntry checkUpdate = nullptr;
  TEngineCallState last;
};

TEngineSetup& Engine() {
  static TEngineSetup engine;
  return engine;
}

std::string CurrentFolder() {
  char buffer[MAX_PATH + 1] = {};
  const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
  return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
}

// Makes folder current for the life of the object.
class TCurrentFolder {
 public:
  explicit TCurrentFolder(const std::string& folder) : previous_(CurrentFolder()) {
    SetCurrentDirectoryA(folder.c_str());
  }
  ~TCurrentFolder() {
    if (!previous_.empty()) SetCurrentDirectoryA(previous_.c_str());
  }
  TCurrentFolder(const TCurrentFolder&) = delete;
  TCurrentFolder& operator=(const TCurrentFolder&) = delete;

 private:
  std::string previous_;
};

template <typename Entry>
Entry Lookup(const TLibrary& library, const char* name) {
  return LibraryEntry<Entry>(library, name);
}

void RecordCall(std::int32_t returned, std::uint32_t status) {
  TEngineCallState& last = Engine().last;
  last.Called = true;
  last.ReturnValue = returned;
  last.Status = status;
}

}  // namespace

bool LoadEngineSetup(const std::string& folder) {
  TEngineSetup& engine = Engine();
  if (engine.library) return true;
  engine.last = TEngineCallState{};
  const std::string setupFolder =
      NormalizePath(folder.empty() ? ProgramFolder() + "avast\\setup" : folder, true, false);
  {
    const UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    TCurrentFolder current(setupFolder);
    // By full path, its own folder searched first for what it needs, as the engine maker's
    // library expects; the current folder is never searched for a library loaded by name.
    engine.library.Reset(LoadLibraryAt(setupFolder + kEngineSetupLibrary));
    if (!engine.library) engine.last.LoadError = GetLastError();
    SetErrorMode(previousMode);
  }
  if (!engine.library) return false;
  engine.folder = setupFolder;
  engine.installProgram = Lookup<TInstallProgram>(engine.library, "setifaceInstallProgram");
  engine.updatePackages = Lookup<TAnyEntry>(engine.library, "setifaceUpdatePackages");
  engine.updateFiles = Lookup<TUpdateFiles>(engine.library, "setifaceUpdateFiles");
  engine.uninstallProgram = Lookup<TUninstallProgram>(engine.library, "setifaceUninstallProgram");
  engine.gimmePathToSetifaceVpu = Lookup<TAnyEntry>(engine.library, "setifaceGimmePathToSetifaceVpu");
  engine.getPartVersions = Lookup<TAnyEntry>(engine.library, "setifaceGetPartVersions");
  engine.checkUpdate = Lookup<TAnyEntry>(engine.library, "setifaceCheckUpdate");
  return true;
}

void UnloadEngineSetup() {
  TEngineCallState last = Engine().last;
  Engine() = TEngineSetup{};
  Engine().last = last;
}

bool EngineSetupLoaded() { return static_cast<bool>(Engine().library); }

std::string EngineSetupFolder() { return Engine().folder; }

bool InstallEngine(const std::string& target) {
  TEngineSetup& engine = Engine();
  if (!engine.library || engine.installProgram == nullptr) return false;
  const std::string folder = NormalizePath(target, false, false);
  if (FileExists(folder + "\\setup\\" + kEngineSetupLibrary)) return false;
  const std::string installer = engine.folder + kEngineInstaller;
  std::uint32_t status = 0;
  std::int32_t returned;
  {
    TCurrentFolder current(engine.folder);
    returned = engine.installProgram(kEngineOemName, installer.c_str(), folder.c_str(),
                                     kEngineInstallOptions, kEngineSetupMode, &status);
  }
  RecordCall(returned, status);
  return returned == 0;
}

bool UpdateEngineFiles() {
  TEngineSetup& engine = Engine();
  if (!engine.library || engine.updateFiles == nullptr) return false;
  std::uint32_t status = 0;
  const std::int32_t returned =
      engine.updateFiles(kEngineOemName, kEngineUpdateOptions, kEngineSetupMode, &status);
  RecordCall(returned, status);
  return returned == 0 && status == kEngineStatusSuccess;
}

bool UninstallEngine() {
  TEngineSetup& engine = Engine();
  if (!engine.library || engine.uninstallProgram == nullptr) return false;
  std::uint32_t status = 0;
  const std::int32_t returned =
      engine.uninstallProgram(kEngineOemName, nullptr, kEngineSetupMode, &status);
  RecordCall(returned, status);
  return returned == 0 && status == kEngineStatusSuccess;
}

const TEngineCallState& LastEngineCall() { return Engine().last; }
