#include "engine/SetupCore.h"

#include <cctype>

#include "base/VersionUnit.h"
#include "engine/ExitCodes.h"

namespace {

bool IsSlash(char c) { return c == '\\' || c == '/'; }

bool EndsInSeparator(const std::string& text) { return !text.empty() && IsSlash(text.back()); }

// A segment of dots and blanks alone ("..", "...", ". .") names no folder of its own once
// Windows drops trailing dots and blanks; ".." climbs out of the folder before it.
bool HasDotSegment(const std::string& folder) {
  std::size_t from = 0;
  while (from <= folder.size()) {
    std::size_t end = folder.find_first_of("\\/", from);
    if (end == std::string::npos) end = folder.size();
    const std::string segment = folder.substr(from, end - from);
    if (segment.find('.') != std::string::npos && segment.find_first_not_of(". ") == std::string::npos) return true;
    from = end + 1;
  }
  return false;
}

}  // namespace

std::string DefaultDestination(const std::string& programFilesDir, const std::string& folderName) {
  std::string folder = programFilesDir.empty() ? std::string("C:\\Program Files\\") : programFilesDir;
  if (!EndsInSeparator(folder)) folder += '\\';
  return folder + folderName;
}

bool IsOlderThan534(const std::string& installedVersion) {
  return !installedVersion.empty() && !VersionAtLeast(installedVersion, "5.3.4");
}

bool IsWebMailOutdated(const std::string& version, const std::string& installDir,
                       const std::function<bool(const std::string&)>& folderExists) {
  if (installDir.empty()) return false;
  const std::string folder = installDir.substr(0, installDir.size() - 1);
  return folderExists(folder) && !VersionAtLeast(version, "4.2.2");
}

TComponentChecks ComponentChecks(const TSetupState& state) {
  TComponentChecks checks{};
  for (int item = 0; item < kComponentCount; ++item) checks[item] = !LeftOut(kComponents[item], state);
  return checks;
}

void StoreComponentChecks(const TComponentChecks& checks, TSetupState& state) {
  for (int item = 0; item < kComponentCount; ++item)
    if (kComponents[item].LeftOut != nullptr) state.*kComponents[item].LeftOut = !checks[item];
}

bool IsAcceptableFolder(const std::string& folder) {
  if (HasDotSegment(folder)) return false;
  if (folder.size() >= 3 && std::isalpha(static_cast<unsigned char>(folder[0])) && folder[1] == ':' &&
      IsSlash(folder[2]))
    return true;
  if (folder.size() < 2 || !IsSlash(folder[0]) || !IsSlash(folder[1])) return false;
  // \\server\share with both names present; the rest may be anything.
  const std::size_t serverEnd = folder.find_first_of("\\/", 2);
  if (serverEnd == std::string::npos || serverEnd == 2) return false;
  const std::size_t shareEnd = folder.find_first_of("\\/", serverEnd + 1);
  const std::size_t shareLength = (shareEnd == std::string::npos ? folder.size() : shareEnd) - (serverEnd + 1);
  return shareLength > 0 && folder[2] != '?' && folder[2] != '.';
}

TFolderVerdict JudgeFolder(const std::string& folder, const TDestinationFacts& facts) {
  if (!IsAcceptableFolder(folder)) return {TFolderVerdictKind::NotAbsolute, {}};
  if (std::string problem = MissingParentProblem(folder, facts); !problem.empty())
    return {TFolderVerdictKind::MissingParent, std::move(problem)};
  if (std::string problem = DestinationProblem(folder, facts); !problem.empty())
    return {TFolderVerdictKind::Refused, std::move(problem)};
  return {};
}

bool ShouldOfferNewerVersion(bool found, const std::string& latestVersion) {
  return found && !latestVersion.empty() && !VersionAtLeast(ProductVersion, latestVersion);
}

bool FirstRunBelongsToThisRun(const TSetupState& state) { return !state.IsUpgrade || state.FirstRunOwed; }

std::vector<TFinishStep> PlanFinishActions(const TFinishChoices& choices, const std::string& installDir,
                                           const std::function<bool(const std::string&)>& fileExists) {
  std::vector<TFinishStep> steps;
  if (choices.RunAntivirus) steps.push_back({TFinishStepKind::AntivirusUpdate, {}});
  if (choices.ViewReadme) steps.push_back({TFinishStepKind::Open, installDir + "readme.txt"});
  if (choices.ViewReleaseNotes) steps.push_back({TFinishStepKind::Open, installDir + "releasenotes.txt"});
  const std::string tutorial = installDir + "tutorial\\index.html";
  if (choices.ShowTutorial && fileExists(tutorial)) steps.push_back({TFinishStepKind::Open, tutorial});
  if (choices.RunConfig) steps.push_back({TFinishStepKind::Open, installDir + "config.exe"});
  return steps;
}

int FinishExitCode(const TSetupState& state, bool unattended) {
  return unattended && !state.ServersNotRunning.empty() ? kExitServersNotRunning : kExitSuccess;
}
