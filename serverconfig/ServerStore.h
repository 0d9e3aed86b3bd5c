// The suite's configuration store as the setup sees it: one process-wide settings record, one
// domain table and the store's folders. Operations never show anything and never throw; they
// answer false, -1 or an empty text.
//
// Callers call InitServerFolders once, then LoadServerSettings whenever they have set the
// configuration folder, and SaveServerSettings to persist. After a load that answered false
// because settings.cfg or domains.cfg exists but could not be read, SaveServerSettings refuses
// (answers false) until a later load succeeds: callers must not save after such a failure.
#pragma once

#include <cstdint>
#include <string>

#include "serverconfig/ConfigTextUnit.h"
#include "serverconfig/ServerSettings.h"

class TXMLObject;

constexpr const char* kSettingsFileName = "settings.cfg";
constexpr const char* kDomainsFileName = "domains.cfg";
constexpr const char* kBindFileName = "bind.dat";
constexpr const char* kPathConfigFileName = "path.cfg";
constexpr const char* kServerTitleFileName = "servertitle.dat";
constexpr const char* kSubdomainsFileName = "subdomains.dat";
constexpr const char* kGroupsFileName = "groups.dat";

// Folders, each ending in "\".
std::string ServerRootFolder();
void SetServerRootFolder(const std::string& folder);
std::string ConfigFolder();
void SetConfigFolder(const std::string& folder);
std::string HtmlFolder();
std::string HtmlTempFolder();
// The settings' temp, mail and logs folders: an empty field means the folder under the root,
// a relative one is taken under the root.
std::string TempFolder();
std::string MailFolder();
std::string LogsFolder();
std::string ForwardFolder();
std::string ForwardRetryFolder();

const TPathConfig& PathConfig();
std::string TempFilePrefix();
std::string OutgoingBindAddress();
std::string IPv6BindList();
const TServerTitle& ServerTitle();
// root + "xml\info.xml" as read by InitServerFolders.
TXMLObject& InfoXmlDocument();
bool SubdomainsFilePresent();
std::int64_t SettingsFileTime();

TServerSettings& ServerSettings();

// Back to the state of a fresh process: compiled-in image, no table, no folders.
void ResetServerStore();

// Root := the running program's folder.
void InitServerFolders();
// The same with a given root folder.
void InitServerFoldersAt(const std::string& rootFolder);

bool LoadServerSettings(bool failIfMissing, bool light);
// True when settings.cfg and domains.cfg were both replaced.
bool SaveServerSettings();
