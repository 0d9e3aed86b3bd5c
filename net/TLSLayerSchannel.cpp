// TLS through the system's own Schannel (SSPI). secur32 and crypt32 are not among the known
// DLLs, so they are loaded from the system folder at run time and never imported: a DLL of
// that name dropped beside setup.exe must not be picked up. The server's certificate is
// checked by us (manual validation), the same way on every Windows version and under Wine:
// a chain to a root of the Windows certificate store, the SSL policy, and the name asked for.
#define SECURITY_WIN32
#include <windows.h>
#include <wincrypt.h>
#include <security.h>
#include <schannel.h>
#include <sspi.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "base/SafeLibrary.h"
#include "net/CustomWinSocket.h"
#include "net/TLSLayer.h"

namespace {

using Fn_InitSecurityInterfaceA = PSecurityFunctionTableA(WINAPI*)();
using Fn_CertGetCertificateChain = BOOL(WINAPI*)(HCERTCHAINENGINE, PCCERT_CONTEXT, LPFILETIME, HCERTSTORE,
                                                 PCERT_CHAIN_PARA, DWORD, LPVOID, PCCERT_CHAIN_CONTEXT*);
using Fn_CertVerifyCertificateChainPolicy = BOOL(WINAPI*)(LPCSTR, PCCERT_CHAIN_CONTEXT, PCERT_CHAIN_POLICY_PARA,
                                                          PCERT_CHAIN_POLICY_STATUS);
using Fn_CertFreeCertificateChain = VOID(WINAPI*)(PCCERT_CHAIN_CONTEXT);
using Fn_CertFreeCertificateContext = BOOL(WINAPI*)(PCCERT_CONTEXT);

// The largest TLS record with its header and trailer; more never has to be held to decrypt.
constexpr std::size_t kMaxRecordBytes = 16384 + 2048;
constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                ISC_REQ_MANUAL_CRED_VALIDATION;

struct TSchannel {
  bool Loaded = false;
  PSecurityFunctionTableA Sspi = nullptr;
  Fn_CertGetCertificateChain CertGetCertificateChain = nullptr;
  Fn_CertVerifyCertificateChainPolicy CertVerifyCertificateChainPolicy = nullptr;
  Fn_CertFreeCertificateChain CertFreeCertificateChain = nullptr;
  Fn_CertFreeCertificateContext CertFreeCertificateContext = nullptr;
};

template <typename Fn>
bool Bind(HMODULE library, const char* name, Fn& target) {
  target = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(library, name)));
  return target != nullptr;
}

TSchannel LoadSchannel() {
  TSchannel api;
  HMODULE secur32 = LoadSystemLibrary("secur32.dll");
  HMODULE crypt32 = LoadSystemLibrary("crypt32.dll");
  if (secur32 == nullptr || crypt32 == nullptr) return api;
  Fn_InitSecurityInterfaceA init = nullptr;
  if (!Bind(secur32, "InitSecurityInterfaceA", init) ||
      !Bind(crypt32, "CertGetCertificateChain", api.CertGetCertificateChain) ||
      !Bind(crypt32, "CertVerifyCertificateChainPolicy", api.CertVerifyCertificateChainPolicy) ||
      !Bind(crypt32, "CertFreeCertificateChain", api.CertFreeCertificateChain) ||
      !Bind(crypt32, "CertFreeCertificateContext", api.CertFreeCertificateContext))
    return api;
  api.Sspi = init();
  const PSecurityFunctionTableA t = api.Sspi;
  api.Loaded = t != nullptr && t->AcquireCredentialsHandleA != nullptr && t->InitializeSecurityContextA != nullptr &&
               t->DecryptMessage != nullptr && t->EncryptMessage != nullptr &&
               t->QueryContextAttributesA != nullptr && t->DeleteSecurityContext != nullptr &&
               t->FreeCredentialsHandle != nullptr && t->FreeContextBuffer != nullptr;
  return api;
}

const TSchannel& Schannel() {
  static std::once_flag once;
  static TSchannel api;
  std::call_once(once, [] { api = LoadSchannel(); });
  return api;
}

std::wstring Wide(const std::string& text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

}  // namespace

struct TTLSSession::TState {
  TCustomWinSocket* Socket = nullptr;
  std::string ServerName;
  CredHandle Credentials{};
  bool HaveCredentials = false;
  CtxtHandle Context{};
  bool HaveContext = false;
  SecPkgContext_StreamSizes Sizes{};
  std::string Incoming;  // received, not yet decrypted
  std::string Plain;     // decrypted, not yet handed out
  bool Ended = false;

  ~TState() {
    const TSchannel& api = Schannel();
    if (HaveContext) api.Sspi->DeleteSecurityContext(&Context);
    if (HaveCredentials) api.Sspi->FreeCredentialsHandle(&Credentials);
  }

