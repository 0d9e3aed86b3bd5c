// TLS through the system's OpenSSL (the host build), looked up at run time. The socket is
// non-blocking; every step that has to wait for the peer waits here against the socket's
// deadline, so one slow record cannot stretch a read.
#include <mutex>

#include "net/CustomWinSocket.h"
#include "net/DNSResolver.h"
#include "net/TLSLayer.h"

namespace {

using Fn_OPENSSL_init_ssl = int (*)(unsigned long long, const void*);
using Fn_TLS_client_method = const void* (*)();
using Fn_SSL_CTX_new = void* (*)(const void*);
using Fn_SSL_CTX_set_verify = void (*)(void*, int, void*);
using Fn_SSL_CTX_set_default_verify_paths = int (*)(void*);
using Fn_SSL_CTX_ctrl = long (*)(void*, int, long, void*);
using Fn_SSL_new = void* (*)(void*);
using Fn_SSL_set_fd = int (*)(void*, int);
using Fn_SSL_ctrl = long (*)(void*, int, long, void*);
using Fn_SSL_set1_host = int (*)(void*, const char*);
using Fn_SSL_get0_param = void* (*)(void*);
using Fn_X509_VERIFY_PARAM_set1_ip_asc = int (*)(void*, const char*);
using Fn_SSL_connect = int (*)(void*);
using Fn_SSL_read = int (*)(void*, void*, int);
using Fn_SSL_write = int (*)(void*, const void*, int);
using Fn_SSL_get_error = int (*)(const void*, int);
using Fn_SSL_get_verify_result = long (*)(const void*);
using Fn_SSL_free = void (*)(void*);
using Fn_ERR_clear_error = void (*)();

constexpr int kSSLVerifyPeer = 1;
constexpr int kSSLCtrlSetTlsExtHostName = 55;
constexpr long kTlsExtNameTypeHostName = 0;
constexpr int kSSLCtrlSetMinProtoVersion = 123;
constexpr long kTLS1_2Version = 0x0303;
constexpr int kSSLErrorWantRead = 2;
constexpr int kSSLErrorWantWrite = 3;
constexpr int kSSLErrorZeroReturn = 6;
constexpr long kX509VOk = 0;

struct TOpenSSL {
  bool Loaded = false;
  void* Context = nullptr;
  Fn_SSL_new SSL_new = nullptr;
  Fn_SSL_set_fd SSL_set_fd = nullptr;
  Fn_SSL_ctrl SSL_ctrl = nullptr;
  Fn_SSL_set1_host SSL_set1_host = nullptr;
  Fn_SSL_get0_param SSL_get0_param = nullptr;
  Fn_X509_VERIFY_PARAM_set1_ip_asc X509_VERIFY_PARAM_set1_ip_asc = nullptr;
  Fn_SSL_connect SSL_connect = nullptr;
  Fn_SSL_read SSL_read = nullptr;
  Fn_SSL_write SSL_write = nullptr;
  Fn_SSL_get_error SSL_get_error = nullptr;
  Fn_SSL_get_verify_result SSL_get_verify_result = nullptr;
  Fn_SSL_free SSL_free = nullptr;
  Fn_ERR_clear_error ERR_clear_error = nullptr;
};

void* LoadFirst(std::initializer_list<const char*> names) {
  for (const char* name : names) {
    if (void* library = netbackend::LoadSharedLibrary(name)) return library;
  }
  return nullptr;
}

// libcrypto's entry points are found through libssl, which depends on it.
template <typename Fn>
bool Bind(void* library, const char* name, Fn& target) {
  target = reinterpret_cast<Fn>(netbackend::SharedLibrarySymbol(library, name));
  return target != nullptr;
}

TOpenSSL LoadOpenSSL() {
  TOpenSSL ssl;
  void* library = LoadFirst({"libssl.so.3", "libssl.so"});
  if (library == nullptr) return ssl;
  Fn_OPENSSL_init_ssl initSsl = nullptr;
  Fn_TLS_client_method clientMethod = nullptr;
  Fn_SSL_CTX_new contextNew = nullptr;
  Fn_SSL_CTX_set_verify setVerify = nullptr;
  Fn_SSL_CTX_set_default_verify_paths defaultPaths = nullptr;
  Fn_SSL_CTX_ctrl contextCtrl = nullptr;
  const bool bound =
      Bind(library, "OPENSSL_init_ssl", initSsl) && Bind(library, "TLS_client_method", clientMethod) &&
      Bind(library, "SSL_CTX_new", contextNew) && Bind(library, "SSL_CTX_set_verify", setVerify) &&
      Bind(library, "SSL_CTX_set_default_verify_paths", defaultPaths) &&
      Bind(library, "SSL_CTX_ctrl", contextCtrl) && Bind(library, "SSL_new", ssl.SSL_new) &&
      Bind(library, "SSL_set_fd", ssl.SSL_set_fd) && Bind(library, "SSL_ctrl", ssl.SSL_ctrl) &&
      Bind(library, "SSL_set1_host", ssl.SSL_set1_host) && Bind(library, "SSL_get0_param", ssl.SSL_get0_param) &&
      Bind(library, "X509_VERIFY_PARAM_set1_ip_asc", ssl.X509_VERIFY_PARAM_set1_ip_asc) &&
      Bind(library, "SSL_connect", ssl.SSL_connect) && Bind(library, "SSL_read", ssl.SSL_read) &&
      Bind(library, "SSL_write", ssl.SSL_write) && Bind(library, "SSL_get_error", ssl.SSL_get_error) &&
      Bind(library, "SSL_get_verify_result", ssl.SSL_get_verify_result) &&
      Bind(library, "SSL_free", ssl.SSL_free) && Bind(library, "ERR_clear_error", ssl.ERR_clear_error);
  if (!bound || initSsl(0, nullptr) != 1) return ssl;
  const void* method = clientMethod();
  void* context = method != nullptr ? contextNew(method) : nullptr;
  if (context == nullptr) return ssl;
  // No trusted roots, no session: a context that could not load them would accept nothing
  // anyway, but say so here rather than at every handshake.
  setVerify(context, kSSLVerifyPeer, nullptr);
  if (defaultPaths(context) != 1) return ssl;
  contextCtrl(context, kSSLCtrlSetMinProtoVersion, kTLS1_2Version, nullptr);
  ssl.Context = context;
  ssl.Loaded = true;
  return ssl;
}

const TOpenSSL& OpenSSL() {
  static std::once_flag once;
  static TOpenSSL ssl;
  std::call_once(once, [] { ssl = LoadOpenSSL(); });
  return ssl;
}

}  // namespace

