#include "net/DNSResolver.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <random>
#include <system_error>
#include <thread>

#include "net/NetSettings.h"

using netbackend::TIpAddress;

namespace {

constexpr std::size_t kHeaderSize = 12;
std::uint16_t ReadU16Be(const std::string& packet, std::size_t at) {
  return static_cast<std::uint16_t>((static_cast<std::uint8_t>(packet[at]) << 8) |
                                    static_cast<std::uint8_t>(packet[at + 1]));
}

void AppendU16Be(std::string& packet, std::uint16_t value) {
  packet += static_cast<char>(value >> 8);
  packet += static_cast<char>(value & 0xFF);
}

// Moves at past one (possibly compressed) name; false when it runs off the packet.
bool SkipName(const std::string& packet, std::size_t& at) {
  for (int labels = 0; labels < 128; ++labels) {
    if (at >= packet.size()) return false;
    const auto length = static_cast<std::uint8_t>(packet[at]);
    if ((length & 0xC0) == 0xC0) {
      if (at + 2 > packet.size()) return false;
      at += 2;
      return true;
    }
    if ((length & 0xC0) != 0) return false;
    at += 1 + length;
    if (length == 0) return true;
  }
  return false;
}

std::uint16_t NewQueryId() {
  static std::mt19937 generator{std::random_device{}()};
  return static_cast<std::uint16_t>(generator());
}

std::vector<TIpAddress> AskServers(const std::vector<TDNSServer>& servers, const std::string& hostName,
                                   std::uint16_t type, const TNetSettings& settings,
                                   const TNetDeadline& deadline) {
  const int attempts = settings.ResolverAttempts > 0 ? settings.ResolverAttempts : 1;
  const int waitMs = (settings.ResolverTimeoutSeconds > 0 ? settings.ResolverTimeoutSeconds : 5) * 1000;
  for (int attempt = 0; attempt < attempts; ++attempt) {
    for (const TDNSServer& server : servers) {
      const int leftMs = deadline.RemainingMs(waitMs);
      if (leftMs <= 0) return {};
      const std::uint16_t id = NewQueryId();
      const std::string query = BuildDNSQuery(id, hostName, type);
      if (query.empty()) return {};
      const netbackend::SocketHandle socket = netbackend::OpenUdp(server.Address.Family);
      if (socket == netbackend::kNoSocket) continue;
      std::vector<TIpAddress> addresses;
      TDNSAnswer answer = TDNSAnswer::Invalid;
      if (netbackend::SendDatagram(socket, server.Address, server.Port, query)) {
        const std::string reply =
            netbackend::ReceiveDatagram(socket, server.Address, server.Port, leftMs);
        if (!reply.empty()) answer = ParseDNSAnswer(reply, id, type, addresses);
      }
      netbackend::CloseSocket(socket);
      // A definite answer ends the search; silence or a server failure tries the next one.
      if (answer == TDNSAnswer::Addresses) return addresses;
      if (answer == TDNSAnswer::NoSuchName || answer == TDNSAnswer::NoAddresses) return {};
    }
  }
  return {};
}

// The system resolver has no time limit of its own: within a deadline it runs on a helper
// thread that is left behind (to finish and free its answer alone) when the time is up.
std::vector<TIpAddress> SystemResolveWithin(const std::string& hostName, bool allowIPv6,
                                            const TNetDeadline& deadline) {
  if (!deadline.Bounded()) return netbackend::SystemResolve(hostName, allowIPv6);
  struct TLookup {
    std::mutex Mutex;
    std::condition_variable Done;
    bool Finished = false;
    std::vector<TIpAddress> Addresses;
  };
  const auto lookup = std::make_shared<TLookup>();
  try {
    std::thread([lookup, hostName, allowIPv6] {
      std::vector<TIpAddress> addresses = netbackend::SystemResolve(hostName, allowIPv6);
      std::lock_guard<std::mutex> hold(lookup->Mutex);
      lookup->Addresses = std::move(addresses);
      lookup->Finished = true;
      lookup->Done.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return {};
  }
  std::unique_lock<std::mutex> hold(lookup->Mutex);
  while (!lookup->Finished) {
    const int leftMs = deadline.RemainingMs(kNetPollSliceMs);
    if (leftMs <= 0) return {};
    lookup->Done.wait_for(hold, std::chrono::milliseconds(leftMs));
  }
  return lookup->Addresses;
}

}  // namespace

bool ParseDottedIPv4(const std::string& text, TIpAddress& address) {
  address = TIpAddress();
  int part = 0;
  std::size_t digits = 0;
  unsigned value = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : '.';
    if (c >= '0' && c <= '9') {
      value = value * 10 + static_cast<unsigned>(c - '0');
      if (++digits > 3 || value > 255) return false;
    } else if (c == '.') {
      if (digits == 0 || part > 3) return false;
      address.Bytes[part++] = static_cast<std::uint8_t>(value);
      digits = 0;
      value = 0;
    } else {
      return false;
    }
  }
  if (part != 4) return false;
  address.Family = 4;
  return true;
}

std::string BuildDNSQuery(std::uint16_t id, const std::string& hostName, std::uint16_t type) {
  std::string name = hostName;
  if (!name.empty() && name.back() == '.') name.pop_back();
  if (name.empty() || name.size() > 253) return {};
  std::string packet;
  AppendU16Be(packet, id);
  AppendU16Be(packet, 0x0100);  // recursion desired
  AppendU16Be(packet, 1);
  AppendU16Be(packet, 0);
  AppendU16Be(packet, 0);
  AppendU16Be(packet, 0);
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('.', start);
    if (end == std::string::npos) end = name.size();
    const std::size_t length = end - start;
    if (length == 0 || length > 63) return {};
    packet += static_cast<char>(length);
    packet.append(name, start, length);
    start = end + 1;
  }
  packet += '\0';
  AppendU16Be(packet, type);
  AppendU16Be(packet, 1);
  return packet;
}

