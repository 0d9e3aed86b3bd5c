// The socket class and the resolver: DNS packets and server lists in tables, look-ups through
// a scripted DNS server on 127.0.0.1 (the suite's resolver path), IPv4/IPv6 by the settings
// byte, and the error text of a failed open.
#include "tests/NetTestPeer.h"

#include <gtest/gtest.h>

#include "net/CustomWinSocket.h"
#include "net/DNSResolver.h"
#include "net/NetSettings.h"

namespace {

using netbackend::TIpAddress;
using nettest::TPeerConnection;
using nettest::TScriptedServer;

std::string Bytes(std::initializer_list<int> values) {
  std::string text;
  for (const int v : values) text += static_cast<char>(v);
  return text;
}

struct TRecord {
  std::uint16_t Type;
  std::string Data;
};

// An answer to query: the question echoed, then the records, each named by a pointer to it.
std::string DnsReply(const std::string& query, int rcode, const std::vector<TRecord>& records) {
  std::string reply = query.substr(0, 2);
  reply += Bytes({0x81, 0x80 | rcode, 0, 1, 0, static_cast<int>(records.size()), 0, 0, 0, 0});
  reply += query.substr(12);
  for (const TRecord& r : records) {
    reply += Bytes({0xC0, 0x0C, r.Type >> 8, r.Type & 0xFF, 0, 1, 0, 0, 0, 60,
                    static_cast<int>(r.Data.size() >> 8), static_cast<int>(r.Data.size() & 0xFF)});
    reply += r.Data;
  }
  return reply;
}

TIpAddress V4(int a, int b, int c, int d) {
  TIpAddress address;
  address.Family = 4;
  address.Bytes[0] = static_cast<std::uint8_t>(a);
  address.Bytes[1] = static_cast<std::uint8_t>(b);
  address.Bytes[2] = static_cast<std::uint8_t>(c);
  address.Bytes[3] = static_cast<std::uint8_t>(d);
  return address;
}

bool Same(const TIpAddress& a, const TIpAddress& b) {
  return a.Family == b.Family && std::memcmp(a.Bytes, b.Bytes, a.Family == 6 ? 16 : 4) == 0;
}

// A DNS server on 127.0.0.1 playing a function from query to reply (empty: stay silent).
class TDnsPeer {
 public:
  explicit TDnsPeer(std::function<std::string(const std::string&)> answer) : answer_(std::move(answer)) {
    nettest::StartPeerSockets();
    socket_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Loop(); });
  }
  ~TDnsPeer() {
    stopping_ = true;
    thread_.join();
    nettest::ClosePeerSocket(socket_);
  }
  std::string Server() const { return "127.0.0.1:" + std::to_string(port_); }
  // Query types in the order they came.
  std::vector<int> Types() const {
    std::lock_guard<std::mutex> hold(mutex_);
    return types_;
  }

 private:
  void Loop() {
    while (!stopping_) {
      if (!nettest::PeerReadable(socket_, 50)) continue;
      char buffer[1024];
      sockaddr_storage from{};
      socklen_t length = sizeof from;
      const int got = static_cast<int>(::recvfrom(socket_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length));
      if (got < 12) continue;
      const std::string query(buffer, static_cast<std::size_t>(got));
      {
        std::lock_guard<std::mutex> hold(mutex_);
        types_.push_back((static_cast<std::uint8_t>(query[got - 4]) << 8) | static_cast<std::uint8_t>(query[got - 3]));
      }
      const std::string reply = answer_(query);
      if (!reply.empty())
        ::sendto(socket_, reply.data(), static_cast<int>(reply.size()), 0, reinterpret_cast<sockaddr*>(&from), length);
    }
  }

  std::function<std::string(const std::string&)> answer_;
  nettest::TPeerSocket socket_;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<int> types_;
  std::thread thread_;
};

// Sets the suite's resolver for one test and puts the previous settings back.
class TDnsSettingsScope {
 public:
  TDnsSettingsScope(const std::string& servers, bool ipv6, int timeoutSeconds = 5, int attempts = 3)
      : saved_(GetNetSettings()) {
    TNetSettings settings = saved_;
    settings.DnsServers = servers;
    settings.IPv6 = ipv6;
    settings.ResolverTimeoutSeconds = timeoutSeconds;
    settings.ResolverAttempts = attempts;
    SetNetSettings(settings);
  }
  ~TDnsSettingsScope() { SetNetSettings(saved_); }

 private:
  TNetSettings saved_;
};

