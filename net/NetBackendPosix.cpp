// POSIX backend of the network clients: BSD sockets, libc time, dlopen.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <mutex>

#include "base/FileSystemUnit.h"
#include "net/NetBackend.h"

namespace netbackend {

namespace {

thread_local int lastError = 0;

// Same number as Winsock's WSAHOST_NOT_FOUND, so both trees report one code.
constexpr int kHostNotFound = 11001;

int Fd(SocketHandle socket) { return static_cast<int>(socket); }

socklen_t FillSockaddr(const TIpAddress& address, std::uint16_t port, sockaddr_storage& storage) {
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

bool FromSockaddr(const sockaddr* sa, TIpAddress& address) {
  address = TIpAddress();
  if (sa->sa_family == AF_INET6) {
    address.Family = 6;
    std::memcpy(address.Bytes, &reinterpret_cast<const sockaddr_in6*>(sa)->sin6_addr, 16);
    return true;
  }
  if (sa->sa_family == AF_INET) {
    address.Family = 4;
    std::memcpy(address.Bytes, &reinterpret_cast<const sockaddr_in*>(sa)->sin_addr, 4);
    return true;
  }
  return false;
}

void SetBlocking(int fd, bool blocking) {
  const int flags = fcntl(fd, F_GETFL, 0);
  fcntl(fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK));
}

}  // namespace

bool StartSockets() {
  // A peer that closes early must give a failed send, not end the process.
  static std::once_flag once;
  std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
  return true;
}

bool ParseIPv6Literal(const std::string& text, TIpAddress& address) {
  address = TIpAddress();
  if (inet_pton(AF_INET6, text.c_str(), address.Bytes) == 1) {
    address.Family = 6;
    return true;
  }
  return false;
}

std::string AddressText(const TIpAddress& address) {
  char buffer[INET6_ADDRSTRLEN] = {};
  inet_ntop(address.Family == 6 ? AF_INET6 : AF_INET, address.Bytes, buffer, sizeof buffer);
  return buffer;
}

std::vector<TIpAddress> SystemResolve(const std::string& hostName, bool allowIPv6) {
  std::vector<TIpAddress> v6, v4;
  addrinfo hints{};
  hints.ai_family = allowIPv6 ? AF_UNSPEC : AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(hostName.c_str(), nullptr, &hints, &list) != 0) {
    lastError = kHostNotFound;
    return {};
  }
  for (addrinfo* item = list; item != nullptr; item = item->ai_next) {
    TIpAddress address;
    if (FromSockaddr(item->ai_addr, address)) (address.Family == 6 ? v6 : v4).push_back(address);
  }
  freeaddrinfo(list);
  v6.insert(v6.end(), v4.begin(), v4.end());
  if (v6.empty()) lastError = kHostNotFound;
  return v6;
}

