// Win32 backend of the network clients: Winsock, the system clock and time-zone
// information, LoadLibrary.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstring>
#include <mutex>

#include "base/FileSystemUnit.h"
#include "net/NetBackend.h"
#include "base/SafeLibrary.h"

namespace netbackend {

namespace {

thread_local int lastError = 0;

SOCKET Sock(SocketHandle socket) { return static_cast<SOCKET>(socket); }

int FillSockaddr(const TIpAddress& address, std::uint16_t port, sockaddr_storage& storage) {
  std::memset(&storage, 0, sizeof storage);
  if (address.Family == 6) {
    auto* in6 = reinterpret_cast<sockaddr_in6*>(&storage);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(port);
    std::memcpy(&in6->sin6_addr, address.Bytes, 16);
    return sizeof(sockaddr_in6);
  }
  auto* in4 = reinterpret_cast<sockaddr_in*>(&storage);
  in4->sin_family = AF_INET;
  in4->sin_port = htons(port);
  std::memcpy(&in4->sin_addr, address.Bytes, 4);
  return sizeof(sockaddr_in);
}

bool FromSockaddr(const sockaddr* sa, TIpAddress& address, std::uint16_t* port = nullptr) {
  address = TIpAddress();
  if (sa->sa_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(sa);
    address.Family = 6;
    std::memcpy(address.Bytes, &in6->sin6_addr, 16);
    if (port != nullptr) *port = ntohs(in6->sin6_port);
    return true;
  }
  if (sa->sa_family == AF_INET) {
    const auto* in4 = reinterpret_cast<const sockaddr_in*>(sa);
    address.Family = 4;
    std::memcpy(address.Bytes, &in4->sin_addr, 4);
    if (port != nullptr) *port = ntohs(in4->sin_port);
    return true;
  }
  return false;
}

void SetBlocking(SOCKET s, bool blocking) {
  u_long mode = blocking ? 0 : 1;
  ioctlsocket(s, FIONBIO, &mode);
}

// getaddrinfo and its companions exist from Windows XP on; earlier systems (9x, NT 4, 2000)
// must still load the program, so they are looked up at run time and IPv4 name look-up falls
// back to gethostbyname.
struct TAddrInfoApi {
  decltype(&getaddrinfo) GetAddrInfo = nullptr;
  decltype(&freeaddrinfo) FreeAddrInfo = nullptr;
  decltype(&getnameinfo) GetNameInfo = nullptr;
  bool Present() const { return GetAddrInfo != nullptr && FreeAddrInfo != nullptr && GetNameInfo != nullptr; }
};

const TAddrInfoApi& AddrInfoApi() {
  static const TAddrInfoApi api = [] {
    TAddrInfoApi found;
    for (const char* name : {"ws2_32.dll", "wship6.dll"}) {
      HMODULE library = GetModuleHandleA(name);
      if (library == nullptr) library = LoadSystemLibrary(name);
      if (library == nullptr) continue;
      found.GetAddrInfo = reinterpret_cast<decltype(&getaddrinfo)>(
          reinterpret_cast<void*>(GetProcAddress(library, "getaddrinfo")));
      found.FreeAddrInfo = reinterpret_cast<decltype(&freeaddrinfo)>(
          reinterpret_cast<void*>(GetProcAddress(library, "freeaddrinfo")));
      found.GetNameInfo = reinterpret_cast<decltype(&getnameinfo)>(
          reinterpret_cast<void*>(GetProcAddress(library, "getnameinfo")));
      if (found.Present()) break;
      found = TAddrInfoApi();
    }
    return found;
  }();
  return api;
}

timeval Timeval(int timeoutMs) {
  if (timeoutMs < 0) timeoutMs = 0;
  timeval value;
  value.tv_sec = timeoutMs / 1000;
  value.tv_usec = (timeoutMs % 1000) * 1000;
  return value;
}

}  // namespace

bool StartSockets() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    WSADATA data;
    started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  });
  return started;
}

bool ParseIPv6Literal(const std::string& text, TIpAddress& address) {
  address = TIpAddress();
  const TAddrInfoApi& api = AddrInfoApi();
  if (!StartSockets() || !api.Present() || text.find(':') == std::string::npos) return false;
  addrinfo hints{};
  hints.ai_family = AF_INET6;
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* list = nullptr;
  if (api.GetAddrInfo(text.c_str(), nullptr, &hints, &list) != 0) return false;
  const bool ok = list != nullptr && FromSockaddr(list->ai_addr, address);
  api.FreeAddrInfo(list);
  return ok;
}

