#include "serverconfig/ServerSettings.h"

namespace {

using namespace settings;

// The host name the servers show until the administrator sets one.
constexpr const char* kPlaceholderHostName = "localhost";

TServerSettings BuildCompiledInImage() {
  TServerSettings s;
  s.Set(kHostName, kPlaceholderHostName);
  s.Set(kPort160, 5229);
  s.Set(kXmppServerPort, 5269);
  s.Set(kByte196, 1);
  s.Set(kXmppClientPort, 5222);
  s.Set(kXmppClientSslPort, 5223);
  s.Set(kByte237, 1);
  s.Set(kByte238, 1);
  s.Set(kTimeoutSeconds, 300);
  s.Set(kByte246, 1);
  s.Set(kByte247, 1);
  s.Set(kLdapSslPort, 636);
  s.Set(kLdapPort, 389);
  s.Set(kOdmrPort, 366);
  s.Set(kByte254, 1);
  s.Set(kTempFolder, "temp\\");
  s.Set(kMailFolder, "mail\\");
  s.Set(kLogsFolder, "logs\\");
  s.Set(kPop3Port, 110);
  s.Set(kPop3SslPort, 995);
  s.Set(kSmtpPort, 25);
  s.Set(kImapSslPort, 993);
  s.Set(kU16At1032, 60);
  s.Set(kHttpPort, 32000);
  s.Set(kImapPort, 143);
  s.Set(kControlPort, 32001);
  s.Set(kByte1047, 1);
  s.Set(kByte1432, 1);
  s.Set(kByte1448, 7);
  s.Set(kU16At1458, 32768);
  s.Set(kSmtpSslPort, 465);
  s.Set(kOption1464, 1);
  s.Set(kByte1472, 1);
  s.Set(kResolverSetting1476, 5);
  s.Set(kBounceSender, "MAILER-DAEMON");
  s.Set(kBounceSenderName, "Mail Delivery Subsystem");
  s.Set(kByte1542, 1);
  s.Set(kInt1544, 8);
  s.Set(kInt1548, 1);
  s.Set(kInt1552, 256);
  s.Set(kInt1556, 40);
  s.Set(kInt1560, 40);
  s.Set(kU16At1564, 40);
  s.Set(kU16At1566, 5000);
  s.Set(kByte2869, 3);
  s.Set(kStorageMode, 1);
  s.Set(kByte3634, 1);
  s.Set(kByte3635, 2);
  s.Set(kByte4576, 1);
  s.Set(kTrustedAddresses, "127.0.0.1;192.168.*.*;10.*.*.*;172.16-31.*.*");
  s.Set(kByte6888, 1);
  s.Set(kByte6890, 1);
  s.Set(kDomainTableConverted, 1);
  s.Set(kU16At7004, 301);
  s.Set(kByte7008, 20);
  s.Set(kInt7012, 8);
  s.Set(kInt7016, 4);
  s.Set(kFtpPort, 21);
  s.Set(kFtpSslPort, 990);
  return s;
}

}  // namespace

const TServerSettings& CompiledInServerSettings() {
  static const TServerSettings image = BuildCompiledInImage();
  return image;
}
