// The engine's side of the network clients: they take their settings from the configuration
// store's hand-on, an SMTP thread is only constructed while store lock 0 is free, and the
// demonstration message goes from the text table through an independent SMTP server.
#include "tests/NetTestPeer.h"

#include <gtest/gtest.h>

#include <future>

#include "base/FileSystemUnit.h"
#include "engine/DemoMessageUnit.h"
#include "engine/NetStoreLink.h"
#include "net/NetSettings.h"
#include "net/SMTPClientUnit.h"
#include "serverconfig/NetworkHandoff.h"
#include "serverconfig/StoreLocks.h"
#include "texts/TextTable.h"

namespace {

using nettest::TPeerConnection;
using nettest::TScriptedServer;

TEST(NetStoreLink, LoadsHandOnToTheClients) {
  LinkNetSettingsToStore();
  HandOnIPv6Mode(1);
  TResolverSettings resolver;
  resolver.DnsServers = {"10.0.0.1", "127.0.0.1:5353"};
  resolver.Setting1476 = 7;
  resolver.Setting22136 = 2;
  HandOnResolverSettings(resolver);
  HandOnTimeZoneText("+0130");
  TNetSettings settings = GetNetSettings();
  EXPECT_TRUE(settings.IPv6);
  EXPECT_EQ(settings.DnsServers, "10.0.0.1;127.0.0.1:5353");
  EXPECT_EQ(settings.ResolverTimeoutSeconds, 7);
  EXPECT_EQ(settings.ResolverAttempts, 2);
  EXPECT_EQ(settings.TimeZoneText, "+0130");
  EXPECT_EQ(FormatMessageDate(true).substr(FormatMessageDate(true).size() - 6), " +0130");
  HandOnIPv6Mode(0);
  EXPECT_FALSE(GetNetSettings().IPv6);
  SetNetworkHandoffSink(nullptr);
  ResetNetworkHandoff();
}

TEST(NetStoreLink, SmtpThreadWaitsForStoreLockZero) {
  LinkNetSettingsToStore();
  HandOnResolverSettings(TResolverSettings());
  TScriptedServer server([](TPeerConnection& peer) {
    peer.Send("220 ready\r\n");
    for (std::string line = peer.ReadLine(); !line.empty(); line = peer.ReadLine()) {
      if (line == "DATA") {
        peer.Send("354 go\r\n");
        peer.ReadUntil("\r\n.\r\n");
      }
      peer.Send(line == "QUIT" ? "221 bye\r\n" : "250 ok\r\n");
      if (line == "QUIT") return;
    }
  });
  std::future<bool> sent;
  {
    std::lock_guard<std::recursive_mutex> hold(StoreLock(kDomainTableLock));
    sent = std::async(std::launch::async, [&server] {
      return SendMailMessage("a@x", "b@x", "", "127.0.0.1", "Body", "S", server.Port());
    });
    EXPECT_EQ(sent.wait_for(std::chrono::milliseconds(500)), std::future_status::timeout);
    EXPECT_EQ(server.Connections(), 0);
  }
  EXPECT_TRUE(sent.get());
  EXPECT_EQ(server.Connections(), 1);
  SetNetworkHandoffSink(nullptr);
  ResetNetworkHandoff();
}

TEST(DemoMessage, TextsFromTheTableReachTheServer) {
  REQUIRE_NET_PEERS();
  const std::string savedSubject = cDemoMessageSubject, savedText = cDemoMessage;
  const TNetSettings savedSettings = GetNetSettings();
  TNetSettings settings = savedSettings;
  settings.SmtpPort = static_cast<std::uint16_t>(std::stoi(nettest::NetPeer("SMTP_PORT")));
  SetNetSettings(settings);
  cDemoMessageSubject = "Demo" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000007);
  cDemoMessage = "Welcome to the suite.";
  int asked = 0;
  const bool sent = SendDemonstrationMessage([&] { return ++asked < 0; });
  // The independent server's sink keeps each message as <subject>.eml.
  const std::string path = nettest::PeerPath(nettest::NetPeer("MAIL_DIR") + "/" + cDemoMessageSubject + ".eml");
  for (int i = 0; i < 100 && !FileExists(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const std::string message = ReadWholeFile(path, false);
  cDemoMessageSubject = savedSubject;
  cDemoMessage = savedText;
  SetNetSettings(savedSettings);
  EXPECT_TRUE(sent);
  EXPECT_NE(message.find(std::string("X-Envelope-To: ") + kDemonstrationAdminMailbox), std::string::npos) << message;
  EXPECT_NE(message.find(std::string("X-Envelope-From: <") + kDemonstrationUserMailbox + ">"), std::string::npos);
  EXPECT_NE(message.find("\r\n\r\nWelcome to the suite.\r\n"), std::string::npos);
}

}  // namespace
