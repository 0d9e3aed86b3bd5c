#include "wizard/WizardLogic.h"

#include <cctype>

#include "base/StringUnit.h"
#include "base/VersionUnit.h"

bool TutorialFieldsComplete(const std::string& host, const std::string& domain,
                            const std::string& user, const std::string& password,
                            const std::string& confirmation) {
  return !TrimText(host).empty() && !TrimText(domain).empty() && !TrimText(user).empty() &&
         !TrimText(password).empty() && password == confirmation;
}

bool CutUserAtSign(std::string& user) {
  const std::size_t at = user.find('@');
  if (at == std::string::npos) return false;
  user.erase(at);
  return true;
}

bool ShouldOfferNewerVersion(bool found, const std::string& latestVersion) {
  return found && !latestVersion.empty() && !VersionAtLeast(ProductVersion, latestVersion);
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

namespace {
bool IsSlash(char c) { return c == '\\' || c == '/'; }

// A segment of dots and blanks alone ("..", "...", ". .") names no folder of its own once
// Windows drops trailing dots and blanks; ".." climbs out of the folder before it.
bool HasDotSegment(const std::string& folder) {
  std::size_t from = 0;
  while (from <= folder.size()) {
    std::size_t end = folder.find_first_of("\\/", from);
    if (end == std::string::npos) end = folder.size();
    const std::string segment = folder.substr(from, end - from);
    if (segment.find('.') != std::string::npos && segment.find_first_not_of(". ") == std::string::npos) {
      return true;
    }
    from = end + 1;
  }
  return false;
}
}  // namespace

bool IsAcceptableFolder(const std::string& folder) {
  if (HasDotSegment(folder)) return false;
  if (folder.size() >= 3 && std::isalpha(static_cast<unsigned char>(folder[0])) &&
      folder[1] == ':' && IsSlash(folder[2])) {
    return true;
  }
  if (folder.size() < 2 || !IsSlash(folder[0]) || !IsSlash(folder[1])) return false;
  // \\server\share with both names present; the rest may be anything.
  const std::size_t serverEnd = folder.find_first_of("\\/", 2);
  if (serverEnd == std::string::npos || serverEnd == 2) return false;
  const std::size_t shareEnd = folder.find_first_of("\\/", serverEnd + 1);
  const std::size_t shareLength =
      (shareEnd == std::string::npos ? folder.size() : shareEnd) - (serverEnd + 1);
  return shareLength > 0 && folder[2] != '?' && folder[2] != '.';
}

unsigned char NextPageIndex(unsigned char page, int senderTag) {
  return static_cast<unsigned char>(senderTag == 1 ? page + 1 : page - 1);
}
