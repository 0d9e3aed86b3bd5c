// Name look-up for the network clients: through the suite's own DNS servers when the
// configuration names any, through the system resolver otherwise. The suite's path is a
// small DNS client (one question, A or AAAA, over UDP) so that the setup reaches hosts the
// way the installed servers will.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/NetBackend.h"
#include "net/NetDeadline.h"

constexpr std::uint16_t kDNSTypeA = 1;
constexpr std::uint16_t kDNSTypeAAAA = 28;

// The question packet: recursion desired, class IN. Empty when the name has a label of
// more than 63 characters or is longer than 253 characters.
std::string BuildDNSQuery(std::uint16_t id, const std::string& hostName, std::uint16_t type);

enum class TDNSAnswer { Addresses, NoSuchName, NoAddresses, Invalid };

// Reads an answer to the question with this id and type; addresses of that type (CNAME
// chains are followed implicitly: every record of the type in the answer counts).
TDNSAnswer ParseDNSAnswer(const std::string& packet, std::uint16_t id, std::uint16_t type,
                          std::vector<netbackend::TIpAddress>& addresses);

struct TDNSServer {
  netbackend::TIpAddress Address;
  std::uint16_t Port = 53;
};
// "a;b;c" with entries "1.2.3.4", "1.2.3.4:5353", "::1", "[::1]:5353"; bad entries are skipped.
std::vector<TDNSServer> ParseDNSServerList(const std::string& list);

// Strict dotted IPv4 ("a.b.c.d", each 0..255, digits only).
bool ParseDottedIPv4(const std::string& text, netbackend::TIpAddress& address);

// The addresses of a host name by the configured path (see above); IPv6 answers first
// and only when allowIPv6. Empty when the name does not resolve before the deadline.
std::vector<netbackend::TIpAddress> ResolveHostName(const std::string& hostName, bool allowIPv6,
                                                    const TNetDeadline& deadline = TNetDeadline());
