// The configuration store's folders and file names, and the process-wide settings record, as
// every part of the store and its callers read them. Loading and saving are ServerStore's.
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