  bool SendAll(const char* data, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
      const int sent = Socket->SendBuf(data + done, static_cast<int>(length - done));
      if (sent <= 0) return false;
      done += static_cast<std::size_t>(sent);
    }
    return true;
  }

  // Appends what the socket has; false at the end of the stream, on error or time-out.
  bool ReadMore() {
    if (Incoming.size() >= 4 * kMaxRecordBytes) return false;  // the peer sends nonsense
    char buffer[8192];
    if (!Socket->WaitForData(Socket->TimeOut)) return false;
    const int got = netbackend::ReceiveBytes(Socket->Handle(), buffer, sizeof buffer);
    // The end of the stream between two records ends the session: Wine decrypts the
    // server's closing alert as an empty record (Windows reports it as the context's end),
    // so only a cut inside a record is an error. The HTTP client checks the length.
    if (got == 0 && Incoming.empty()) Ended = true;
    if (got <= 0) return false;
    Incoming.append(buffer, static_cast<std::size_t>(got));
    return true;
  }

  // Sends a token the provider produced and frees it.
  bool SendToken(SecBuffer& token) {
    if (token.pvBuffer == nullptr) return true;
    const bool sent = token.cbBuffer == 0 || SendAll(static_cast<const char*>(token.pvBuffer), token.cbBuffer);
    Schannel().Sspi->FreeContextBuffer(token.pvBuffer);
    token.pvBuffer = nullptr;
    return sent;
  }

  // The handshake from the client's first message on (first) or from bytes already in
  // Incoming (a renegotiation or post-handshake message).
  bool Negotiate(bool first) {
    const TSchannel& api = Schannel();
    SEC_CHAR* target = const_cast<SEC_CHAR*>(ServerName.c_str());
    ULONG attributes = 0;
    SECURITY_STATUS status = SEC_I_CONTINUE_NEEDED;
    if (first) {
      SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
      SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
      status = api.Sspi->InitializeSecurityContextA(&Credentials, nullptr, target, kContextFlags, 0, 0, nullptr, 0,
                                                    &Context, &outDesc, &attributes, nullptr);
      if (status != SEC_I_CONTINUE_NEEDED) {
        if (out.pvBuffer != nullptr) api.Sspi->FreeContextBuffer(out.pvBuffer);
        return false;
      }
      HaveContext = true;
      if (!SendToken(out)) return false;
    }
    bool needData = Incoming.empty();
    for (;;) {
      if (needData && !ReadMore()) return false;
      SecBuffer in[2] = {{static_cast<ULONG>(Incoming.size()), SECBUFFER_TOKEN, Incoming.data()},
                         {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
      SecBuffer out{0, SECBUFFER_TOKEN, nullptr};
      SecBufferDesc outDesc{SECBUFFER_VERSION, 1, &out};
      status = api.Sspi->InitializeSecurityContextA(&Credentials, &Context, target, kContextFlags, 0, 0, &inDesc, 0,
                                                    nullptr, &outDesc, &attributes, nullptr);
      if (status == SEC_E_INCOMPLETE_MESSAGE) {
        if (out.pvBuffer != nullptr) api.Sspi->FreeContextBuffer(out.pvBuffer);
        needData = true;
        continue;
      }
      // A failure may still carry an alert for the server; it goes out before we stop.
      const bool sent = SendToken(out);
      if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer > 0 && in[1].cbBuffer <= Incoming.size())
        Incoming.erase(0, Incoming.size() - in[1].cbBuffer);
      else
        Incoming.clear();
      if (!sent) return false;
      if (status == SEC_E_OK) return true;
      // Anything else, a request for a client certificate included, ends the attempt.
      if (status != SEC_I_CONTINUE_NEEDED) return false;
      needData = Incoming.empty();
    }
  }

  // The server's certificate against the Windows store and the name asked for.
  bool ServerIsTrusted() {
    const TSchannel& api = Schannel();
    PCCERT_CONTEXT certificate = nullptr;
    if (api.Sspi->QueryContextAttributesA(&Context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) != SEC_E_OK ||
        certificate == nullptr)
      return false;
    LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_SERVER_AUTH), const_cast<LPSTR>(szOID_SERVER_GATED_CRYPTO),
                      const_cast<LPSTR>(szOID_SGC_NETSCAPE)};
    CERT_CHAIN_PARA chainPara{};
    chainPara.cbSize = sizeof chainPara;
    chainPara.RequestedUsage.dwType = USAGE_MATCH_TYPE_OR;
    chainPara.RequestedUsage.Usage.cUsageIdentifier = 3;
    chainPara.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    bool trusted = false;
    if (api.CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &chainPara, 0,
                                    nullptr, &chain) &&
        chain != nullptr) {
      std::wstring name = Wide(ServerName);
      HTTPSPolicyCallbackData https{};
      https.cbStruct = sizeof https;
      https.dwAuthType = AUTHTYPE_SERVER;
      https.pwszServerName = name.data();
      CERT_CHAIN_POLICY_PARA policy{};
      policy.cbSize = sizeof policy;
      policy.pvExtraPolicyPara = &https;
      CERT_CHAIN_POLICY_STATUS result{};
      result.cbSize = sizeof result;
      // The chain's own status first: Wine's SSL policy passes a chain whose issuer was
      // never found (a partial chain), which Windows refuses.
      const DWORD ignored = CERT_TRUST_REVOCATION_STATUS_UNKNOWN | CERT_TRUST_IS_OFFLINE_REVOCATION;
      trusted = !name.empty() && (chain->TrustStatus.dwErrorStatus & ~ignored) == CERT_TRUST_NO_ERROR &&
                api.CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &result) &&
                result.dwError == 0;
      api.CertFreeCertificateChain(chain);
    }
    api.CertFreeCertificateContext(certificate);
    return trusted;
  }

  // Decrypts what Incoming holds into Plain; false on a failure or the end of the session.
  bool DecryptMore() {
    const TSchannel& api = Schannel();
    for (;;) {
      if (Incoming.empty() && !ReadMore()) return false;
      SecBuffer buffers[4] = {{static_cast<ULONG>(Incoming.size()), SECBUFFER_DATA, Incoming.data()},
                              {0, SECBUFFER_EMPTY, nullptr},
                              {0, SECBUFFER_EMPTY, nullptr},
                              {0, SECBUFFER_EMPTY, nullptr}};
      SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
      const SECURITY_STATUS status = api.Sspi->DecryptMessage(&Context, &desc, 0, nullptr);
      if (status == SEC_E_INCOMPLETE_MESSAGE) {
        if (!ReadMore()) return false;
        continue;
      }
      if (status == SEC_I_CONTEXT_EXPIRED) {
        Ended = true;
        return false;
      }
      if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE) return false;
      std::string extra;
      for (const SecBuffer& buffer : buffers) {
        if (buffer.BufferType == SECBUFFER_DATA && buffer.pvBuffer != nullptr)
          Plain.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
        if (buffer.BufferType == SECBUFFER_EXTRA && buffer.pvBuffer != nullptr)
          extra.assign(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
      }
      Incoming = extra;
      // TLS 1.3 hands tickets and key updates to the handshake code.
      if (status == SEC_I_RENEGOTIATE && !Negotiate(false)) return false;
      if (!Plain.empty()) return true;
    }
  }
};

