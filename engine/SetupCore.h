// The decisions of a setup run that need no window, made once for both faces: the wizard
// renders what they give, the unattended run acts on it. The folder offered and whether it
// holds an earlier installation, the older web mail product, the component list against the
// setup record, which folders may be installed into, the new-version offer, whether the first
// run belongs to this run, and the finish plan. The machine is reached by the callers (the
// start-up, engine/DestinationCheck's facts), so every rule here is a table or a function of
// its inputs. Portable.
#pragma once

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "engine/ComponentTable.h"
#include "engine/DestinationCheck.h"
#include "engine/SetupState.h"

// The folder below the program files folder that a first installation is offered.
constexpr char kDefaultFolderName[] = "Zarel\\";

// --- the earlier installation and the folder offered ---------------------------------------

// "ProgramFilesDir" (or "C:\Program Files\" when empty) with a trailing '\' unless it ends
// in '\' or '/', followed by the folder's name ("Zarel\").
std::string DefaultDestination(const std::string& programFilesDir, const std::string& folderName = kDefaultFolderName);

// An earlier installation older than 5.3.4 (an unknown version counts as not older).
bool IsOlderThan534(const std::string& installedVersion);

// The older web mail product needs an upgrade: its folder (registry text, trailing '\'
// dropped) exists and its version is below 4.2.2.
bool IsWebMailOutdated(const std::string& version, const std::string& installDir,
                       const std::function<bool(const std::string&)>& folderExists);

// What the start-up found: the folder the destination page offers (an unattended run takes it
// without dir=) and whether an earlier installation is there to be upgraded.
struct TStartupFacts {
  std::string OfferedFolder;
  bool EarlierInstallation = false;
  // What the start-up found of a stopped run and did about it; empty when there was none.
  std::string Recovery;
};

// --- the components ------------------------------------------------------------------------

// The items of the component list, one per row of the component table; item 0 (the mail
// services) is always checked.
using TComponentChecks = std::array<bool, kComponentCount>;
TComponentChecks ComponentChecks(const TSetupState& state);
// The items back into the flags (a flag is set when its item is not checked).
void StoreComponentChecks(const TComponentChecks& checks, TSetupState& state);

// --- the installation folder ---------------------------------------------------------------

// An absolute folder: a drive letter, ':' and '\' (or '/'), or a "\\server\share\" path
// with both names present. Anything else would install relative to the current folder. No
// segment may be ".." (or dots alone): the folder shown is the folder installed into.
bool IsAcceptableFolder(const std::string& folder);

// Whether a folder may be installed into, and if not, why.
enum class TFolderVerdictKind {
  Accepted,
  NotAbsolute,    // IsAcceptableFolder refuses it
  MissingParent,  // the folder above it does not exist: the setup makes one level only
  Refused,        // DestinationProblem: a place others could change or have prepared
};
struct TFolderVerdict {
  TFolderVerdictKind Kind = TFolderVerdictKind::Accepted;
  std::string Problem;  // DestinationCheck's words; empty when accepted or not absolute
  explicit operator bool() const { return Kind == TFolderVerdictKind::Accepted; }
};
TFolderVerdict JudgeFolder(const std::string& folder, const TDestinationFacts& facts);

// --- the new version -----------------------------------------------------------------------

// The question is asked only for a version newer than the running one.
bool ShouldOfferNewerVersion(bool found, const std::string& latestVersion);

// --- the end of the run --------------------------------------------------------------------

// The first run (host, domain, administrator) belongs to a first installation, also when this
// run finishes one a stopped run left; an upgrade keeps what the first one configured.
bool FirstRunBelongsToThisRun(const TSetupState& state);

// The finish page's choices (the wizard's check boxes, the unattended finish= setting).
struct TFinishChoices {
  bool RunAntivirus = false;
  bool ViewReadme = false;
  bool ViewReleaseNotes = false;
  bool ShowTutorial = false;
  bool RunConfig = false;
  // Go on to the first-run configuration page before the finish actions.
  bool RunTutorial = false;
};

enum class TFinishStepKind { AntivirusUpdate, Open };
struct TFinishStep {
  TFinishStepKind Kind;
  std::string Path;  // the file opened by the shell (empty for the antivirus command)
};

// The steps in their order for an installation folder (ends in '\'); the tutorial is opened
// only when its index page exists.
std::vector<TFinishStep> PlanFinishActions(const TFinishChoices& choices, const std::string& installDir,
                                           const std::function<bool(const std::string&)>& fileExists);

// The exit code of a run that reached its finish actions: servers that are not running end an
// unattended run with its own code, since nobody read the warning that named them; a person
// read it.
int FinishExitCode(const TSetupState& state, bool unattended);
