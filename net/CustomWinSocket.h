// The suite's blocking socket class, used for one TCP client connection at a time.
// Portable: Winsock or BSD sockets behind the network backend.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "net/NetBackend.h"
#include "net/NetDeadline.h"

constexpr int kDefaultSocketTimeOut = 60000;

// Raised by Open: "Socket error: <system text> (<number>), on API 'open'".
class ESocketError : public std::runtime_error {
 public:
  ESocketError(const std::string& message, int code) : std::runtime_error(message), Code(code) {}
  int Code;
};

std::string SocketErrorText(int code, const std::string& api);

class TCustomWinSocket {
 public:
  // The address family follows the settings' IPv6 byte at construction.
  TCustomWinSocket();
  ~TCustomWinSocket();
  TCustomWinSocket(const TCustomWinSocket&) = delete;
  TCustomWinSocket& operator=(const TCustomWinSocket&) = delete;

  // Connects to the host name when one is given (resolved by ResolveHostName), else to the
  // address (dotted IPv4, or an IPv6 literal). Every address of the name is tried in turn;
  // the look-up and all the attempts together end within TimeOut and by the Deadline.
  // Throws ESocketError when no connection comes about by then.
  void Open(const std::string& hostName, const std::string& address, std::uint16_t port);
  // Bytes sent (possibly fewer than given), 0 on error, when closed, or when the peer
  // takes nothing for TimeOut or until the Deadline.
  int SendBuf(const void* data, int length);
  // Bytes received, 0 at the end of the stream, on error, when closed, or when nothing
  // arrives for TimeOut or until the Deadline.
  int ReceiveBuf(void* buffer, int size);
  // True when data (or the end of the stream) can be read within the time (and before the
  // Deadline).
  bool WaitForData(int milliseconds);
  // Shuts the sending side down, then closes. Safe to call twice.
  void Close();

  bool Connected() const { return handle_ != netbackend::kNoSocket; }
  netbackend::SocketHandle Handle() const { return handle_; }

  int TimeOut = kDefaultSocketTimeOut;
  bool IPv6 = false;
  // The operation's deadline: no wait of this connection, from the look-up on, lasts past it.
  TNetDeadline Deadline;

 private:
  netbackend::SocketHandle handle_ = netbackend::kNoSocket;
};