SocketHandle ConnectTcp(const TIpAddress& address, std::uint16_t port, int timeoutMs) {
  const int fd = ::socket(address.Family == 6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
  if (fd < 0) {
    lastError = errno;
    return kNoSocket;
  }
  sockaddr_storage storage;
  const socklen_t length = FillSockaddr(address, port, storage);
  SetBlocking(fd, false);
  int result = ::connect(fd, reinterpret_cast<sockaddr*>(&storage), length);
  if (result != 0 && errno == EINPROGRESS) {
    pollfd item{fd, POLLOUT, 0};
    result = -1;
    errno = ETIMEDOUT;
    if (::poll(&item, 1, timeoutMs) == 1) {
      int error = 0;
      socklen_t size = sizeof error;
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
      errno = error;
      result = error == 0 ? 0 : -1;
    }
  }
  if (result != 0) {
    lastError = errno;
    ::close(fd);
    return kNoSocket;
  }
  return fd;
}

int SendBytes(SocketHandle socket, const char* data, int length) {
  const ssize_t sent = ::send(Fd(socket), data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
  if (sent < 0) lastError = errno;
  return static_cast<int>(sent);
}

int ReceiveBytes(SocketHandle socket, char* buffer, int size) {
  const ssize_t got = ::recv(Fd(socket), buffer, static_cast<std::size_t>(size), 0);
  if (got < 0) lastError = errno;
  return static_cast<int>(got);
}

bool WouldBlock() { return lastError == EAGAIN || lastError == EWOULDBLOCK; }

namespace {

int WaitFor(SocketHandle socket, short events, int timeoutMs) {
  pollfd item{Fd(socket), events, 0};
  int result;
  do {
    result = ::poll(&item, 1, timeoutMs < 0 ? 0 : timeoutMs);
  } while (result < 0 && errno == EINTR);
  if (result < 0) lastError = errno;
  return result < 0 ? -1 : (result > 0 ? 1 : 0);
}

}  // namespace

int WaitReadable(SocketHandle socket, int timeoutMs) { return WaitFor(socket, POLLIN, timeoutMs); }

int WaitWritable(SocketHandle socket, int timeoutMs) { return WaitFor(socket, POLLOUT, timeoutMs); }

void ShutdownSending(SocketHandle socket) { ::shutdown(Fd(socket), SHUT_WR); }

void CloseSocket(SocketHandle socket) { ::close(Fd(socket)); }

SocketHandle OpenUdp(int family) {
  const int fd = ::socket(family == 6 ? AF_INET6 : AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) lastError = errno;
  return fd < 0 ? kNoSocket : fd;
}

bool SendDatagram(SocketHandle socket, const TIpAddress& address, std::uint16_t port,
                  const std::string& data) {
  sockaddr_storage storage;
  const socklen_t length = FillSockaddr(address, port, storage);
  const ssize_t sent = ::sendto(Fd(socket), data.data(), data.size(), MSG_NOSIGNAL,
                                reinterpret_cast<sockaddr*>(&storage), length);
  if (sent < 0) lastError = errno;
  return sent == static_cast<ssize_t>(data.size());
}

std::string ReceiveDatagram(SocketHandle socket, const TIpAddress& from, std::uint16_t port,
                            int timeoutMs) {
  timespec start{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  for (;;) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long elapsed = (now.tv_sec - start.tv_sec) * 1000 + (now.tv_nsec - start.tv_nsec) / 1000000;
    if (elapsed >= timeoutMs || WaitReadable(socket, static_cast<int>(timeoutMs - elapsed)) != 1)
      return {};
    char buffer[4096];
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    const ssize_t got = ::recvfrom(Fd(socket), buffer, sizeof buffer, 0,
                                   reinterpret_cast<sockaddr*>(&storage), &length);
    if (got < 0) {
      lastError = errno;
      return {};
    }
    // Only the server asked may answer; anything else on the port is dropped.
    TIpAddress sender;
    sockaddr_storage expected;
    FillSockaddr(from, port, expected);
    const std::uint16_t senderPort =
        storage.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port)
                                      : ntohs(reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    if (FromSockaddr(reinterpret_cast<sockaddr*>(&storage), sender) &&
        sender.Family == from.Family &&
        std::memcmp(sender.Bytes, from.Bytes, from.Family == 6 ? 16 : 4) == 0 && senderPort == port)
      return std::string(buffer, static_cast<std::size_t>(got));
  }
}

int LastNetError() { return lastError; }

int HostNotFoundError() { return kHostNotFound; }

int TimedOutError() { return ETIMEDOUT; }

std::string NetErrorText(int code) {
  if (code == kHostNotFound) return "No such host is known.";
  return std::strerror(code);
}

int LocalTimeZoneBias() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local) == nullptr) return 0;
  return static_cast<int>(-local.tm_gmtoff / 60);
}

TLocalTime LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  TLocalTime time;
  time.Year = local.tm_year + 1900;
  time.Month = local.tm_mon + 1;
  time.Day = local.tm_mday;
  time.DayOfWeek = local.tm_wday;
  time.Hour = local.tm_hour;
  time.Minute = local.tm_min;
  time.Second = local.tm_sec;
  return time;
}

// Through base's file streams, so that the fuzz build (whose files live in memory) downloads
// into memory too.
std::FILE* CreateNewFile(const std::string& path) { return OpenFileForWriting(path, TWriteMode::CreateNew); }

void* LoadSharedLibrary(const std::string& name) {
  return ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* SharedLibrarySymbol(void* library, const char* name) {
  return library == nullptr ? nullptr : ::dlsym(library, name);
}

}  // namespace netbackend
