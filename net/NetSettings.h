// What the network clients take from the suite's configuration store. The store fills it
// after every load (and the time-zone text once at start-up); until then the defaults
// below hold, which is what a machine without a configured suite needs.
// Portable: no <windows.h>.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct TNetSettings {
  // Settings byte 156: address in IPv6 (host names resolve to IPv6 first, IPv4 after).
  bool IPv6 = false;
  // Settings text 1304: the suite's DNS servers, ";"-separated; empty = system resolver.
  // An entry may carry a port ("127.0.0.1:5353", "[::1]:5353").
  std::string DnsServers;
  // Settings byte 1476: seconds to wait for one DNS answer.
  int ResolverTimeoutSeconds = 5;
  // Settings value 22136: how many times each DNS server is asked.
  int ResolverAttempts = 3;
  // Settings value 1028: port of the suite's SMTP service (the demonstration message).
  std::uint16_t SmtpPort = 25;
  // Sign and four digits, computed once at start-up; empty = compute on use.
  std::string TimeZoneText;
  // Store lock 0; both empty = no locking (no store in this process).
  std::function<void()> LockStore;
  std::function<void()> UnlockStore;
};

// A copy of the process-wide settings (the SMTP worker reads them on its own thread).
TNetSettings GetNetSettings();
void SetNetSettings(const TNetSettings& settings);

// Holds store lock 0 for its lifetime.
class TNetStoreLockGuard {
 public:
  TNetStoreLockGuard();
  ~TNetStoreLockGuard();
  TNetStoreLockGuard(const TNetStoreLockGuard&) = delete;
  TNetStoreLockGuard& operator=(const TNetStoreLockGuard&) = delete;

 private:
  std::function<void()> unlock_;
};
