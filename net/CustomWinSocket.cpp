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
  if (!netbackend::StartSockets()) throw ESocketError(SocketErrorText(netbackend::LastNetError(), "open"),
                                                      netbackend::LastNetError());
  std::vector<netbackend::TIpAddress> candidates;
  if (!hostName.empty()) {
    candidates = ResolveHostName(hostName, IPv6);
  } else {
    netbackend::TIpAddress parsed;
    if (ParseDottedIPv4(address, parsed) || netbackend::ParseIPv6Literal(address, parsed))
      candidates.push_back(parsed);
  }
  if (candidates.empty()) {
    const int code = netbackend::HostNotFoundError();
    throw ESocketError(SocketErrorText(code, "open"), code);
  }
  for (const netbackend::TIpAddress& candidate : candidates) {
    handle_ = netbackend::ConnectTcp(candidate, port, TimeOut);
    if (handle_ != netbackend::kNoSocket) return;
  }
  const int code = netbackend::LastNetError();
  throw ESocketError(SocketErrorText(code, "open"), code);
}

int TCustomWinSocket::SendBuf(const void* data, int length) {
  if (!Connected() || length <= 0) return 0;
  const int sent = netbackend::SendBytes(handle_, static_cast<const char*>(data), length);
  return sent > 0 ? sent : 0;
}

int TCustomWinSocket::ReceiveBuf(void* buffer, int size) {
  if (!Connected() || size <= 0) return 0;
  const int got = netbackend::ReceiveBytes(handle_, static_cast<char*>(buffer), size);
  return got > 0 ? got : 0;
}

bool TCustomWinSocket::WaitForData(int milliseconds) {
  return Connected() && netbackend::WaitReadable(handle_, milliseconds) == 1;
}

void TCustomWinSocket::Close() {
  if (!Connected()) return;
  netbackend::ShutdownSending(handle_);
  netbackend::CloseSocket(handle_);
  handle_ = netbackend::kNoSocket;
}
