#include "net/TLSLayer.h"

#include <mutex>

namespace {

using Fn_OPENSSL_init_ssl = int (*)(unsigned long long, const void*);
using Fn_TLS_client_method = const void* (*)();
using Fn_SSL_CTX_new = void* (*)(const void*);
using Fn_SSL_new = void* (*)(void*);
using Fn_SSL_set_fd = int (*)(void*, int);
using Fn_SSL_ctrl = long (*)(void*, int, long, void*);
using Fn_SSL_connect = int (*)(void*);
using Fn_SSL_read = int (*)(void*, void*, int);
using Fn_SSL_write = int (*)(void*, const void*, int);
using Fn_SSL_pending = int (*)(const void*);
using Fn_SSL_free = void (*)(void*);

constexpr int kSSLCtrlSetTlsExtHostName = 55;
constexpr long kTlsExtNameTypeHostName = 0;

struct TOpenSSL {
  bool Loaded = false;
  void* Context = nullptr;
  Fn_SSL_new SSL_new = nullptr;
  Fn_SSL_set_fd SSL_set_fd = nullptr;
  Fn_SSL_ctrl SSL_ctrl = nullptr;
  Fn_SSL_connect SSL_connect = nullptr;
  Fn_SSL_read SSL_read = nullptr;
  Fn_SSL_write SSL_write = nullptr;
  Fn_SSL_pending SSL_pending = nullptr;
  Fn_SSL_free SSL_free = nullptr;
};

void* LoadFirst(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    if (void* library = netbackend::LoadSharedLibrary(name)) return library;
  }
  return nullptr;
}

template <typename Fn>
bool Bind(void* library, const char* name, Fn& target) {
  target = reinterpret_cast<Fn>(netbackend::SharedLibrarySymbol(library, name));
  return target != nullptr;
}

TOpenSSL LoadOpenSSL() {
  TOpenSSL ssl;
#ifdef _WIN32
  // The 32-bit builds of OpenSSL 3 and 1.1; libssl loads its libcrypto from beside it.
  void* library = LoadFirst({"libssl-3.dll", "libssl-1_1.dll"});
#else
  void* library = LoadFirst({"libssl.so.3", "libssl.so"});
#endif
  if (library == nullptr) return ssl;
  Fn_OPENSSL_init_ssl initSsl = nullptr;
  Fn_TLS_client_method clientMethod = nullptr;
  Fn_SSL_CTX_new contextNew = nullptr;
  const bool bound = Bind(library, "OPENSSL_init_ssl", initSsl) &&
                     Bind(library, "TLS_client_method", clientMethod) &&
                     Bind(library, "SSL_CTX_new", contextNew) && Bind(library, "SSL_new", ssl.SSL_new) &&
                     Bind(library, "SSL_set_fd", ssl.SSL_set_fd) && Bind(library, "SSL_ctrl", ssl.SSL_ctrl) &&
                     Bind(library, "SSL_connect", ssl.SSL_connect) &&
                     Bind(library, "SSL_read", ssl.SSL_read) && Bind(library, "SSL_write", ssl.SSL_write) &&
                     Bind(library, "SSL_pending", ssl.SSL_pending) &&
                     Bind(library, "SSL_free", ssl.SSL_free);
  if (!bound || initSsl(0, nullptr) != 1) return ssl;
  const void* method = clientMethod();
  ssl.Context = method != nullptr ? contextNew(method) : nullptr;
  ssl.Loaded = ssl.Context != nullptr;
  return ssl;
}

const TOpenSSL& OpenSSL() {
  static std::once_flag once;
  static TOpenSSL ssl;
  std::call_once(once, [] { ssl = LoadOpenSSL(); });
  return ssl;
}

}  // namespace

bool TLSAvailable() { return OpenSSL().Loaded; }

TTLSSession::~TTLSSession() { Free(); }

bool TTLSSession::Create(netbackend::SocketHandle socket, const std::string& serverName) {
  Free();
  const TOpenSSL& api = OpenSSL();
  if (!api.Loaded) return false;
  ssl_ = api.SSL_new(api.Context);
  if (ssl_ == nullptr) return false;
  if (api.SSL_set_fd(ssl_, static_cast<int>(socket)) != 1) {
    Free();
    return false;
  }
  // Name-based virtual hosts pick their certificate by this name.
  if (!serverName.empty())
    api.SSL_ctrl(ssl_, kSSLCtrlSetTlsExtHostName, kTlsExtNameTypeHostName,
                 const_cast<char*>(serverName.c_str()));
  return true;
}

bool TTLSSession::Handshake() { return ssl_ != nullptr && OpenSSL().SSL_connect(ssl_) >= 1; }

int TTLSSession::Send(const char* data, int length) {
  if (ssl_ == nullptr || length <= 0) return 0;
  const int sent = OpenSSL().SSL_write(ssl_, data, length);
  return sent > 0 ? sent : 0;
}

int TTLSSession::Receive(char* buffer, int size) {
  if (ssl_ == nullptr || size <= 0) return 0;
  const int got = OpenSSL().SSL_read(ssl_, buffer, size);
  return got > 0 ? got : 0;
}

bool TTLSSession::HasPending() const { return ssl_ != nullptr && OpenSSL().SSL_pending(ssl_) > 0; }

void TTLSSession::Free() {
  if (ssl_ == nullptr) return;
  OpenSSL().SSL_free(ssl_);
  ssl_ = nullptr;
}