bool TLSAvailable() { return Schannel().Loaded; }

TTLSSession::TTLSSession() = default;

TTLSSession::~TTLSSession() { Free(); }

bool TTLSSession::Create(TCustomWinSocket& socket, const std::string& serverName) {
  Free();
  const TSchannel& api = Schannel();
  if (!api.Loaded || !socket.Connected() || serverName.empty()) return false;
  state_ = std::make_unique<TState>();
  state_->Socket = &socket;
  state_->ServerName = serverName;
  SCHANNEL_CRED credentials{};
  credentials.dwVersion = SCHANNEL_CRED_VERSION;
  credentials.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS;
  if (api.Sspi->AcquireCredentialsHandleA(nullptr, const_cast<SEC_CHAR*>(UNISP_NAME_A), SECPKG_CRED_OUTBOUND,
                                          nullptr, &credentials, nullptr, nullptr, &state_->Credentials,
                                          nullptr) != SEC_E_OK) {
    Free();
    return false;
  }
  state_->HaveCredentials = true;
  return true;
}

bool TTLSSession::Handshake() {
  if (state_ == nullptr || !state_->Negotiate(true) || !state_->ServerIsTrusted()) return false;
  return Schannel().Sspi->QueryContextAttributesA(&state_->Context, SECPKG_ATTR_STREAM_SIZES, &state_->Sizes) ==
             SEC_E_OK &&
         state_->Sizes.cbMaximumMessage > 0;
}

int TTLSSession::Send(const char* data, int length) {
  if (state_ == nullptr || !state_->HaveContext || state_->Sizes.cbMaximumMessage == 0 || length <= 0) return 0;
  const SecPkgContext_StreamSizes& sizes = state_->Sizes;
  const ULONG chunk = static_cast<ULONG>(length) < sizes.cbMaximumMessage ? static_cast<ULONG>(length)
                                                                          : sizes.cbMaximumMessage;
  std::vector<char> record(sizes.cbHeader + chunk + sizes.cbTrailer);
  std::memcpy(record.data() + sizes.cbHeader, data, chunk);
  SecBuffer buffers[4] = {{sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
                          {chunk, SECBUFFER_DATA, record.data() + sizes.cbHeader},
                          {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + sizes.cbHeader + chunk},
                          {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
  if (Schannel().Sspi->EncryptMessage(&state_->Context, 0, &desc, 0) != SEC_E_OK) return 0;
  const std::size_t total = buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer;
  return state_->SendAll(record.data(), total) ? static_cast<int>(chunk) : 0;
}

int TTLSSession::Receive(char* buffer, int size) {
  if (state_ == nullptr || !state_->HaveContext || size <= 0) return -1;
  if (state_->Plain.empty() && !state_->DecryptMore()) return state_->Ended ? 0 : -1;
  const std::size_t take = std::min<std::size_t>(state_->Plain.size(), static_cast<std::size_t>(size));
  std::memcpy(buffer, state_->Plain.data(), take);
  state_->Plain.erase(0, take);
  return static_cast<int>(take);
}

void TTLSSession::Free() { state_.reset(); }
