// Peers for the network client tests, on 127.0.0.1 only.
//  - TScriptedServer: a TCP server inside the test that plays a script on every connection
//    and keeps what the client sent, for the exact dialogue cases.
//  - NetPeer(): the real servers that tests/peers/net-peers.sh started for this test list
//    (an independent SMTP server, nginx with HTTP and HTTPS); their ports and folders come
//    from the peers.env file named by ZAREL_NET_PEERS.
// Include before any header that includes base/FileSystemUnit.h (<windows.h> first).
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <wincrypt.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/NetSettings.h"

namespace nettest {

#ifdef _WIN32
using TPeerSocket = SOCKET;
constexpr TPeerSocket kNoPeerSocket = INVALID_SOCKET;
inline void ClosePeerSocket(TPeerSocket s) { closesocket(s); }
inline void StartPeerSockets() {
  static bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}
inline bool PeerReadable(TPeerSocket s, int ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval wait{ms / 1000, (ms % 1000) * 1000};
  return select(0, &set, nullptr, nullptr, &wait) > 0;
}
#else
using TPeerSocket = int;
constexpr TPeerSocket kNoPeerSocket = -1;
inline void ClosePeerSocket(TPeerSocket s) { close(s); }
inline void StartPeerSockets() {}
inline bool PeerReadable(TPeerSocket s, int ms) {
  pollfd item{s, POLLIN, 0};
  return poll(&item, 1, ms) > 0;
}
#endif

class TPeerConnection {
 public:
  TPeerConnection(TPeerSocket s, const std::atomic<bool>& stopping) : socket_(s), stopping_(stopping) {}

  void Send(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
      const int sent = ::send(socket_, text.data() + done, static_cast<int>(text.size() - done), 0);
      if (sent <= 0) return;
      done += static_cast<std::size_t>(sent);
    }
  }

  // Reads until marker has arrived (never for an empty one), the client closes, or the
  // time passes; what follows the marker stays for the next read.
  std::string ReadUntil(const std::string& marker, int timeoutMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::size_t found = std::string::npos;
    while ((marker.empty() || (found = pending_.find(marker)) == std::string::npos) && !closed_ &&
           std::chrono::steady_clock::now() < end && !stopping_) {
      if (!PeerReadable(socket_, 50)) continue;
      char buffer[8192];
      const int got = static_cast<int>(::recv(socket_, buffer, sizeof buffer, 0));
      if (got <= 0) {
        closed_ = true;
        break;
      }
      pending_.append(buffer, static_cast<std::size_t>(got));
    }
    const std::size_t take = found == std::string::npos ? pending_.size() : found + marker.size();
    const std::string text = pending_.substr(0, take);
    pending_.erase(0, take);
    Received += text;
    return text;
  }

  // One line without its CR LF.
  std::string ReadLine() {
    std::string line = ReadUntil("\r\n");
    if (line.size() >= 2) line.resize(line.size() - 2);
    return line;
  }

  // Everything until the client closes (or the time passes).
  std::string ReadToEnd(int timeoutMs = 10000) { return ReadUntil(std::string(), timeoutMs); }

  // Waits, sending nothing, until the server is stopped.
  void StaySilent() {
    while (!stopping_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }

  bool ClientClosed() const { return closed_; }
  std::string Received;

 private:
  TPeerSocket socket_;
  const std::atomic<bool>& stopping_;
  bool closed_ = false;
  std::string pending_;
};

class TScriptedServer {
 public:
  using TScript = std::function<void(TPeerConnection&)>;

