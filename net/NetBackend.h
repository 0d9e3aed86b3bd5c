// The few system calls behind the network clients, one backend per platform
// (NetBackendWin32.cpp: Winsock and Win32; NetBackendPosix.cpp: BSD sockets and libc).
// Everything above this seam is portable. Calls report failure by result and keep the
// system's error number for LastNetError().
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace netbackend {

using SocketHandle = std::intptr_t;
constexpr SocketHandle kNoSocket = -1;

// An IPv4 (Family 4, first four bytes used) or IPv6 (Family 6) address.
struct TIpAddress {
  int Family = 0;
  std::uint8_t Bytes[16] = {};
};

// Once per process; later calls are free. False when the socket library cannot start.
bool StartSockets();

// An IPv6 literal (no name look-up, no brackets).
bool ParseIPv6Literal(const std::string& text, TIpAddress& address);
std::string AddressText(const TIpAddress& address);

// The system resolver. IPv6 answers come first and only when allowIPv6.
std::vector<TIpAddress> SystemResolve(const std::string& hostName, bool allowIPv6);

// Connects a TCP socket within timeoutMs. On failure the result is kNoSocket and
// LastNetError() holds the reason. The socket stays non-blocking: every send and receive
// returns at once, and the callers wait with WaitReadable / WaitWritable against their
// deadline (a blocking call could outlast it).
SocketHandle ConnectTcp(const TIpAddress& address, std::uint16_t port, int timeoutMs);
// Bytes written, or -1 (WouldBlock() when the send buffer is full).
int SendBytes(SocketHandle socket, const char* data, int length);
// Bytes read, 0 at the end of the stream, -1 on error (WouldBlock() when nothing waits).
int ReceiveBytes(SocketHandle socket, char* buffer, int size);
// The last failed send or receive only found the socket not ready.
bool WouldBlock();
// 1 readable (data or end of stream), 0 time-out, -1 error.
int WaitReadable(SocketHandle socket, int timeoutMs);
// 1 writable (or failed, which the next send reports), 0 time-out, -1 error.
int WaitWritable(SocketHandle socket, int timeoutMs);
void ShutdownSending(SocketHandle socket);
void CloseSocket(SocketHandle socket);

// A datagram socket for the family; kNoSocket on failure.
SocketHandle OpenUdp(int family);
bool SendDatagram(SocketHandle socket, const TIpAddress& address, std::uint16_t port,
                  const std::string& data);
// One datagram from address:port, waiting at most timeoutMs; empty on time-out or error.
std::string ReceiveDatagram(SocketHandle socket, const TIpAddress& from, std::uint16_t port,
                            int timeoutMs);

int LastNetError();
// The error number the socket layer gives for a name that does not resolve.
int HostNotFoundError();
// The error number of a connection attempt that ran out of time.
int TimedOutError();
// The system's text for an error number of the socket layer.
std::string NetErrorText(int code);

// Minutes west of UTC in effect now (daylight saving included); 0 when unknown.
int LocalTimeZoneBias();

struct TLocalTime {
  int Year = 0, Month = 0, Day = 0, DayOfWeek = 0;  // month 1..12, day of week 0 = Sunday
  int Hour = 0, Minute = 0, Second = 0;
};
TLocalTime LocalTimeNow();

// Creates a file that must not exist yet (never replaces one). Nullptr when it exists or
// cannot be created. The path is in Windows form.
std::FILE* CreateNewFile(const std::string& path);

// A shared library by file name, and a symbol from it; nullptr when missing.
void* LoadSharedLibrary(const std::string& name);
void* SharedLibrarySymbol(void* library, const char* name);

}  // namespace netbackend