// The name the scripted DNS server knows: A 127.0.0.1 and AAAA ::1.
std::string Zone(const std::string& query) {
  const std::string name = Bytes({4}) + "mail" + Bytes({5}) + "zarel" + Bytes({4}) + "test" + Bytes({0});
  if (query.compare(12, name.size(), name) != 0) return DnsReply(query, 3, {});
  const int type = static_cast<std::uint8_t>(query[query.size() - 3]);
  if (type == kDNSTypeA) return DnsReply(query, 0, {{5, Bytes({3, 'x', 'y', 'z', 0})}, {kDNSTypeA, Bytes({127, 0, 0, 1})}});
  return DnsReply(query, 0, {{kDNSTypeAAAA, Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1})}});
}

TEST(NetResolverRules, DottedAddressesAndServerLists) {
  TIpAddress address;
  for (const char* good : {"127.0.0.1", "0.0.0.0", "255.255.255.255", "10.020.3.4"})
    EXPECT_TRUE(ParseDottedIPv4(good, address)) << good;
  for (const char* bad : {"", "1.2.3", "1.2.3.4.5", "256.1.1.1", "1..2.3", "1.2.3.4 ", "a.b.c.d", "1.2.3.1000", "::1"})
    EXPECT_FALSE(ParseDottedIPv4(bad, address)) << bad;
  ASSERT_TRUE(ParseDottedIPv4("192.168.1.20", address));
  EXPECT_TRUE(Same(address, V4(192, 168, 1, 20)));

  const auto servers = ParseDNSServerList(" 10.0.0.1 ;127.0.0.1:5353;;bad;::1;[::1]:53535;1.2.3.4:0;1.2.3.4:99999;[::1]x");
  ASSERT_EQ(servers.size(), 4u);
  EXPECT_TRUE(Same(servers[0].Address, V4(10, 0, 0, 1)));
  EXPECT_EQ(servers[0].Port, 53);
  EXPECT_EQ(servers[1].Port, 5353);
  EXPECT_EQ(servers[2].Address.Family, 6);
  EXPECT_EQ(servers[2].Port, 53);
  EXPECT_EQ(servers[3].Port, 53535);
  EXPECT_TRUE(ParseDNSServerList("").empty());
}

TEST(NetResolverRules, QueryPacket) {
  EXPECT_EQ(BuildDNSQuery(0x1234, "a.bc", kDNSTypeA),
            Bytes({0x12, 0x34, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 'a', 2, 'b', 'c', 0, 0, 1, 0, 1}));
  EXPECT_EQ(BuildDNSQuery(1, "a.bc.", kDNSTypeAAAA).size(), 22u);  // a final dot is the root
  EXPECT_EQ(BuildDNSQuery(1, "", kDNSTypeA), "");
  EXPECT_EQ(BuildDNSQuery(1, "a..b", kDNSTypeA), "");
  EXPECT_EQ(BuildDNSQuery(1, std::string(64, 'a') + ".example", kDNSTypeA), "");
  EXPECT_EQ(BuildDNSQuery(1, std::string(254, 'a'), kDNSTypeA), "");
}

TEST(NetResolverRules, AnswerPackets) {
  const std::string query = BuildDNSQuery(7, "mail.zarel.test", kDNSTypeA);
  const std::string good = Zone(query);
  std::vector<TIpAddress> addresses;
  ASSERT_EQ(ParseDNSAnswer(good, 7, kDNSTypeA, addresses), TDNSAnswer::Addresses);
  ASSERT_EQ(addresses.size(), 1u);  // the CNAME before it is passed over
  EXPECT_TRUE(Same(addresses[0], V4(127, 0, 0, 1)));

  EXPECT_EQ(ParseDNSAnswer(good, 8, kDNSTypeA, addresses), TDNSAnswer::Invalid);  // another id
  EXPECT_EQ(ParseDNSAnswer(query, 7, kDNSTypeA, addresses), TDNSAnswer::Invalid);  // not an answer
  EXPECT_EQ(ParseDNSAnswer(DnsReply(query, 3, {}), 7, kDNSTypeA, addresses), TDNSAnswer::NoSuchName);
  EXPECT_EQ(ParseDNSAnswer(DnsReply(query, 2, {}), 7, kDNSTypeA, addresses), TDNSAnswer::Invalid);
  EXPECT_EQ(ParseDNSAnswer(DnsReply(query, 0, {}), 7, kDNSTypeA, addresses), TDNSAnswer::NoAddresses);
  // A record of the wrong length is not an address.
  EXPECT_EQ(ParseDNSAnswer(DnsReply(query, 0, {{kDNSTypeA, Bytes({1, 2, 3})}}), 7, kDNSTypeA, addresses),
            TDNSAnswer::NoAddresses);
  for (std::size_t cut = 0; cut < good.size(); ++cut)
    EXPECT_EQ(ParseDNSAnswer(good.substr(0, cut), 7, kDNSTypeA, addresses), TDNSAnswer::Invalid) << cut;
}

