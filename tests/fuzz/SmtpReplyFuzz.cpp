// Fuzz target for the SMTP client's reply reader: the bytes arrive in pieces whose sizes the
// input chooses, as a server's replies do; and for the DNS answer reader beside it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "net/DNSResolver.h"
#include "net/SMTPClientUnit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t pieceSize = 1 + data[0] % 255;  // receives are at most 255 bytes
  const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  TSMTPReplyBuffer reply;
  for (std::size_t at = 0; at < bytes.size(); at += pieceSize) {
    const std::string piece = bytes.substr(at, pieceSize);
    const bool complete = reply.Append(piece.data(), piece.size());
    // The buffer never grows past the cap by more than one receive.
    if (reply.Text().size() >= kSMTPReplyMax + 255) __builtin_trap();
    if (complete) {
      const int code = SMTPReplyCode(reply.Text());
      if (code < 0 || code > 999) __builtin_trap();
      reply.Clear();
    }
  }
  NormalizeEnvelopeSender(bytes);
  SplitRecipients(bytes);
  DotStuff(bytes);

  std::vector<netbackend::TIpAddress> addresses;
  const std::uint16_t id = bytes.size() >= 2 ? static_cast<std::uint16_t>((static_cast<std::uint8_t>(bytes[0]) << 8) |
                                                                        static_cast<std::uint8_t>(bytes[1]))
                                             : 0;
  ParseDNSAnswer(bytes, id, kDNSTypeA, addresses);
  ParseDNSAnswer(bytes, id, kDNSTypeAAAA, addresses);
  ParseDNSServerList(bytes);
  return 0;
}
