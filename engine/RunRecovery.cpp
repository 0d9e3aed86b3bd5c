#include "engine/RunRecovery.h"

#include "engine/InstallLog.h"

namespace {

bool StaleJournal(const TRunJournal& journal, const std::string& installedVersion) {
  return installedVersion != journal.InstalledBefore && installedVersion != journal.Installing;
}

std::string KindNames(TInstallMachine& machine, const std::vector<int>& kinds) {
  std::string names;
  for (const int kind : kinds) names += (names.empty() ? "" : ", ") + machine.ServerName(kind);
  return names;
}

std::array<std::int32_t, kServerKindCount> StartTypesNow(TInstallMachine& machine) {
  std::array<std::int32_t, kServerKindCount> types = NoRecordedStartTypes();
  if (!machine.ServicesPlatform()) return types;
  for (const int kind : kInstalledServers) types[kind] = machine.StartType(kind);
  return types;
}

// Puts the start types back; false when one could not be set (the journal keeps asking).
bool PutStartTypesBack(TInstallMachine& machine, const TRecoveryPlan& plan, std::vector<std::string>& done) {
  bool all = true;
  for (const auto& [kind, startType] : plan.StartTypes) {
    const bool set = machine.SetStartType(kind, startType);
    InstallLog("Recovery: start type of " + machine.ServiceName(kind) + (set ? " put back: " : " not put back: ") +
               std::to_string(startType));
    if (set) done.push_back(machine.ServerName(kind));
    all = all && set;
  }
  return all;
}

void TakeOver(const TRecoveryPlan& plan, TSetupState& state) {
  state.InstalledVersion = plan.InstalledVersion;
  state.UpgradeCommandsSent = plan.UpgradeCommandsSent;
  state.UnfinishedInstallation = plan.UnfinishedInstallation;
  state.DemonstrationMessageOwed = plan.DemonstrationMessageOwed;
  state.FirstRunOwed = plan.FirstRunOwed;
  state.ServersStoppedEarlier = plan.StoppedServers;
}

std::string Summary(const TRecoveryPlan& plan, const TRunJournal& journal, const std::vector<std::string>& putBack) {
  std::string text = "A stopped run was found";
  if (plan.Stale) return text + ": another setup ran since, its journal was dropped";
  if (!putBack.empty()) {
    text += "; start types put back:";
    for (const std::string& name : putBack) text += " " + name;
  }
  if (!journal.InstalledBefore.empty()) text += "; version " + journal.InstalledBefore + " taken as installed";
  if (!plan.UnfinishedInstallation.empty())
    text += "; the first installation in " + plan.UnfinishedInstallation + " is finished as one";
  if (!plan.ExtractionFolder.empty()) text += "; its extraction folder removed";
  return text + "; this run finishes the job";
}

}  // namespace

TRecoveryPlan PlanRecovery(const TRunJournal& journal, const std::string& installedVersion,
                           const std::array<std::int32_t, kServerKindCount>& startTypesNow) {
  TRecoveryPlan plan;
  plan.ExtractionFolder = journal.ExtractionFolder;
  plan.InstalledVersion = installedVersion;
  plan.Stale = StaleJournal(journal, installedVersion);
  if (plan.Stale) return plan;
  plan.InstalledVersion = journal.InstalledBefore;
  plan.UpgradeCommandsSent = journal.UpgradeCommandsSent;
  if (journal.FirstInstallation && !journal.Seeded) plan.UnfinishedInstallation = journal.InstallDir;
  plan.DemonstrationMessageOwed = journal.FirstInstallation && !journal.DemonstrationMessageSent;
  plan.FirstRunOwed = journal.FirstInstallation;
  plan.StoppedServers = journal.StoppedServers;
  if (journal.StartTypesRestored) return plan;
  for (const int kind : kInstalledServers)
    if (journal.StartTypes[kind] == kDisabledStart && startTypesNow[kind] == kAutomaticStart)
      plan.StartTypes.emplace_back(kind, kDisabledStart);
  return plan;
}

std::string RecoverStoppedRun(TInstallMachine& machine, TSetupState& state) {
  const std::string text = machine.ReadJournal();
  if (text.empty()) return std::string();
  const std::optional<TRunJournal> found = ParseJournal(text);
  if (!found) {
    InstallLog("Recovery: the run journal cannot be read and is dropped:\r\n" + text);
    machine.RemoveJournal();
    return "A stopped run's journal could not be read and was dropped";
  }
  TRunJournal journal = *found;
  InstallLog("Recovery: a stopped run's journal:\r\n" + text);
  const TRecoveryPlan plan = PlanRecovery(journal, state.InstalledVersion, StartTypesNow(machine));
  if (!plan.StoppedServers.empty()) InstallLog("Recovery: the stopped run had stopped " + KindNames(machine, plan.StoppedServers));
  std::vector<std::string> putBack;
  const bool startTypesBack = PutStartTypesBack(machine, plan, putBack);
  if (!plan.ExtractionFolder.empty()) machine.DeleteFolder(plan.ExtractionFolder);
  TakeOver(plan, state);
  if (plan.Stale) {
    InstallLog("Recovery: version " + state.InstalledVersion + " is installed, which the stopped run neither found nor wrote: its journal is dropped");
    machine.RemoveJournal();
  } else {
    journal.StartTypesRestored = journal.StartTypesRestored || startTypesBack;
    journal.ExtractionFolder.clear();
    if (!machine.WriteJournal(JournalText(journal))) InstallLog("Recovery: the journal could not be updated");
  }
  const std::string summary = Summary(plan, journal, putBack);
  InstallLog("Recovery: " + summary);
  return summary;
}
