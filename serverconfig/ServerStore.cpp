#include "serverconfig/ServerStore.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/FileSystemUnit.h"
#include "serverconfig/AccountCache.h"
#include "serverconfig/DatabaseLibrary.h"
#include "serverconfig/DomainTable.h"
#include "serverconfig/HostSeam.h"
#include "serverconfig/NetworkHandoff.h"
#include "serverconfig/ScrambleUnit.h"
#include "serverconfig/StoreFileUnit.h"
#include "serverconfig/StoreLocks.h"
#include "serverconfig/StoreState.h"

namespace {

using namespace settings;

constexpr const char* kInfoXmlPath = "xml\\info.xml";
constexpr int kInitialTimeoutMs = 300000;
constexpr int kInitialHandedLimit = 128;
// A count above both what its file holds and the legacy table's 100 entries is damage.
constexpr int kDomainCountFloor = settings::kLegacyNameCount;
// Large enough for any domains.cfg: the table holds at most 2^31 entries.
constexpr std::uint64_t kWholeFile = ~std::uint64_t{0};

int g_timeoutMs = kInitialTimeoutMs;
int g_handedLimit = kInitialHandedLimit;

// A folder field with its trailing "\", kept within the field.
std::string FolderFieldValue(std::string folder, std::size_t max) {
  if (folder.size() > max) folder.resize(max);
  folder = NormalizePath(folder, true, false);
  if (folder.size() > max) folder = folder.substr(0, max - 1) + "\\";
  return folder;
}

// --- load-time defaults -------------------------------------------------------------------

struct TU16Default { TU16Field Field; std::uint16_t Value; };
struct TI32Default { TI32Field Field; std::int32_t Value; };
struct TByteDefault { TByteField Field; std::uint8_t Value; };
struct TTextDefault { TStrField Field; const char* Value; };

constexpr TU16Default kU16Defaults[] = {
    {kPort160, 5229},      {kXmppServerPort, 5269}, {kXmppClientPort, 5222},
    {kXmppClientSslPort, 5223}, {kLdapSslPort, 636}, {kLdapPort, 389},
    {kOdmrPort, 366},      {kPop3Port, 110},        {kPop3SslPort, 995},
    {kSmtpPort, 25},       {kImapSslPort, 993},     {kImapPort, 143},
    {kControlPort, 32001}, {kU16At1458, 32768},     {kSmtpSslPort, 465},
    {kU16At1564, 40},      {kU16At1566, 5},         {kFtpPort, 21},
    {kFtpSslPort, 990}};

constexpr TI32Default kI32Defaults[] = {
    {kInt222, 40},   {kAccountCacheMiB, 10}, {kInt1544, 8},   {kInt1548, 1},
    {kInt1552, 256}, {kInt1556, 40},         {kInt1560, 40},  {kInt7012, 8},
    {kInt7016, 4},   {kInt21372, 40},        {kInt21752, 40}, {kInt22124, 40},
    {kInt22128, 1},  {kResolverSetting22136, 3}};

constexpr TByteDefault kByteDefaults[] = {{kResolverSetting1476, 5}, {kByte7008, 20}};

constexpr TTextDefault kTextDefaults[] = {{kBounceSender, "MAILER-DAEMON"},
                                          {kBounceSenderName, "Mail Delivery Subsystem"}};

constexpr TStrField kListFields[] = {kHostName,          kAddressList1048, kDnsServers,
                                     kServerList,        kDatabaseConnection,
                                     kAddressList3641,   kTrustedAddresses};

}  // namespace

std::string SystemDnsServers() {
  std::string joined;
  for (const std::string& server : HostSeam().DnsServers()) {
    if (!joined.empty()) joined += ';';
    joined += server;
  }
  return joined;
}