struct TTLSSession::TState {
  void* Ssl = nullptr;
  TCustomWinSocket* Socket = nullptr;

  // Runs one OpenSSL call until it completes, waiting for the socket in between.
  // The call's result (> 0), or its SSL error code (negated) when it failed.
  template <typename Call>
  int Drive(Call call) {
    const TOpenSSL& api = OpenSSL();
    for (;;) {
      api.ERR_clear_error();
      const int result = call();
      if (result > 0) return result;
      const int error = api.SSL_get_error(Ssl, result);
      if (error != kSSLErrorWantRead && error != kSSLErrorWantWrite) return -error;
      const int waitMs = Socket->Deadline.RemainingMs(Socket->TimeOut);
      if (waitMs <= 0) return -1;
      const int ready = error == kSSLErrorWantRead ? netbackend::WaitReadable(Socket->Handle(), waitMs)
                                                   : netbackend::WaitWritable(Socket->Handle(), waitMs);
      if (ready != 1) return -1;
    }
  }
};

bool TLSAvailable() { return OpenSSL().Loaded; }

TTLSSession::TTLSSession() = default;

TTLSSession::~TTLSSession() { Free(); }

bool TTLSSession::Create(TCustomWinSocket& socket, const std::string& serverName) {
  Free();
  const TOpenSSL& api = OpenSSL();
  if (!api.Loaded || !socket.Connected() || serverName.empty()) return false;
  state_ = std::make_unique<TState>();
  state_->Socket = &socket;
  state_->Ssl = api.SSL_new(api.Context);
  if (state_->Ssl == nullptr || api.SSL_set_fd(state_->Ssl, static_cast<int>(socket.Handle())) != 1) {
    Free();
    return false;
  }
  netbackend::TIpAddress numeric;
  const bool isAddress = ParseDottedIPv4(serverName, numeric) || netbackend::ParseIPv6Literal(serverName, numeric);
  bool named;
  if (isAddress) {
    named = api.X509_VERIFY_PARAM_set1_ip_asc(api.SSL_get0_param(state_->Ssl), serverName.c_str()) == 1;
  } else {
    named = api.SSL_set1_host(state_->Ssl, serverName.c_str()) == 1;
    // Name-based virtual hosts pick their certificate by this name.
    api.SSL_ctrl(state_->Ssl, kSSLCtrlSetTlsExtHostName, kTlsExtNameTypeHostName,
                 const_cast<char*>(serverName.c_str()));
  }
  if (!named) Free();
  return named;
}

bool TTLSSession::Handshake() {
  if (state_ == nullptr) return false;
  const TOpenSSL& api = OpenSSL();
  void* ssl = state_->Ssl;
  return state_->Drive([&] { return api.SSL_connect(ssl); }) > 0 &&
         api.SSL_get_verify_result(ssl) == kX509VOk;
}

int TTLSSession::Send(const char* data, int length) {
  if (state_ == nullptr || length <= 0) return 0;
  const TOpenSSL& api = OpenSSL();
  void* ssl = state_->Ssl;
  const int sent = state_->Drive([&] { return api.SSL_write(ssl, data, length); });
  return sent > 0 ? sent : 0;
}

int TTLSSession::Receive(char* buffer, int size) {
  if (state_ == nullptr || size <= 0) return -1;
  const TOpenSSL& api = OpenSSL();
  void* ssl = state_->Ssl;
  const int got = state_->Drive([&] { return api.SSL_read(ssl, buffer, size); });
  if (got > 0) return got;
  return got == -kSSLErrorZeroReturn ? 0 : -1;
}

void TTLSSession::Free() {
  if (state_ == nullptr) return;
  if (state_->Ssl != nullptr) OpenSSL().SSL_free(state_->Ssl);
  state_.reset();
}