TDNSAnswer ParseDNSAnswer(const std::string& packet, std::uint16_t id, std::uint16_t type,
                          std::vector<TIpAddress>& addresses) {
  addresses.clear();
  if (packet.size() < kHeaderSize || ReadU16Be(packet, 0) != id) return TDNSAnswer::Invalid;
  const std::uint16_t flags = ReadU16Be(packet, 2);
  if ((flags & 0x8000) == 0) return TDNSAnswer::Invalid;  // not a response
  const int rcode = flags & 0x000F;
  if (rcode == 3) return TDNSAnswer::NoSuchName;
  if (rcode != 0) return TDNSAnswer::Invalid;
  const std::uint16_t questions = ReadU16Be(packet, 4);
  const std::uint16_t answers = ReadU16Be(packet, 6);
  std::size_t at = kHeaderSize;
  for (std::uint16_t i = 0; i < questions; ++i) {
    if (!SkipName(packet, at) || at + 4 > packet.size()) return TDNSAnswer::Invalid;
    at += 4;
  }
  const std::size_t size = type == kDNSTypeAAAA ? 16 : 4;
  for (std::uint16_t i = 0; i < answers; ++i) {
    if (!SkipName(packet, at) || at + 10 > packet.size()) return TDNSAnswer::Invalid;
    const std::uint16_t recordType = ReadU16Be(packet, at);
    const std::uint16_t recordClass = ReadU16Be(packet, at + 2);
    const std::uint16_t length = ReadU16Be(packet, at + 8);
    at += 10;
    if (at + length > packet.size()) return TDNSAnswer::Invalid;
    if (recordType == type && recordClass == 1 && length == size) {
      TIpAddress address;
      address.Family = type == kDNSTypeAAAA ? 6 : 4;
      for (std::size_t b = 0; b < size; ++b) address.Bytes[b] = static_cast<std::uint8_t>(packet[at + b]);
      addresses.push_back(address);
    }
    at += length;
  }
  return addresses.empty() ? TDNSAnswer::NoAddresses : TDNSAnswer::Addresses;
}

std::vector<TDNSServer> ParseDNSServerList(const std::string& list) {
  std::vector<TDNSServer> servers;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    std::string entry = list.substr(start, end - start);
    start = end + 1;
    while (!entry.empty() && entry.front() == ' ') entry.erase(0, 1);
    while (!entry.empty() && entry.back() == ' ') entry.pop_back();
    if (entry.empty()) continue;
    TDNSServer server;
    std::string host = entry, port;
    if (entry.front() == '[') {
      const std::size_t close = entry.find(']');
      if (close == std::string::npos) continue;
      host = entry.substr(1, close - 1);
      if (close + 1 < entry.size()) {
        if (entry[close + 1] != ':') continue;
        port = entry.substr(close + 2);
      }
    } else if (entry.find(':') == entry.rfind(':') && entry.find(':') != std::string::npos) {
      host = entry.substr(0, entry.find(':'));
      port = entry.substr(entry.find(':') + 1);
    }
    if (!port.empty()) {
      if (port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) continue;
      const unsigned long value = std::stoul(port);
      if (value == 0 || value > 65535) continue;
      server.Port = static_cast<std::uint16_t>(value);
    }
    if (!ParseDottedIPv4(host, server.Address) && !netbackend::ParseIPv6Literal(host, server.Address))
      continue;
    servers.push_back(server);
  }
  return servers;
}

std::vector<TIpAddress> ResolveHostName(const std::string& hostName, bool allowIPv6,
                                        const TNetDeadline& deadline) {
  if (hostName.empty() || !netbackend::StartSockets()) return {};
  const TNetSettings settings = GetNetSettings();
  const std::vector<TDNSServer> servers = ParseDNSServerList(settings.DnsServers);
  if (servers.empty()) return SystemResolveWithin(hostName, allowIPv6, deadline);
  std::vector<TIpAddress> addresses;
  if (allowIPv6) addresses = AskServers(servers, hostName, kDNSTypeAAAA, settings, deadline);
  const std::vector<TIpAddress> v4 = AskServers(servers, hostName, kDNSTypeA, settings, deadline);
  addresses.insert(addresses.end(), v4.begin(), v4.end());
  return addresses;
}
