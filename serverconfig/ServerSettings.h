// settings.cfg: the suite's global settings record, TServerSettings, 22204 bytes.
//
// No header and no version field: the record only ever grows at its end, and an older,
// shorter file is read over the in-memory image so that the new tail keeps its defaults.
// Stored scrambled with phase = file offset (see ScrambleUnit.h). Bytes not named here belong
// to the servers and are carried through unchanged.
//
//      0 str[127]  host name                     1024 u16 POP3            1458 u16 (32768)
//    149 byte      IDN labels in FindDomain      1026 u16 POP3/SSL        1461 u16 SMTP/SSL
//    152 byte      DB calls without the lock     1028 u16 SMTP            1464 byte option
//    155 byte      address-literal domains       1030 u16 IMAP/SSL        1473 byte welcome msg
//    156 byte      IPv6 mode of the sockets      1036 u16 HTTP            1474 byte use 1176
//    160 u16       port                          1038 u16 IMAP            1476 byte resolver
//    167 u16       XMPP server-to-server         1040 u16 control         1477 str[31] bounce
//    207 byte      LDAP sync (with 3382)         1048 str[127] addresses  1509 str[32] bounce name
//    222 i32                                     1176 str[127] servers    1544..1566 ints
//    228/230 u16   XMPP client / SSL             1304 str[127] DNS        2356 str[255] DB conn.
//    233 i32       account cache, MiB            1444 byte option         2878 i32 size limit
//    242 u16       time-out, seconds                                      3381 byte open DB
//    248/250/252   LDAP/SSL, LDAP, ODMR                                   3382 byte LDAP sync
//    256/512/768 str[255] temp, mail, logs folders                        3385 str[240] folder
//   3633 byte storage mode   3641 str[127] addresses   4577 str[255] trusted addresses
//   7001 byte table converted  7008..7016   7020 i32 domain count
//   7024 100 x 128 legacy domain names   20344 legacy place of the 96-byte domain table
//  21372..21424 ints, FTP ports   21428 str[255] console layout   21752, 22121..22142
#pragma once

#include <cstdint>

#include "serverconfig/RecordField.h"

constexpr std::size_t kServerSettingsSize = 22204;
struct TServerSettings : TRecordBytes<kServerSettingsSize> {};