  // Listens on 127.0.0.1, or on ::1 with ipv6 (Listening() is false where the host has no
  // IPv6 loopback).
  explicit TScriptedServer(TScript script, bool ipv6 = false) : script_(std::move(script)) {
    StartPeerSockets();
    listener_ = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
    sockaddr_storage storage{};
    socklen_t length;
    if (ipv6) {
      auto* address = reinterpret_cast<sockaddr_in6*>(&storage);
      address->sin6_family = AF_INET6;
      address->sin6_addr.s6_addr[15] = 1;
      length = sizeof(sockaddr_in6);
    } else {
      auto* address = reinterpret_cast<sockaddr_in*>(&storage);
      address->sin_family = AF_INET;
      address->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      length = sizeof(sockaddr_in);
    }
    listening_ = ::bind(listener_, reinterpret_cast<sockaddr*>(&storage), length) == 0 &&
                 ::listen(listener_, 16) == 0 &&
                 ::getsockname(listener_, reinterpret_cast<sockaddr*>(&storage), &length) == 0;
    port_ = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                       : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
    thread_ = std::thread([this] { AcceptLoop(); });
  }

  ~TScriptedServer() {
    stopping_ = true;
    thread_.join();
    ClosePeerSocket(listener_);
  }

  std::uint16_t Port() const { return port_; }
  bool Listening() const { return listening_; }
  int Connections() const { return connections_; }
  // What the client sent, per connection whose script has ended; waits (10 s at most) for
  // atLeast of them, since the client may finish before the script does.
  std::vector<std::string> Transcripts(std::size_t atLeast = 1) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      {
        std::lock_guard<std::mutex> hold(mutex_);
        if (transcripts_.size() >= atLeast || std::chrono::steady_clock::now() >= end) return transcripts_;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

 private:
  void AcceptLoop() {
    while (!stopping_) {
      if (!listening_ || !PeerReadable(listener_, 50)) {
        if (!listening_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        continue;
      }
      const TPeerSocket client = ::accept(listener_, nullptr, nullptr);
      if (client == kNoPeerSocket) continue;
      ++connections_;
      TPeerConnection connection(client, stopping_);
      script_(connection);
      ClosePeerSocket(client);
      std::lock_guard<std::mutex> hold(mutex_);
      transcripts_.push_back(connection.Received);
    }
  }

  TScript script_;
  TPeerSocket listener_ = kNoPeerSocket;
  std::uint16_t port_ = 0;
  bool listening_ = false;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> transcripts_;
  std::thread thread_;
};

// A port on 127.0.0.1 that nothing listens on (bound once, then released).
inline std::uint16_t ClosedPort() {
  StartPeerSockets();
  const TPeerSocket s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  ClosePeerSocket(s);
  return ntohs(address.sin_port);
}

// A Unix path of the peer scripts as this program opens it (Wine maps Z: to /).
inline std::string PeerPath(const std::string& unixPath) {
#ifdef _WIN32
  std::string path = "Z:" + unixPath;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
#else
  return unixPath;
#endif
}

// KEY=VALUE lines of peers.env; empty when the program was not started by CTest.
inline const std::map<std::string, std::string>& NetPeers() {
  static const std::map<std::string, std::string> peers = [] {
    std::map<std::string, std::string> values;
    const char* folder = std::getenv("ZAREL_NET_PEERS");
    if (folder == nullptr || *folder == '\0') return values;
    std::ifstream file(PeerPath(std::string(folder) + "/peers.env"));
    std::string line;
    while (std::getline(file, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const std::size_t equals = line.find('=');
      if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
  }();
  return peers;
}

inline std::string NetPeer(const std::string& key) {
  const auto found = NetPeers().find(key);
  return found == NetPeers().end() ? std::string() : found->second;
}

// Points the temporary folder of this process (TMPDIR, or TMP and TEMP on Windows) at a
// folder of the test for its lifetime, so a test sees exactly the files the code left.
class TPrivateTemp {
 public:
  // folder as the host's system calls take it (HostPath).
  explicit TPrivateTemp(const std::string& folder) { Set(folder); }
  ~TPrivateTemp() { Set(std::string()); }

 private:
  static void Set(const std::string& folder) {
#ifdef _WIN32
    static const std::string savedTmp = Get("TMP"), savedTemp = Get("TEMP");
    SetEnvironmentVariableA("TMP", (folder.empty() ? savedTmp : folder).c_str());
    SetEnvironmentVariableA("TEMP", (folder.empty() ? savedTemp : folder).c_str());
#else
    static const char* saved = std::getenv("TMPDIR");
    static const std::string savedTmpdir = saved != nullptr ? saved : "";
    const std::string value = folder.empty() ? savedTmpdir : folder;
    if (value.empty()) unsetenv("TMPDIR"); else setenv("TMPDIR", value.c_str(), 1);
#endif
  }
#ifdef _WIN32
  static std::string Get(const char* name) {
    char buffer[1024] = {};
    const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
    return length > 0 && length < sizeof buffer ? std::string(buffer, length) : std::string();
  }
#endif
};

// Points the suite's resolver at a DNS server on 127.0.0.1 that never answers (5 s a wait,
// 3 attempts) for its lifetime.
class TSilentDnsScope {
 public:
  TSilentDnsScope() : saved_(GetNetSettings()) {
    StartPeerSockets();
    socket_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    TNetSettings settings = saved_;
    settings.DnsServers = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    settings.ResolverTimeoutSeconds = 5;
    settings.ResolverAttempts = 3;
    SetNetSettings(settings);
  }
  ~TSilentDnsScope() {
    SetNetSettings(saved_);
    ClosePeerSocket(socket_);
  }

 private:
  TNetSettings saved_;
  TPeerSocket socket_;
};

// Makes the peers' test authority (CA_FILE) trusted for as long as it lives, and only where
// the test runs. On the host the test list hands it to OpenSSL through SSL_CERT_FILE in the
// test's own environment, so there is nothing to do here. Under Wine the chain engine takes
// its roots from the system Root store: the host's roots (copied into the machine's
// registry) plus the user's registry part. Adding through the system store itself is
// accepted and silently lost, so the authority goes into a registry store on the user's
// key of the test's own prefix, and is taken out again at the end. Construct it before the
// first https request of the process: the chain engine reads the store once.
class TTrustTestAuthority {
 public:
  TTrustTestAuthority() {
#ifdef _WIN32
    std::ifstream file(PeerPath(NetPeer("CA_FILE")));
    const std::string pem((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    DWORD size = 0;
    if (pem.empty() || !CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
      return;
    der_.resize(size);
    if (!CryptStringToBinaryA(pem.c_str(), 0, CRYPT_STRING_BASE64HEADER, der_.data(), &size, nullptr, nullptr)) return;
    // Written to the registry when the store is closed.
    WithUserRoot([this](HCERTSTORE store) {
      CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der_.data(), static_cast<DWORD>(der_.size()),
                                       CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    });
#endif
  }
  ~TTrustTestAuthority() {
#ifdef _WIN32
    if (der_.empty()) return;
    WithUserRoot([this](HCERTSTORE store) {
      PCCERT_CONTEXT wanted = CertCreateCertificateContext(X509_ASN_ENCODING, der_.data(), static_cast<DWORD>(der_.size()));
      if (wanted == nullptr) return;
      if (PCCERT_CONTEXT found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted, nullptr))
        CertDeleteCertificateFromStore(found);  // frees found too
      CertFreeCertificateContext(wanted);
    });
#endif
  }
  TTrustTestAuthority(const TTrustTestAuthority&) = delete;
  TTrustTestAuthority& operator=(const TTrustTestAuthority&) = delete;

 private:
#ifdef _WIN32
  template <typename Use>
  static void WithUserRoot(Use use) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\SystemCertificates\\Root", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
      return;
    if (HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_REG, 0, 0, 0, key)) {
      use(store);
      CertCloseStore(store, 0);
    }
    RegCloseKey(key);
  }
  std::vector<BYTE> der_;
#endif
};

}  // namespace nettest

// Tests against the real peers need the fixture of the test list.
#define REQUIRE_NET_PEERS()                                                      \
  do {                                                                           \
    if (nettest::NetPeers().empty()) GTEST_SKIP() << "real peers not started"; \
  } while (0)