namespace {

void ApplyFolderDefaults(TServerSettings& s) {
  const std::pair<TStrField, const char*> folders[] = {
      {kTempFolder, "temp\\"}, {kMailFolder, "mail\\"}, {kLogsFolder, "logs\\"}};
  for (const auto& [field, subFolder] : folders) {
    std::string value = s.Get(field);
    if (value.empty()) value = StoreState().RootFolder + subFolder;
    s.Set(field, FolderFieldValue(value, field.Max));
  }
  const std::string folder = s.Get(kFolder3385);
  if (!folder.empty()) s.Set(kFolder3385, FolderFieldValue(folder, kFolder3385Length));
}

void ApplyLoadDefaults(TServerSettings& s) {
  s.Set(kPathSeparator, '\\');
  s.Set(kPathCleaningMode, 0);
  for (const auto& d : kU16Defaults) {
    if (s.Get(d.Field) == 0) s.Set(d.Field, d.Value);
  }
  for (const auto& d : kI32Defaults) {
    if (s.Get(d.Field) == 0) s.Set(d.Field, d.Value);
  }
  for (const TI32Field& field : kInts21396) {
    if (s.Get(field) == 0) s.Set(field, 256);
  }
  for (const auto& d : kByteDefaults) {
    if (s.Get(d.Field) == 0) s.Set(d.Field, d.Value);
  }
  for (const auto& d : kTextDefaults) {
    if (s.Get(d.Field).empty()) s.Set(d.Field, d.Value);
  }
  if (s.Get(kTimeoutSeconds) == 0) s.Set(kTimeoutSeconds, static_cast<std::uint16_t>(g_timeoutMs / 1000));
  if (s.Get(kHandedLimit) == 0) s.Set(kHandedLimit, g_handedLimit);
  if (s.Get(kDnsServers).empty()) s.Set(kDnsServers, SystemDnsServers());
  if (s.Get(kSizeLimit) > kSizeLimitMax) s.Set(kSizeLimit, 0);
  if (s.Get(kOption1464) != 0 && s.Get(kOption1444) != 0) s.Set(kOption1444, 0);
}

void NormaliseLists(TServerSettings& s) {
  for (const TStrField& field : kListFields) {
    std::string text = TrimText(s.Get(field));
    if (text.find_first_of(", ") != std::string::npos) {
      std::replace(text.begin(), text.end(), ',', ';');
      text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    }
    s.Set(field, text);
  }
}

void ApplyPathOverrides(TServerSettings& s) {
  const TPathConfig& path = StoreState().PathConfig;
  if (!path.ServerList.empty()) s.Set(kServerList, path.ServerList);
  if (!path.HostName.empty()) s.Set(kHostName, path.HostName);
}

// --- domain table -------------------------------------------------------------------------

void LowerEntryNames() {
  for (int i = 0; i < StoreDomainCount(); ++i) {
    std::uint8_t* entry = DomainEntryAt(i);
    const std::size_t length = std::min<std::size_t>(entry[0], domainentry::kName.Max);
    for (std::size_t c = 1; c <= length; ++c) {
      if (entry[c] >= 'A' && entry[c] <= 'Z') entry[c] = static_cast<std::uint8_t>(entry[c] + 32);
    }
  }
}

// Missing when neither source exists, Unreadable when the chosen one cannot be read or its
// count is damaged.
TFileState LoadDomainTable() {
  ClearDomainTable();
  const std::string domainsPath = StoreState().ConfigFolder + kDomainsFileName;
  const bool fromSettings = !StorePathExists(domainsPath);
  const std::string path = fromSettings ? StoreState().ConfigFolder + kSettingsFileName : domainsPath;
  const std::uint64_t offset = fromSettings ? kLegacyDomainTableOffset : 0;

  std::int32_t count = StoreState().Settings.Get(kDomainCount);
  // A count that cannot be right leaves the file as the only record of the domains: every
  // entry it holds is kept, and the table counts as damaged, so it is never saved back.
  const std::uint64_t wanted = count >= 0 ? static_cast<std::uint64_t>(count) * kDomainEntrySize
                                          : (fromSettings ? kDomainCountFloor * kDomainEntrySize : kWholeFile);
  const TFileRead read = ReadFileRange(path, offset, wanted);
  if (read.State != TFileState::Read) {
    SetStoreDomainCount(0);
    if (read.State == TFileState::Unreadable) StoreState().UnreadableFile = path;
    return read.State;
  }
  const std::uint64_t entriesRead = (read.Bytes.size() + kDomainEntrySize - 1) / kDomainEntrySize;
  const bool damaged =
      count < 0 || static_cast<std::uint64_t>(count) > std::max<std::uint64_t>(entriesRead, kDomainCountFloor);
  if (damaged) count = static_cast<std::int32_t>(std::min<std::uint64_t>(entriesRead, read.Bytes.size() / kDomainEntrySize));
  StoreState().DomainTable.assign(static_cast<std::size_t>(count) * kDomainEntrySize, 0);
  const std::size_t copied = std::min(read.Bytes.size(), StoreState().DomainTable.size());
  if (copied > 0) std::memcpy(StoreState().DomainTable.data(), read.Bytes.data(), copied);
  if (fromSettings) {
    ScrambleBlock(StoreState().DomainTable.data(), copied, offset % kScrambleKeyLength);
  }
  SetStoreDomainCount(count);
  LowerEntryNames();
  if (damaged) StoreState().UnreadableFile = path;
  return damaged ? TFileState::Unreadable : TFileState::Read;
}

// Versions before the 96-byte table kept 100 names of 128 bytes in the settings record, and
// later ones 32-byte entries.
void ConvertLegacyTable() {
  TServerSettings& s = StoreState().Settings;
  int count = StoreDomainCount();
  bool rebuilt = false;
  if (count != 0 && GetDomainName(0).empty()) {
    count = std::min(count, kLegacyNameCount);
    const auto legacyName = [&](int n) {
      return ReadStrField(s.data() + kLegacyNamesOffset + n * kLegacyNameStride, kLegacyNameMax);
    };
    if (!TrimText(legacyName(0)).empty()) {
      std::vector<std::string> names;
      for (int n = 0; n < count; ++n) names.push_back(legacyName(n));
      ClearDomainTable();
      SetStoreDomainCount(0);
      for (const std::string& name : names) AddDomain(name);
      rebuilt = true;
    } else {
      SetStoreDomainCount(0);
    }
  }
  // A table just rebuilt from the names is already in 96-byte form; converting it again would
  // read its names as 32-byte entries.
  if (s.Get(kDomainTableConverted) == 0 && !rebuilt) {
    for (int n = StoreDomainCount() - 1; n >= 0; --n) {
      std::uint8_t* table = StoreState().DomainTable.data();
      const std::string name =
          ReadStrField(table + n * domainentry::kOldEntrySize, domainentry::kOldNameMax);
      std::uint8_t* entry = DomainEntryAt(n);
      std::memset(entry, 0, kDomainEntrySize);
      WriteStrField(entry, domainentry::kName.Max, name);
    }
  }
  s.Set(kDomainTableConverted, 1);
}

void ReadGlobalBindings() {
  std::vector<std::string> lines;
  if (!ReadTextLines(StoreState().ConfigFolder + kBindFileName, lines)) return;
  const TGlobalBindings bindings = ParseGlobalBindings(lines);
  if (!bindings.OutgoingBind.empty()) StoreState().OutgoingBind = bindings.OutgoingBind;
  StoreState().IPv6Bind = bindings.IPv6Bind;
}

void HandOnResolver(const TServerSettings& s) {
  TResolverSettings resolver;
  for (const std::string& server : SplitText(s.Get(kDnsServers), ';')) {
    if (!server.empty()) resolver.DnsServers.push_back(server);
  }
  resolver.Setting1476 = s.Get(kResolverSetting1476);
  resolver.Setting22136 = s.Get(kResolverSetting22136);
  HandOnResolverSettings(resolver);
  HandOnIPv6Mode(s.Get(kIPv6Mode));
}

// The end of every load, whatever the files held: the derived folders and flags.
void FinishLoad() {
  TStoreState& st = StoreState();
  const TPathConfig& path = st.PathConfig;
  st.ForwardFolder = !path.ForwardFolder.empty() ? path.ForwardFolder : MailFolder() + "forward\\";
  st.ForwardRetryFolder =
      !path.ForwardRetryFolder.empty() ? path.ForwardRetryFolder : MailFolder() + "forward\\retry\\";
  st.SubdomainsPresent = StorePathExists(st.ConfigFolder + kSubdomainsFileName);
  st.PrimaryBindingsKnown = false;
  HandOnResolver(st.Settings);
}

void PrepareStorage(const TServerSettings& s) {
  if (s.Get(kStorageMode) == kStorageDatabase || s.Get(kOpenDatabaseAlways) != 0) {
    OpenAccountDatabase();
  }
  AccountCache().Prepare(AccountCacheCapacity(s.Get(kAccountCacheMiB)));
}

}  // namespace