namespace settings {

constexpr TStrField kHostName{0, 127};
constexpr TByteField kIdnOption{149};
constexpr TByteField kDatabaseWithoutLock{152};
constexpr TByteField kAddressLiteralOption{155};
constexpr TByteField kIPv6Mode{156};
constexpr TU16Field kPort160{160};
constexpr TU16Field kXmppServerPort{167};
constexpr TByteField kByte196{196};
constexpr TByteField kLdapSync{207};
constexpr TI32Field kInt222{222};
constexpr TU16Field kXmppClientPort{228};
constexpr TU16Field kXmppClientSslPort{230};
constexpr TI32Field kAccountCacheMiB{233};
constexpr TByteField kByte237{237};
constexpr TByteField kByte238{238};
constexpr TU16Field kTimeoutSeconds{242};
constexpr TByteField kByte246{246};
constexpr TByteField kByte247{247};
constexpr TU16Field kLdapSslPort{248};
constexpr TU16Field kLdapPort{250};
constexpr TU16Field kOdmrPort{252};
constexpr TByteField kByte254{254};
constexpr TStrField kTempFolder{256, 255};
constexpr TStrField kMailFolder{512, 255};
constexpr TStrField kLogsFolder{768, 255};
constexpr TU16Field kPop3Port{1024};
constexpr TU16Field kPop3SslPort{1026};
constexpr TU16Field kSmtpPort{1028};
constexpr TU16Field kImapSslPort{1030};
constexpr TU16Field kU16At1032{1032};
constexpr TU16Field kHttpPort{1036};
constexpr TU16Field kImapPort{1038};
constexpr TU16Field kControlPort{1040};
constexpr TByteField kByte1047{1047};
constexpr TStrField kAddressList1048{1048, 127};
constexpr TStrField kServerList{1176, 127};
constexpr TStrField kDnsServers{1304, 127};
constexpr TByteField kByte1432{1432};
constexpr TByteField kOption1444{1444};
constexpr TByteField kByte1448{1448};
constexpr TU16Field kU16At1458{1458};
constexpr TU16Field kSmtpSslPort{1461};
constexpr TByteField kOption1464{1464};
constexpr TByteField kByte1472{1472};
constexpr TByteField kWelcomeMessage{1473};
constexpr TByteField kUseServerListForWebHost{1474};
constexpr TByteField kResolverSetting1476{1476};
constexpr TStrField kBounceSender{1477, 31};
constexpr TStrField kBounceSenderName{1509, 32};
constexpr TByteField kByte1542{1542};
constexpr TI32Field kInt1544{1544};
constexpr TI32Field kInt1548{1548};
constexpr TI32Field kInt1552{1552};
constexpr TI32Field kInt1556{1556};
constexpr TI32Field kInt1560{1560};
constexpr TU16Field kU16At1564{1564};
constexpr TU16Field kU16At1566{1566};
constexpr TStrField kDatabaseConnection{2356, 255};
constexpr TByteField kByte2869{2869};
constexpr TI32Field kSizeLimit{2878};
constexpr TByteField kOpenDatabaseAlways{3381};
constexpr TByteField kDirectorySyncOption{3382};
constexpr TStrField kFolder3385{3385, 240};
constexpr TByteField kStorageMode{3633};
constexpr TByteField kByte3634{3634};
constexpr TByteField kByte3635{3635};
constexpr TStrField kAddressList3641{3641, 127};
constexpr TByteField kByte4576{4576};
constexpr TStrField kTrustedAddresses{4577, 255};
constexpr TByteField kByte6888{6888};
constexpr TByteField kByte6890{6890};
constexpr TByteField kDomainTableConverted{7001};
constexpr TU16Field kU16At7004{7004};
constexpr TByteField kByte7008{7008};
constexpr TI32Field kInt7012{7012};
constexpr TI32Field kInt7016{7016};
constexpr TI32Field kDomainCount{7020};
constexpr std::size_t kLegacyNamesOffset = 7024;   // 100 entries, each a str[127]
constexpr std::size_t kLegacyNameStride = 128;
constexpr std::size_t kLegacyNameMax = 127;
constexpr int kLegacyNameCount = 100;
constexpr std::size_t kLegacyDomainTableOffset = 20344;  // 96-byte entries, phase 8
constexpr TI32Field kInt21372{21372};
constexpr TU16Field kFtpPort{21384};
constexpr TU16Field kFtpSslPort{21386};
constexpr TI32Field kInts21396[8] = {{21396}, {21400}, {21404}, {21408},
                                     {21412}, {21416}, {21420}, {21424}};
constexpr TStrField kConsoleLayout{21428, 255};
constexpr TI32Field kInt21752{21752};
constexpr TByteField kPathSeparator{22121};
constexpr TByteField kPathCleaningMode{22122};
constexpr TI32Field kInt22124{22124};
constexpr TI32Field kInt22128{22128};
constexpr TI32Field kResolverSetting22136{22136};
constexpr TI32Field kHandedLimit{22142};

// Storage modes at 3633.
constexpr std::uint8_t kStorageFilesWithCache = 0;
constexpr std::uint8_t kStorageFiles = 1;
constexpr std::uint8_t kStorageDatabase = 2;

constexpr std::int32_t kSizeLimitMax = 5242880;
constexpr std::size_t kFolder3385Length = 240;

}  // namespace settings

ZAREL_FIELD_FITS(TServerSettings, settings::kHandedLimit);
ZAREL_FIELD_FITS(TServerSettings, settings::kConsoleLayout);
static_assert(settings::kLegacyNamesOffset +
                  settings::kLegacyNameCount * settings::kLegacyNameStride <= 20344,
              "legacy names overlap the legacy domain table");

// The image the in-memory record holds before anything is read: what a first save writes
// and what fills the tail of a shorter, older file.
const TServerSettings& CompiledInServerSettings();
