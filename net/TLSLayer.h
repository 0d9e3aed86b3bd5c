// The client side of TLS for "https://" addresses. Windows: the system's own TLS (Schannel
// through SSPI, secur32 and crypt32 loaded from the system folder), which checks the server
// against the Windows certificate store and needs no library shipped with the setup.
// Elsewhere (the host build): the system's OpenSSL, looked up at run time and checking
// against the system's trusted roots. Without the library no session can be made and
// callers treat the address as unreachable.
//
// A session only counts once the server proved to be the one asked for: its certificate
// chains to a trusted root and is made out to the name (or address) that was asked for.
#pragma once

#include <memory>
#include <string>

class TCustomWinSocket;

// True when the library and every entry point used were found (looked up once per process;
// the library stays loaded).
bool TLSAvailable();

// One client session on an open connection. Every wait ends by the socket's Deadline and
// within its TimeOut.
class TTLSSession {
 public:
  TTLSSession();
  ~TTLSSession();
  TTLSSession(const TTLSSession&) = delete;
  TTLSSession& operator=(const TTLSSession&) = delete;

  // Creates the session on the connected socket for serverName, a host name or a numeric
  // address (the certificate must be made out to it). False when the library is missing.
  bool Create(TCustomWinSocket& socket, const std::string& serverName);
  // The handshake and the check of the server's certificate. False on any failure.
  bool Handshake();
  // Bytes written; 0 on error.
  int Send(const char* data, int length);
  // Bytes read; 0 when the server ended the session, -1 on an error, a time-out or a
  // connection cut without the end of the session.
  int Receive(char* buffer, int size);
  void Free();

  // Implementation state of the platform's TLS (TLSLayerSchannel.cpp, TLSLayerOpenSSL.cpp).
  struct TState;

 private:
  std::unique_ptr<TState> state_;
};