void ResetServerStore() {
  CloseAccountDatabase();
  ResetStoreState();
  g_timeoutMs = kInitialTimeoutMs;
  g_handedLimit = kInitialHandedLimit;
  AccountCache().Prepare(0);
  ResetNetworkHandoff();
}

void InitServerFolders() { InitServerFoldersAt(ProgramFolder()); }

void InitServerFoldersAt(const std::string& rootFolder) {
  TStoreState& st = StoreState();
  st.RootFolder = NormalizePath(rootFolder, true, false);
  st.ConfigFolder = st.RootFolder + "config\\";
  st.HtmlFolder = st.RootFolder + "html\\";
  st.HtmlTempFolder = st.RootFolder + "html\\temp\\";

  std::vector<std::string> lines;
  st.PathConfig = TPathConfig();
  if (ReadTextLines(st.RootFolder + kPathConfigFileName, lines)) {
    st.PathConfig = ParsePathConfig(lines);
    if (!st.PathConfig.ConfigFolder.empty()) st.ConfigFolder = st.PathConfig.ConfigFolder;
    if (!st.PathConfig.HtmlFolder.empty()) st.HtmlFolder = st.PathConfig.HtmlFolder;
    if (!st.PathConfig.HtmlTempFolder.empty()) st.HtmlTempFolder = st.PathConfig.HtmlTempFolder;
    st.OutgoingBind = st.PathConfig.OutgoingBind;
    ConnectNetworkShares(ParseNetworkShares(st.PathConfig.NetworkShares));
  }

  const std::string infoXml = st.RootFolder + kInfoXmlPath;
  if (FileExists(infoXml)) {
    st.InfoXml.Clear();
    st.InfoXml.LoadFromFile(infoXml);
  }

  st.Title = ParseServerTitle({});
  if (ReadTextLines(st.ConfigFolder + kServerTitleFileName, lines)) {
    st.Title = ParseServerTitle(lines);
  }

  HandOnTimeZoneText(TimeZoneTextFromBias(HostSeam().TimeZoneBiasMinutes()));
}

