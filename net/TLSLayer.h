// The client side of TLS for "https://" addresses, through the OpenSSL libraries looked up
// at run time (Linux: the system's libssl; Windows: the OpenSSL DLLs by name). Without the
// library no session can be made and callers treat the address as unreachable.
#pragma once

#include <string>

#include "net/NetBackend.h"

// True when the library and every entry point used were found (looked up once per process;
// the library stays loaded, as it cannot be unloaded and initialised again safely).
bool TLSAvailable();

// One client session on an open connection.
class TTLSSession {
 public:
  TTLSSession() = default;
  ~TTLSSession();
  TTLSSession(const TTLSSession&) = delete;
  TTLSSession& operator=(const TTLSSession&) = delete;

  // Creates the session for the socket; false when the library is missing.
  bool Create(netbackend::SocketHandle socket, const std::string& serverName);
  // The handshake; bounded by the socket's I/O time-out. False on failure.
  bool Handshake();
  // Bytes written / read; 0 at the end or on error.
  int Send(const char* data, int length);
  int Receive(char* buffer, int size);
  // Decrypted bytes already waiting inside the session.
  bool HasPending() const;
  void Free();

 private:
  void* ssl_ = nullptr;
};
