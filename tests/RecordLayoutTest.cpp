// The binary layouts the servers share with us, pinned to their published numbers.
//
// The other store and archive tests build their input through the same named constants as the
// code, so a constant moved by one byte passes them all. Here every constant of the layout
// headers is compared with its offset and type written out as numbers, and each header is
// scanned so that a constant added without a row here fails too.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <ostream>
#include <regex>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <type_traits>

#include "archive/ArchiveUnit.h"
#include "serverconfig/AccountRecord.h"
#include "serverconfig/DomainConfig.h"
#include "serverconfig/DomainEntry.h"
#include "serverconfig/ServerSettings.h"

namespace {

enum class TKind { Byte, U16, I32, U32, Double, Str, Number, Text };

struct TPlace {
  TKind Kind;
  std::uint64_t Offset;    // or the number
  std::uint64_t Max = 0;   // characters of a str[N]
  std::string_view Text{};
  bool operator==(const TPlace&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TPlace& place) {
  static const char* const kNames[] = {"byte", "u16", "i32", "u32", "double", "str", "number", "text"};
  out << kNames[static_cast<int>(place.Kind)] << " ";
  if (place.Kind == TKind::Text) return out << '"' << place.Text << '"';
  out << place.Offset;
  if (place.Kind == TKind::Str) out << " [" << place.Max << "]";
  return out;
}

// What a constant of the code says.
constexpr TPlace Of(TByteField f) { return {TKind::Byte, f.Offset}; }
constexpr TPlace Of(TU16Field f) { return {TKind::U16, f.Offset}; }
constexpr TPlace Of(TI32Field f) { return {TKind::I32, f.Offset}; }
constexpr TPlace Of(TU32Field f) { return {TKind::U32, f.Offset}; }
constexpr TPlace Of(TDoubleField f) { return {TKind::Double, f.Offset}; }
constexpr TPlace Of(TStrField f) { return {TKind::Str, f.Offset, f.Max}; }
template <class T>
  requires std::is_integral_v<T>
constexpr TPlace Of(T value) {
  return {TKind::Number, static_cast<std::uint64_t>(value)};
}
constexpr TPlace Of(const char (&text)[4]) { return {TKind::Text, 0, 0, std::string_view(text, 4)}; }

// What the file formats say.
constexpr TPlace Byte(std::uint64_t offset) { return {TKind::Byte, offset}; }
constexpr TPlace U16(std::uint64_t offset) { return {TKind::U16, offset}; }
constexpr TPlace I32(std::uint64_t offset) { return {TKind::I32, offset}; }
constexpr TPlace U32(std::uint64_t offset) { return {TKind::U32, offset}; }
constexpr TPlace Double(std::uint64_t offset) { return {TKind::Double, offset}; }
constexpr TPlace Str(std::uint64_t offset, std::uint64_t max) { return {TKind::Str, offset, max}; }
constexpr TPlace Number(std::uint64_t value) { return {TKind::Number, value}; }
constexpr TPlace Text(std::string_view text) { return {TKind::Text, 0, 0, text}; }

struct TPin {
  const char* Name;
  TPlace Constant;
  TPlace Documented;
};
#define PIN(constant, documented) TPin{#constant, Of(constant), documented}

using namespace settings;

const TPin kSettingsPins[] = {
    PIN(kServerSettingsSize, Number(22204)),
    PIN(kHostName, Str(0, 127)),            PIN(kIdnOption, Byte(149)),
    PIN(kDatabaseWithoutLock, Byte(152)),   PIN(kAddressLiteralOption, Byte(155)),
    PIN(kIPv6Mode, Byte(156)),              PIN(kPort160, U16(160)),
    PIN(kXmppServerPort, U16(167)),         PIN(kByte196, Byte(196)),
    PIN(kLdapSync, Byte(207)),              PIN(kInt222, I32(222)),
    PIN(kXmppClientPort, U16(228)),         PIN(kXmppClientSslPort, U16(230)),
    PIN(kAccountCacheMiB, I32(233)),        PIN(kByte237, Byte(237)),
    PIN(kByte238, Byte(238)),               PIN(kTimeoutSeconds, U16(242)),
    PIN(kByte246, Byte(246)),               PIN(kByte247, Byte(247)),
    PIN(kLdapSslPort, U16(248)),            PIN(kLdapPort, U16(250)),
    PIN(kOdmrPort, U16(252)),               PIN(kByte254, Byte(254)),
    PIN(kTempFolder, Str(256, 255)),        PIN(kMailFolder, Str(512, 255)),
    PIN(kLogsFolder, Str(768, 255)),        PIN(kPop3Port, U16(1024)),
    PIN(kPop3SslPort, U16(1026)),           PIN(kSmtpPort, U16(1028)),
    PIN(kImapSslPort, U16(1030)),           PIN(kU16At1032, U16(1032)),
    PIN(kHttpPort, U16(1036)),              PIN(kImapPort, U16(1038)),
    PIN(kControlPort, U16(1040)),           PIN(kByte1047, Byte(1047)),
    PIN(kAddressList1048, Str(1048, 127)),  PIN(kServerList, Str(1176, 127)),
    PIN(kDnsServers, Str(1304, 127)),       PIN(kByte1432, Byte(1432)),
    PIN(kOption1444, Byte(1444)),           PIN(kByte1448, Byte(1448)),
    PIN(kU16At1458, U16(1458)),             PIN(kSmtpSslPort, U16(1461)),
    PIN(kOption1464, Byte(1464)),           PIN(kByte1472, Byte(1472)),
    PIN(kWelcomeMessage, Byte(1473)),       PIN(kUseServerListForWebHost, Byte(1474)),
    PIN(kResolverSetting1476, Byte(1476)),  PIN(kBounceSender, Str(1477, 31)),
    PIN(kBounceSenderName, Str(1509, 32)),  PIN(kByte1542, Byte(1542)),
    PIN(kInt1544, I32(1544)),               PIN(kInt1548, I32(1548)),
    PIN(kInt1552, I32(1552)),               PIN(kInt1556, I32(1556)),
    PIN(kInt1560, I32(1560)),               PIN(kU16At1564, U16(1564)),
    PIN(kU16At1566, U16(1566)),             PIN(kDatabaseConnection, Str(2356, 255)),
    PIN(kByte2869, Byte(2869)),             PIN(kSizeLimit, I32(2878)),
    PIN(kOpenDatabaseAlways, Byte(3381)),   PIN(kDirectorySyncOption, Byte(3382)),
    PIN(kFolder3385, Str(3385, 240)),       PIN(kStorageMode, Byte(3633)),
    PIN(kByte3634, Byte(3634)),             PIN(kByte3635, Byte(3635)),
    PIN(kAddressList3641, Str(3641, 127)),  PIN(kByte4576, Byte(4576)),
    PIN(kTrustedAddresses, Str(4577, 255)), PIN(kByte6888, Byte(6888)),
    PIN(kByte6890, Byte(6890)),             PIN(kDomainTableConverted, Byte(7001)),
    PIN(kU16At7004, U16(7004)),             PIN(kByte7008, Byte(7008)),
    PIN(kInt7012, I32(7012)),               PIN(kInt7016, I32(7016)),
    PIN(kDomainCount, I32(7020)),           PIN(kLegacyNamesOffset, Number(7024)),
    PIN(kLegacyNameStride, Number(128)),    PIN(kLegacyNameMax, Number(127)),
    PIN(kLegacyNameCount, Number(100)),     PIN(kLegacyDomainTableOffset, Number(20344)),
    PIN(kInt21372, I32(21372)),             PIN(kFtpPort, U16(21384)),
    PIN(kFtpSslPort, U16(21386)),
    PIN(kInts21396[0], I32(21396)), PIN(kInts21396[1], I32(21400)), PIN(kInts21396[2], I32(21404)),
    PIN(kInts21396[3], I32(21408)), PIN(kInts21396[4], I32(21412)), PIN(kInts21396[5], I32(21416)),
    PIN(kInts21396[6], I32(21420)), PIN(kInts21396[7], I32(21424)),
    PIN(kConsoleLayout, Str(21428, 255)),   PIN(kInt21752, I32(21752)),
    PIN(kPathSeparator, Byte(22121)),       PIN(kPathCleaningMode, Byte(22122)),
    PIN(kInt22124, I32(22124)),             PIN(kInt22128, I32(22128)),
    PIN(kResolverSetting22136, I32(22136)), PIN(kHandedLimit, I32(22142)),
    PIN(kStorageFilesWithCache, Number(0)), PIN(kStorageFiles, Number(1)),
    PIN(kStorageDatabase, Number(2)),       PIN(kSizeLimitMax, Number(5242880)),
    PIN(kFolder3385Length, Number(240)),
};

const TPin kDomainEntryPins[] = {
    PIN(kDomainEntrySize, Number(96)),
    PIN(domainentry::kName, Str(0, 91)),
    PIN(domainentry::kAddressOffset, Number(92)),
    PIN(domainentry::kAddressLength, Number(4)),
    PIN(domainentry::kOldEntrySize, Number(32)),
    PIN(domainentry::kOldNameMax, Number(31)),
    PIN(kDomainNameMax, Number(91)),
};

const TPin kDomainConfigPins[] = {
    PIN(kDomainConfigSize, Number(913)),
    PIN(domainconfig::kReservedAliases, Str(128, 255)),
    PIN(domainconfig::kAdministrator, Str(384, 255)),
};

const TPin kAccountPins[] = {
    PIN(kAccountRecordSize, Number(2848)),
    PIN(account::kType, Byte(0)),
    PIN(account::kFullName, Str(4, 254)),
    PIN(account::kAliases, Str(260, 255)),
    PIN(account::kAccountName, Str(516, 127)),
    PIN(account::kExpires, Byte(645)),
    PIN(account::kExpiryDate, Double(648)),
    PIN(account::kActiveValue, U32(660)),
    PIN(account::kImapLayout, Byte(665)),
    PIN(account::kPassword, Str(772, 127)),
    PIN(account::kMailboxPath, Str(1028, 255)),
    PIN(account::kRights, Byte(1284)),
    PIN(account::kResponderState, Byte(1293)),
    PIN(account::kNoWelcomeMessage, Byte(1295)),
    PIN(account::kUserAccount, Number(0)),
    PIN(account::kAdministratorRights, Number(1)),
    PIN(account::kResponderMask, Number(3)),
    PIN(account::kActiveThreshold, Number(65536)),
};

const TPin kArchivePins[] = {
    PIN(ilds::kMagic, Text("ILDS")),
    PIN(ilds::kHeaderRecordSize, Number(5)),  // compressed flag + u32 version
    PIN(ilds::kFixedNameSize, Number(256)),
    PIN(ilds::kMaxNameLength, Number(255)),
    PIN(ilds::kLengthPrefixedVersion, Number(2)),
};

// "settings::kInts21396[3]" -> "kInts21396"
std::string BareName(std::string name) {
  if (const auto colons = name.rfind("::"); colons != std::string::npos) name.erase(0, colons + 2);
  if (const auto bracket = name.find('['); bracket != std::string::npos) name.erase(bracket);
  return name;
}

std::string SourcePath(const std::string& relative) {
  std::string path = std::string(ZAREL_SOURCE_DIR) + "/" + relative;
#ifdef _WIN32
  if (path[0] == '/') path = "Z:" + path;  // under Wine the host's tree is drive Z:
#endif
  return path;
}

std::set<std::string> ConstantsDeclaredIn(const std::string& header) {
  std::ifstream file(SourcePath(header));
  std::stringstream text;
  text << file.rdbuf();
  const std::string source = text.str();
  static const std::regex kDeclaration(R"(constexpr\s+[^;=(]*?\b(k[A-Za-z0-9_]+)\s*(\[[^\]]*\])?\s*[={])");
  std::set<std::string> names;
  for (std::sregex_iterator it(source.begin(), source.end(), kDeclaration), end; it != end; ++it) {
    names.insert((*it)[1]);
  }
  return names;
}

TEST(RecordLayoutTest, EveryNamedConstantHasItsDocumentedPlace) {
  const struct {
    const char* Header;
    std::span<const TPin> Pins;
  } headers[] = {
      {"serverconfig/ServerSettings.h", kSettingsPins},
      {"serverconfig/DomainEntry.h", kDomainEntryPins},
      {"serverconfig/DomainConfig.h", kDomainConfigPins},
      {"serverconfig/AccountRecord.h", kAccountPins},
      {"archive/ArchiveUnit.h", kArchivePins},
  };
  for (const auto& header : headers) {
    SCOPED_TRACE(header.Header);
    std::set<std::string> pinned;
    for (const TPin& pin : header.Pins) {
      EXPECT_EQ(pin.Constant, pin.Documented) << pin.Name;
      pinned.insert(BareName(pin.Name));
    }
    const std::set<std::string> declared = ConstantsDeclaredIn(header.Header);
    ASSERT_FALSE(declared.empty()) << "cannot read " << SourcePath(header.Header);
    EXPECT_EQ(declared, pinned) << "a constant of the header has no row here, or a row no constant";
  }
}

}  // namespace
