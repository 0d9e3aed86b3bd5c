// The network clients take their settings from the configuration store's hand-on, and an
// SMTP thread is only constructed while store lock 0 is free.
#include "tests/NetTestPeer.h"

#include <gtest/gtest.h>

#include <future>

#include "net/NetSettings.h"
#include "engine/NetStoreLink.h"
#include "net/SMTPClientUnit.h"
#include "serverconfig/NetworkHandoff.h"
#include "serverconfig/StoreLocks.h"

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

}  // namespace