std::string AddressText(const TIpAddress& address) {
  if (address.Family == 4) {
    char text[16];
    wsprintfA(text, "%u.%u.%u.%u", address.Bytes[0], address.Bytes[1], address.Bytes[2],
              address.Bytes[3]);
    return text;
  }
  const TAddrInfoApi& api = AddrInfoApi();
  if (!api.Present()) return {};
  sockaddr_storage storage;
  const int length = FillSockaddr(address, 0, storage);
  char buffer[NI_MAXHOST] = {};
  if (api.GetNameInfo(reinterpret_cast<sockaddr*>(&storage), length, buffer, sizeof buffer,
                      nullptr, 0, NI_NUMERICHOST) != 0)
    return {};
  return buffer;
}

std::vector<TIpAddress> SystemResolve(const std::string& hostName, bool allowIPv6) {
  std::vector<TIpAddress> v6, v4;
  if (!StartSockets()) return {};
  const TAddrInfoApi& api = AddrInfoApi();
  if (!api.Present()) {
    const hostent* host = gethostbyname(hostName.c_str());
    if (host == nullptr || host->h_addrtype != AF_INET || host->h_length != 4) {
      lastError = WSAGetLastError() != 0 ? WSAGetLastError() : WSAHOST_NOT_FOUND;
      return {};
    }
    for (char** item = host->h_addr_list; *item != nullptr; ++item) {
      TIpAddress address;
      address.Family = 4;
      std::memcpy(address.Bytes, *item, 4);
      v4.push_back(address);
    }
    return v4;
  }
  addrinfo hints{};
  hints.ai_family = allowIPv6 ? AF_UNSPEC : AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  const int result = api.GetAddrInfo(hostName.c_str(), nullptr, &hints, &list);
  if (result != 0) {
    lastError = result;
    return {};
  }
  for (addrinfo* item = list; item != nullptr; item = item->ai_next) {
    TIpAddress address;
    if (FromSockaddr(item->ai_addr, address)) (address.Family == 6 ? v6 : v4).push_back(address);
  }
  api.FreeAddrInfo(list);
  v6.insert(v6.end(), v4.begin(), v4.end());
  if (v6.empty()) lastError = WSAHOST_NOT_FOUND;
  return v6;
}

SocketHandle ConnectTcp(const TIpAddress& address, std::uint16_t port, int timeoutMs) {
  if (!StartSockets()) {
    lastError = WSANOTINITIALISED;
    return kNoSocket;
  }
  const SOCKET s = ::socket(address.Family == 6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    lastError = WSAGetLastError();
    return kNoSocket;
  }
  sockaddr_storage storage;
  const int length = FillSockaddr(address, port, storage);
  SetBlocking(s, false);
  int result = ::connect(s, reinterpret_cast<sockaddr*>(&storage), length);
  int error = result == 0 ? 0 : WSAGetLastError();
  if (result != 0 && error == WSAEWOULDBLOCK) {
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval wait = Timeval(timeoutMs);
    error = WSAETIMEDOUT;
    if (::select(0, nullptr, &writable, &failed, &wait) > 0) {
      int soError = 0;
      int size = sizeof soError;
      getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &size);
      error = FD_ISSET(s, &writable) && soError == 0 ? 0 : (soError != 0 ? soError : WSAECONNREFUSED);
    }
  }
  if (error != 0) {
    lastError = error;
    ::closesocket(s);
    return kNoSocket;
  }
  return static_cast<SocketHandle>(s);
}

int SendBytes(SocketHandle socket, const char* data, int length) {
  const int sent = ::send(Sock(socket), data, length, 0);
  if (sent == SOCKET_ERROR) {
    lastError = WSAGetLastError();
    return -1;
  }
  return sent;
}

int ReceiveBytes(SocketHandle socket, char* buffer, int size) {
  const int got = ::recv(Sock(socket), buffer, size, 0);
  if (got == SOCKET_ERROR) {
    lastError = WSAGetLastError();
    return -1;
  }
  return got;
}

bool WouldBlock() { return lastError == WSAEWOULDBLOCK; }

int WaitReadable(SocketHandle socket, int timeoutMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Sock(socket), &readable);
  timeval wait = Timeval(timeoutMs);
  const int result = ::select(0, &readable, nullptr, nullptr, &wait);
  if (result == SOCKET_ERROR) {
    lastError = WSAGetLastError();
    return -1;
  }
  return result > 0 ? 1 : 0;
}

