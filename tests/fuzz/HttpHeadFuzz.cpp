// Fuzz target for the HTTP client's handling of what a server sends: the head split, its
// fields and status rules, the redirect address built from a Location, and address splitting.
#include <cstddef>
#include <cstdint>
#include <string>

#include "net/HTTPClientUnit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string received(reinterpret_cast<const char*>(data), size);
  std::string head, body;
  if (!SplitResponseHead(received, head, body)) head = received;
  if (head.size() + body.size() + 2 > received.size() + 2) __builtin_trap();
  HeadIsOK(head);
  HeadIsRedirect(head);
  const std::string cookie = HeadFieldValue(head, "Set-Cookie");
  const std::string location = HeadFieldValue(head, "Location");
  WithoutCredentials(head);

  // The same bytes as an address the list or a server could hand over.
  const THttpTarget target = SplitHttpAddress(received, std::string());
  const THttpTarget fixed = SplitHttpAddress("http://127.0.0.1:8080/products/list.xml", std::string());
  const std::string next = RedirectAddress(fixed, std::string(), location);
  // Whatever a server says, a followed redirect is a web address.
  if (next.find("://") != std::string::npos) {
    std::string scheme = next.substr(0, next.find("://"));
    for (char& c : scheme)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (scheme != "http" && scheme != "https") __builtin_trap();
  }
  if (target.Valid) RedirectAddress(target, std::string(), received);
  const std::string resolved = ResolveRelativeLocation(target.Path, location);
  if (resolved.find("/../") != std::string::npos && resolved.find('?') == std::string::npos) __builtin_trap();
  PercentDecode(received);
  Base64Encode(cookie);
  return 0;
}
