#include "engine/NewVersionOffer.h"

#include "engine/InstallLog.h"
#include "engine/SetupCore.h"
#include "engine/SetupQuestions.h"
#include "engine/SetupState.h"

TNewVersion CheckForNewerVersion() {
  const TNewVersion latest = CheckNewVersion(SetupState().ProductsXmlUrl, kProductCode);
  InstallLog("New-version check: " + (latest.Found ? latest.Version : std::string("nothing found")));
  return latest;
}

bool OfferNewerVersion(const TNewVersion& latest) {
  if (!ShouldOfferNewerVersion(latest.Found, latest.Version)) return false;
  return AskYes(TQuestion::NewerVersion, {"Zarel Mail Server", latest.Version});
}