int WaitWritable(SocketHandle socket, int timeoutMs) {
  // A failed connection shows in the exception set; the next send then reports it.
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(Sock(socket), &writable);
  FD_SET(Sock(socket), &failed);
  timeval wait = Timeval(timeoutMs);
  const int result = ::select(0, nullptr, &writable, &failed, &wait);
  if (result == SOCKET_ERROR) {
    lastError = WSAGetLastError();
    return -1;
  }
  return result > 0 ? 1 : 0;
}

void ShutdownSending(SocketHandle socket) { ::shutdown(Sock(socket), SD_SEND); }

void CloseSocket(SocketHandle socket) { ::closesocket(Sock(socket)); }

SocketHandle OpenUdp(int family) {
  if (!StartSockets()) return kNoSocket;
  const SOCKET s = ::socket(family == 6 ? AF_INET6 : AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) {
    lastError = WSAGetLastError();
    return kNoSocket;
  }
  return static_cast<SocketHandle>(s);
}

bool SendDatagram(SocketHandle socket, const TIpAddress& address, std::uint16_t port,
                  const std::string& data) {
  sockaddr_storage storage;
  const int length = FillSockaddr(address, port, storage);
  const int sent = ::sendto(Sock(socket), data.data(), static_cast<int>(data.size()), 0,
                            reinterpret_cast<sockaddr*>(&storage), length);
  if (sent == SOCKET_ERROR) lastError = WSAGetLastError();
  return sent == static_cast<int>(data.size());
}

std::string ReceiveDatagram(SocketHandle socket, const TIpAddress& from, std::uint16_t port,
                            int timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    const int elapsed = static_cast<int>(GetTickCount() - start);
    if (elapsed >= timeoutMs || WaitReadable(socket, timeoutMs - elapsed) != 1) return {};
    char buffer[4096];
    sockaddr_storage storage{};
    int length = sizeof storage;
    const int got = ::recvfrom(Sock(socket), buffer, sizeof buffer, 0,
                               reinterpret_cast<sockaddr*>(&storage), &length);
    if (got == SOCKET_ERROR) {
      lastError = WSAGetLastError();
      // An ICMP "port unreachable" from an earlier datagram shows here; keep waiting.
      if (lastError == WSAECONNRESET) continue;
      return {};
    }
    // Only the server asked may answer; anything else on the port is dropped.
    TIpAddress sender;
    std::uint16_t senderPort = 0;
    if (FromSockaddr(reinterpret_cast<sockaddr*>(&storage), sender, &senderPort) &&
        sender.Family == from.Family &&
        std::memcmp(sender.Bytes, from.Bytes, from.Family == 6 ? 16 : 4) == 0 && senderPort == port)
      return std::string(buffer, static_cast<std::size_t>(got));
  }
}

int LastNetError() { return lastError; }

int HostNotFoundError() { return WSAHOST_NOT_FOUND; }

int TimedOutError() { return WSAETIMEDOUT; }

std::string NetErrorText(int code) {
  char* buffer = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = length > 0 && buffer != nullptr ? std::string(buffer, length) : std::string();
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  return text;
}

int LocalTimeZoneBias() {
  TIME_ZONE_INFORMATION zone;
  switch (GetTimeZoneInformation(&zone)) {
    case TIME_ZONE_ID_STANDARD: return zone.Bias + zone.StandardBias;
    case TIME_ZONE_ID_DAYLIGHT: return zone.Bias + zone.DaylightBias;
    case TIME_ZONE_ID_INVALID: return 0;
    default: return zone.Bias;
  }
}

TLocalTime LocalTimeNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  TLocalTime time;
  time.Year = now.wYear;
  time.Month = now.wMonth;
  time.Day = now.wDay;
  time.DayOfWeek = now.wDayOfWeek;
  time.Hour = now.wHour;
  time.Minute = now.wMinute;
  time.Second = now.wSecond;
  return time;
}

std::FILE* CreateNewFile(const std::string& path) {
  const int fd = _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
                       _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* file = _fdopen(fd, "wb");
  if (file == nullptr) _close(fd);
  return file;
}

void* LoadSharedLibrary(const std::string& name) {
  return reinterpret_cast<void*>(LoadSystemLibrary(name));
}

void* SharedLibrarySymbol(void* library, const char* name) {
  if (library == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // namespace netbackend