// --- load and save ------------------------------------------------------------------------

bool LoadServerSettings(bool failIfMissing, bool light) {
  TStoreState& st = StoreState();
  const std::string settingsPath = st.ConfigFolder + kSettingsFileName;
  st.SettingsFileTime = FileModificationTime(settingsPath);
  if (st.RootFolder.empty()) st.RootFolder = st.ConfigFolder + "..\\";

  bool result;
  st.UnreadableFile.clear();
  const TFileRead read = ReadFileRange(settingsPath, 0, kServerSettingsSize);
  if (read.State == TFileState::Missing) {
    st.StoreUnreadable = false;
    result = !failIfMissing;
  } else if (read.State == TFileState::Unreadable) {
    TStoreLockGuard lock(kDomainTableLock);
    ClearDomainTable();
    SetStoreDomainCount(0);
    st.StoreUnreadable = true;
    st.UnreadableFile = settingsPath;
    result = false;
  } else {
    TStoreLockGuard lock(kDomainTableLock);
    TServerSettings& s = st.Settings;
    ScrambleReadInto(s.data(), s.size(), 0, read.Bytes);
    ApplyFolderDefaults(s);
    ApplyLoadDefaults(s);
    g_timeoutMs = s.Get(kTimeoutSeconds) * 1000;
    g_handedLimit = s.Get(kHandedLimit);
    HandOnTimeoutAndLimit(g_timeoutMs, g_handedLimit);
    NormaliseLists(s);
    ApplyPathOverrides(s);
    const TFileState table = LoadDomainTable();
    ConvertLegacyTable();
    ReadGlobalBindings();
    st.StoreUnreadable = table == TFileState::Unreadable;
    result = !st.StoreUnreadable;
  }
  FinishLoad();
  if (!light) PrepareStorage(st.Settings);
  return result;
}

std::string UnreadableStoreFile() { return StoreState().UnreadableFile; }

bool SaveServerSettings() {
  TStoreState& st = StoreState();
  if (st.StoreUnreadable) return false;
  TStoreLockGuard lock(kDomainTableLock);
  ForceDirectories(st.ConfigFolder);
  const std::size_t tableBytes =
      std::min(static_cast<std::size_t>(std::max(st.Settings.Get(kDomainCount), 0)) *
                   kDomainEntrySize,
               st.DomainTable.size());
  const std::string table(reinterpret_cast<const char*>(st.DomainTable.data()), tableBytes);
  // The domain count lives in settings.cfg: a disk that fills up after one of the two files
  // was replaced would leave a count that does not fit the table beside it.
  return ReplaceFilesAtomically(
      {{st.ConfigFolder + kSettingsFileName,
        ScrambledImage(st.Settings.data(), st.Settings.size(), 0)},
       {st.ConfigFolder + kDomainsFileName, table}});
}
