// Fuzz target for the DNS client's answer reader: names with compression pointers (loops,
// pointers forward and past the end), records cut short, counts that lie. The input is the
// reply; its first two bytes are taken as the question's id so the reader looks past the header.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "net/DNSResolver.h"

namespace {

void ReadAnswer(const std::string& packet, std::uint16_t id, std::uint16_t type, int family) {
  std::vector<netbackend::TIpAddress> addresses;
  const TDNSAnswer answer = ParseDNSAnswer(packet, id, type, addresses);
  // Addresses come with an answer that has some (a damaged reply's are not looked at), each of
  // the family asked for, and no more of them than the packet can hold (4 or 16 bytes each,
  // 11 more a record).
  if (answer == TDNSAnswer::Addresses && addresses.empty()) __builtin_trap();
  if (answer == TDNSAnswer::NoAddresses && !addresses.empty()) __builtin_trap();
  if (addresses.size() * (family == 4 ? 15 : 27) > packet.size()) __builtin_trap();
  for (const netbackend::TIpAddress& address : addresses) {
    if (address.Family != addresses.front().Family) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string packet(reinterpret_cast<const char*>(data), size);
  const std::uint16_t id = size >= 2 ? static_cast<std::uint16_t>(data[0] << 8 | data[1]) : 0;
  ReadAnswer(packet, id, kDNSTypeA, 4);
  ReadAnswer(packet, id, kDNSTypeAAAA, 6);
  // A reply that is our own question echoed back holds no address.
  const std::string query = BuildDNSQuery(id, packet.substr(0, 80), kDNSTypeA);
  if (!query.empty()) {
    std::vector<netbackend::TIpAddress> addresses;
    if (ParseDNSAnswer(query, id, kDNSTypeA, addresses) == TDNSAnswer::Addresses) __builtin_trap();
  }
  ParseDNSServerList(packet);
  return 0;
}
