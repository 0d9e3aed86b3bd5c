// A TInstallMachine for the engine's native tests: a small model of the machine (files,
// the suite's registry values, services with start types, running servers, the store, what
// the servers and the demonstration mailbox received) that records every call and can fail
// any call (as the real machine's calls fail: a TSetupFailure, or false from WriteJournal) or
// stop the run at any call as a killed process would: the call has no effect, nothing after
// it runs, nothing cleans up.
#pragma once

#include <array>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/ComponentTable.h"
#include "engine/FailureUnit.h"
#include "engine/InstallMachine.h"
#include "engine/ProgramEnd.h"
#include "engine/RunRecovery.h"
#include "engine/SetupState.h"

// The exit code the fake's kill carries (TProgramEnded passes every job untouched).
constexpr int kKilledByTest = -9;

struct TFakeMachineState {
  std::map<std::string, std::string> files;     // path -> content; a path ending in '\' is a folder
  std::map<std::string, std::string> registry;  // the suite's values
  std::string journal;
  std::array<std::int32_t, kServerKindCount> startTypes = NoRecordedStartTypes();  // -1: no service
  std::set<int> running;
  std::map<std::string, std::string> store;  // the configuration store's entries
  std::vector<std::string> commandsReceived;  // "kind:first,second", in order
  int demonstrationMessages = 0;

  bool operator==(const TFakeMachineState&) const = default;
};

class TFakeInstallMachine final : public TInstallMachine {
 public:
  TFakeMachineState m;
  std::vector<std::string> calls;
  int failAt = -1;  // the call (0-based) that fails
  int stopAt = -1;  // the call at which the process is killed
  static constexpr char kTemp[] = "C:\\Temp\\";

  void CheckDataFilesAndRoom(const TSetupState&) override { Enter("CheckDataFilesAndRoom"); }
  std::string DestinationProblem(const std::string&) override {
    Enter("DestinationProblem");
    return std::string();
  }
  bool FolderExists(const std::string& folder) override {
    Enter("FolderExists");
    const auto found = m.files.lower_bound(folder);
    return found != m.files.end() && found->first.compare(0, folder.size(), folder) == 0;
  }
  bool ServicesPlatform() override { return true; }
  std::set<std::string> CustomerFiles(const std::string& installDir) override {
    Enter("CustomerFiles");
    std::set<std::string> customer;
    for (const auto& [path, content] : m.files)
      if (content == "customer" && path.compare(0, installDir.size(), installDir) == 0) customer.insert(path);
    return customer;
  }
  std::int32_t StartType(int kind) override {
    Enter("StartType");
    return m.startTypes[kind];
  }
  bool ServerRunning(int kind) override {
    Enter("ServerRunning");
    return m.running.count(kind) != 0;
  }
  std::string ServerName(int kind) override { return "Server " + std::to_string(kind); }
  std::string ServiceName(int kind) override { return "Service" + std::to_string(kind); }
  std::string NewExtractionFolderName() override {
    Enter("NewExtractionFolderName");
    std::string folder = std::string(kTemp) + "zarelinstall\\";
    for (int n = 1; m.files.count(folder) != 0; ++n) folder = std::string(kTemp) + "zarelinstall-" + std::to_string(n) + "\\";
    return folder;
  }

  std::string ReadJournal() override {
    Enter("ReadJournal");
    return m.journal;
  }
  bool WriteJournal(const std::string& text) override {
    if (!EnterMayFail("WriteJournal")) return false;
    m.journal = text;
    return true;
  }
  void RemoveJournal() override {
    Enter("RemoveJournal");
    m.journal.clear();
  }

