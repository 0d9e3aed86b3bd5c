#include "net/CustomWinSocket.h"

#include <cstdio>
#include <vector>

#include "net/DNSResolver.h"
#include "net/NetSettings.h"

std::string SocketErrorText(int code, const std::string& api) {
  const std::string system = netbackend::NetErrorText(code);
  std::vector<char> buffer(system.size() + api.size() + 64);
  std::snprintf(buffer.data(), buffer.size(), "Socket error: %s (%d), on API '%s'", system.c_str(),
                code, api.c_str());
  return buffer.data();
}

TCustomWinSocket::TCustomWinSocket() : IPv6(GetNetSettings().IPv6) {}

TCustomWinSocket::~TCustomWinSocket() { Close(); }

void TCustomWinSocket::Open(const std::string& hostName, const std::string& address,
                            std::uint16_t port) {
  Close();
  // TimeOut bounds the whole opening, not each address: a name with many addresses that
  // do not answer must not multiply it.
  const TNetDeadline ownLimit = TNetDeadline::After(TimeOut > 0 ? static_cast<std::uint32_t>(TimeOut) : 0);
  const TNetDeadline& limit =
      Deadline.RemainingMs(TimeOut) < ownLimit.RemainingMs(TimeOut) ? Deadline : ownLimit;
  if (!netbackend::StartSockets()) throw ESocketError(SocketErrorText(netbackend::LastNetError(), "open"),
                                                      netbackend::LastNetError());
  std::vector<netbackend::TIpAddress> candidates;
  if (!hostName.empty()) {
    candidates = ResolveHostName(hostName, IPv6, limit);
  } else {
    netbackend::TIpAddress parsed;
    if (ParseDottedIPv4(address, parsed) || netbackend::ParseIPv6Literal(address, parsed))
      candidates.push_back(parsed);
  }
  if (candidates.empty()) {
    const int code = limit.Passed() ? netbackend::TimedOutError() : netbackend::HostNotFoundError();
    throw ESocketError(SocketErrorText(code, "open"), code);
  }
  int code = netbackend::TimedOutError();
  for (const netbackend::TIpAddress& candidate : candidates) {
    const int leftMs = limit.RemainingMs(TimeOut);
    if (leftMs <= 0) break;
    handle_ = netbackend::ConnectTcp(candidate, port, leftMs);
    if (handle_ != netbackend::kNoSocket) return;
    code = netbackend::LastNetError();
  }
  throw ESocketError(SocketErrorText(code, "open"), code);
}

// The socket is non-blocking, so a call waits here, and only as long as allowed.
int TCustomWinSocket::SendBuf(const void* data, int length) {
  if (!Connected() || length <= 0) return 0;
  for (;;) {
    const int sent = netbackend::SendBytes(handle_, static_cast<const char*>(data), length);
    if (sent > 0) return sent;
    if (sent == 0 || !netbackend::WouldBlock()) return 0;
    const int waitMs = Deadline.RemainingMs(TimeOut);
    if (waitMs <= 0 || netbackend::WaitWritable(handle_, waitMs) != 1) return 0;
  }
}

int TCustomWinSocket::ReceiveBuf(void* buffer, int size) {
  if (!Connected() || size <= 0) return 0;
  for (;;) {
    const int got = netbackend::ReceiveBytes(handle_, static_cast<char*>(buffer), size);
    if (got >= 0) return got;
    if (!netbackend::WouldBlock()) return 0;
    const int waitMs = Deadline.RemainingMs(TimeOut);
    if (waitMs <= 0 || netbackend::WaitReadable(handle_, waitMs) != 1) return 0;
  }
}

bool TCustomWinSocket::WaitForData(int milliseconds) {
  if (!Connected() || Deadline.Passed()) return false;
  return netbackend::WaitReadable(handle_, Deadline.RemainingMs(milliseconds)) == 1;
}

void TCustomWinSocket::Close() {
  if (!Connected()) return;
  netbackend::ShutdownSending(handle_);
  netbackend::CloseSocket(handle_);
  handle_ = netbackend::kNoSocket;
}
