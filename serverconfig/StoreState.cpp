#include "serverconfig/StoreState.h"

#include <algorithm>
#include <memory>

#include "base/FileSystemUnit.h"
#include "serverconfig/StoreFolders.h"

namespace {

using namespace settings;

std::unique_ptr<TStoreState> g_state = std::make_unique<TStoreState>();

bool IsRootedPath(const std::string& path) {
  return IsAbsolutePath(path) || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

std::string SettingsFolder(const TStrField& field, const char* subFolder) {
  const std::string value = g_state->Settings.Get(field);
  if (value.empty()) return g_state->RootFolder + subFolder;
  const std::string folder = NormalizePath(value, true, false);
  return IsRootedPath(folder) ? folder : g_state->RootFolder + folder;
}

}  // namespace

// --- state --------------------------------------------------------------------------------

TStoreState& StoreState() { return *g_state; }

int AllocatedDomainEntries() {
  return static_cast<int>(g_state->DomainTable.size() / kDomainEntrySize);
}

int StoreDomainCount() {
  const int count = g_state->Settings.Get(kDomainCount);
  return std::clamp(count, 0, AllocatedDomainEntries());
}

void SetStoreDomainCount(int count) { g_state->Settings.Set(kDomainCount, count); }

std::uint8_t* DomainEntryAt(int index) {
  return g_state->DomainTable.data() + static_cast<std::size_t>(index) * kDomainEntrySize;
}

void ClearDomainTable() {
  g_state->DomainTable.clear();
  g_state->LastFoundName.clear();
  g_state->LastFoundIndex = -1;
}

// --- folders ------------------------------------------------------------------------------

std::string ServerRootFolder() { return g_state->RootFolder; }
void SetServerRootFolder(const std::string& folder) {
  g_state->RootFolder = NormalizePath(folder, true, false);
}
std::string ConfigFolder() { return g_state->ConfigFolder; }
void SetConfigFolder(const std::string& folder) {
  g_state->ConfigFolder = NormalizePath(folder, true, false);
}
std::string HtmlFolder() { return g_state->HtmlFolder; }
std::string HtmlTempFolder() { return g_state->HtmlTempFolder; }
std::string TempFolder() { return SettingsFolder(kTempFolder, "temp\\"); }
std::string MailFolder() { return SettingsFolder(kMailFolder, "mail\\"); }
std::string LogsFolder() { return SettingsFolder(kLogsFolder, "logs\\"); }
std::string ForwardFolder() { return g_state->ForwardFolder; }
std::string ForwardRetryFolder() { return g_state->ForwardRetryFolder; }
const TPathConfig& PathConfig() { return g_state->PathConfig; }
std::string TempFilePrefix() { return g_state->PathConfig.TempFilePrefix; }
std::string OutgoingBindAddress() { return g_state->OutgoingBind; }
std::string IPv6BindList() { return g_state->IPv6Bind; }
const TServerTitle& ServerTitle() { return g_state->Title; }
TXMLObject& InfoXmlDocument() { return g_state->InfoXml; }
bool SubdomainsFilePresent() { return g_state->SubdomainsPresent; }
std::int64_t SettingsFileTime() { return g_state->SettingsFileTime; }
TServerSettings& ServerSettings() { return g_state->Settings; }

void ResetStoreState() { g_state = std::make_unique<TStoreState>(); }