  void MigrateRegistry() override {
    Enter("MigrateRegistry");
    m.registry["OlderKeysMigrated"] = "1";
  }
  void StoreComponentChoices(const TSetupState& state) override {
    Enter("StoreComponentChoices");
    for (const TComponentRow& component : kComponents)
      if (component.FlagValue != nullptr) m.registry[component.FlagValue] = LeftOut(component, state) ? "1" : "0";
  }
  void UseInstallationFolder(const TSetupState&) override { Enter("UseInstallationFolder"); }
  bool SetStartType(int kind, std::int32_t startType) override {
    Enter("SetStartType");
    if (m.startTypes[kind] == kNoRecordedStartType) return false;
    m.startTypes[kind] = startType;
    return true;
  }
  void StopServers(TSetupState& state) override {
    Enter("StopServers");
    m.running.clear();
    for (const int kind : kInstalledServers) {
      if (ServerLeftOut(state, kind)) m.startTypes[kind] = kNoRecordedStartType;
      state.ServiceToCreate[kind] = !ServerLeftOut(state, kind) && m.startTypes[kind] == kNoRecordedStartType;
    }
  }
  bool StartServerAgain(int kind) override {
    Enter("StartServerAgain");
    if (m.startTypes[kind] == kNoRecordedStartType) return false;
    m.running.insert(kind);
    return true;
  }
  std::uint32_t CreateExtractionFolder(const std::string& folder) override {
    Enter("CreateExtractionFolder");
    constexpr std::uint32_t kAlreadyExists = 183;
    return m.files.emplace(folder, "").second ? 0 : kAlreadyExists;
  }
  void ExtractSetupData(const std::string& folder) override {
    Enter("ExtractSetupData");
    m.files[folder + "Setup.Dat entries"] = ProductVersion;
  }
  // File by file, so a run can be stopped or failed in the middle of the placement.
  void PlaceFiles(const TSetupState& state) override {
    Enter("PlaceFiles");
    for (const char* folder : {"config\\", "mail\\", "logs\\"}) m.files.emplace(state.InstallDir + folder, "");
    for (const TComponentRow& component : kComponents) {
      if (LeftOut(component, state)) continue;
      for (const char* program : component.Programs) {
        Enter("PlaceFiles: file");
        m.files[state.InstallDir + program] = ProductVersion;
      }
    }
  }
  void UnpackShippedConfiguration(const TSetupState& state) override {
    Enter("UnpackShippedConfiguration");
    m.files[state.ConfigDir + "shipped.cfg"] = ProductVersion;
  }
  void SeedConfiguration(const TSetupState& state, const std::string&) override {
    Enter("SeedConfiguration");
    m.store["domain demo.example"] = "demonstration accounts, expiring";
    m.store["server folders"] = state.InstallDir;
  }
  void StoreConsoleLayout(const TSetupState& state) override {
    Enter("StoreConsoleLayout");
    m.store["console layout"] = state.AdvancedConsole ? "advanced.xml" : "basic.xml";
  }
  void PatchWebServer() override {
    Enter("PatchWebServer");
    m.files["webserver.cfg patched"] = "1";
  }
  void ShortcutsAndUninstallEntry(const TSetupState& state) override {
    Enter("ShortcutsAndUninstallEntry");
    m.registry["InstallDir"] = state.InstallDir;
    m.registry["Version"] = ProductVersion;
    m.registry["UninstallString"] = state.InstallDir + "setup.exe /UNINSTALL";
  }
  void RemoveLeftOutComponents(const TSetupState& state, const std::set<std::string>& customerFiles) override {
    Enter("RemoveLeftOutComponents");
    for (const TComponentRow& component : kComponents)
      if (LeftOut(component, state))
        for (const char* program : component.Programs)
          if (customerFiles.count(state.InstallDir + program) == 0) m.files.erase(state.InstallDir + program);
  }
  void CreateAndStartServices(TSetupState& state) override {
    Enter("CreateAndStartServices");
    for (const int kind : kInstalledServers) {
      if (ServerLeftOut(state, kind)) continue;
      if (state.ServiceToCreate[kind]) m.startTypes[kind] = kAutomaticStart;
      if (m.startTypes[kind] == kAutomaticStart) m.running.insert(kind);
    }
  }
  void DeleteFolder(const std::string& folder) override {
    Enter("DeleteFolder");
    for (auto file = m.files.lower_bound(folder); file != m.files.end() && file->first.compare(0, folder.size(), folder) == 0;)
      file = m.files.erase(file);
  }
  void LetServersSettle() override { Enter("LetServersSettle"); }
  bool SendDemonstrationMessage() override {
    Enter("SendDemonstrationMessage");
    ++m.demonstrationMessages;
    return true;
  }
  std::vector<std::string> CheckServersRun(const TSetupState& state) override {
    Enter("CheckServersRun");
    std::vector<std::string> notRunning;
    for (const int kind : kInstalledServers)
      if (!ServerLeftOut(state, kind) && m.startTypes[kind] == kAutomaticStart && m.running.count(kind) == 0)
        notRunning.push_back(ServerName(kind));
    return notRunning;
  }
  bool SendUpgradeCommand(const TUpgradeCommand& command) override {
    Enter("SendUpgradeCommand");
    m.commandsReceived.push_back(std::to_string(command.Kind) + ":" + std::to_string(command.First) + "," +
                                 std::to_string(command.Second));
    return true;
  }
  void KeepLogIn(const std::string& installDir) override {
    Enter("KeepLogIn");
    m.files[installDir + "logs\\setup log copy"] = "log";
  }

 private:
  // False when this call is the one to fail.
  bool EnterMayFail(const char* name) {
    const int index = static_cast<int>(calls.size());
    calls.push_back(name);
    if (index == stopAt) throw TProgramEnded{kKilledByTest};
    return index != failAt;
  }
  void Enter(const char* name) {
    if (!EnterMayFail(name)) Fail(std::string("Fake machine: ") + name, std::string("fault injected at ") + name);
  }
};
