// What a settings load hands on to the network clients: the time-zone text of message dates,
// the resolver's DNS servers and settings, the IPv6 mode of the socket layer, and the
// process-wide time-out and limit derived from the settings. The clients read the current
// values, or register a sink to hear of each change.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TResolverSettings {
  std::vector<std::string> DnsServers;  // from the ";"-list at settings offset 1304
  int Setting1476 = 0;
  int Setting22136 = 0;
};

struct TNetworkHandoff {
  std::string TimeZoneText;    // sign and four digits, "+0100", UTC gives "-0000"
  TResolverSettings Resolver;
  std::uint8_t IPv6Mode = 0;
  int TimeoutMs = 300000;
  int HandedLimit = 128;
};

class TNetworkHandoffSink {
 public:
  virtual ~TNetworkHandoffSink() = default;
  virtual void TimeZoneTextChanged(const std::string& text) = 0;
  virtual void ResolverSettingsChanged(const TResolverSettings& settings) = 0;
  virtual void IPv6ModeChanged(std::uint8_t mode) = 0;
};

const TNetworkHandoff& NetworkHandoff();
// nullptr removes the sink. The sink is told the current values at once.
void SetNetworkHandoffSink(TNetworkHandoffSink* sink);

// Text of a bias in minutes west of UTC (the host seam's convention).
std::string TimeZoneTextFromBias(int biasMinutes);

// Used by the store.
void HandOnTimeZoneText(const std::string& text);
void HandOnResolverSettings(const TResolverSettings& settings);
void HandOnIPv6Mode(std::uint8_t mode);
void HandOnTimeoutAndLimit(int timeoutMs, int limit);
// Back to the process start values (tests).
void ResetNetworkHandoff();