TEST(NetResolverLookup, SuiteServersAnswerByTheIPv6Setting) {
  TDnsPeer dns(Zone);
  {
    TDnsSettingsScope settings(dns.Server(), false);
    const auto addresses = ResolveHostName("mail.zarel.test", false);
    ASSERT_EQ(addresses.size(), 1u);
    EXPECT_TRUE(Same(addresses[0], V4(127, 0, 0, 1)));
    EXPECT_EQ(dns.Types(), std::vector<int>{kDNSTypeA});
  }
  {
    TDnsSettingsScope settings(dns.Server(), true);
    const auto addresses = ResolveHostName("mail.zarel.test", true);
    ASSERT_EQ(addresses.size(), 2u);
    EXPECT_EQ(addresses[0].Family, 6);  // IPv6 first
    EXPECT_EQ(addresses[1].Family, 4);
  }
  TDnsSettingsScope settings(dns.Server(), false);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(ResolveHostName("unknown.zarel.test", false).empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));  // no retry after "no such name"
}

TEST(NetResolverLookup, SilentServerIsAskedAttemptsTimes) {
  TDnsPeer dns([](const std::string&) { return std::string(); });
  TDnsSettingsScope settings(dns.Server(), false, 1, 2);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(ResolveHostName("mail.zarel.test", false).empty());
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, std::chrono::milliseconds(1900));
  EXPECT_LT(elapsed, std::chrono::seconds(5));
  EXPECT_EQ(dns.Types().size(), 2u);
}

TEST(NetSocket, OpensByNameThroughTheSuiteResolver) {
  TDnsPeer dns(Zone);
  TDnsSettingsScope settings(dns.Server(), false);
  TScriptedServer server([](TPeerConnection& peer) {
    peer.Send("hello\r\n");
    peer.ReadLine();
  });
  TCustomWinSocket socket;
  socket.Open("mail.zarel.test", "", server.Port());
  ASSERT_TRUE(socket.Connected());
  ASSERT_TRUE(socket.WaitForData(5000));
  char buffer[16] = {};
  EXPECT_EQ(socket.ReceiveBuf(buffer, sizeof buffer), 7);
  EXPECT_EQ(socket.SendBuf("bye\r\n", 5), 5);
  socket.Close();
  EXPECT_FALSE(socket.Connected());
  EXPECT_EQ(socket.SendBuf("x", 1), 0);
  EXPECT_EQ(server.Transcripts().at(0), "bye\r\n");
}

TEST(NetSocket, FailedOpenRaisesTheErrorText) {
  TDnsPeer dns(Zone);
  TDnsSettingsScope settings(dns.Server(), false);
  TCustomWinSocket socket;
  try {
    socket.Open("unknown.zarel.test", "", 25);
    FAIL() << "opened";
  } catch (const ESocketError& error) {
    EXPECT_EQ(error.Code, 11001);
    EXPECT_EQ(std::string(error.what()), "Socket error: " + netbackend::NetErrorText(11001) + " (11001), on API 'open'");
  }
#ifdef _WIN32
  const int refused = WSAECONNREFUSED;
#else
  const int refused = ECONNREFUSED;
#endif
  try {
    socket.Open("", "127.0.0.1", nettest::ClosedPort());
    FAIL() << "opened";
  } catch (const ESocketError& error) {
    EXPECT_EQ(error.Code, refused);
    const std::string text = error.what();
    EXPECT_EQ(text.rfind("Socket error: ", 0), 0u);
    EXPECT_NE(text.find(" (" + std::to_string(refused) + "), on API 'open'"), std::string::npos) << text;
    EXPECT_GT(text.size(), std::string("Socket error:  (10061), on API 'open'").size()) << "system text missing";
  }
  EXPECT_THROW(socket.Open("", "not-an-address", 25), ESocketError);
  EXPECT_FALSE(socket.Connected());
}

TEST(NetSocket, IPv6Loopback) {
  TScriptedServer server([](TPeerConnection& peer) { peer.Send("six\r\n"); }, true);
  if (!server.Listening()) GTEST_SKIP() << "this host has no IPv6 loopback";
  TDnsPeer dns(Zone);
  TDnsSettingsScope settings(dns.Server(), true);
  TCustomWinSocket socket;
  EXPECT_TRUE(socket.IPv6);
  socket.Open("", "::1", server.Port());
  EXPECT_TRUE(socket.Connected());
  socket.Close();
  // By name, the AAAA answer is tried first and reaches the IPv6-only listener.
  socket.Open("mail.zarel.test", "", server.Port());
  EXPECT_TRUE(socket.Connected());
}

}  // namespace
