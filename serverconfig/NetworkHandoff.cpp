#include "serverconfig/NetworkHandoff.h"

#include <cstdio>
#include <cstdlib>

namespace {

TNetworkHandoff g_handoff;
TNetworkHandoffSink* g_sink = nullptr;

}  // namespace

const TNetworkHandoff& NetworkHandoff() { return g_handoff; }

void SetNetworkHandoffSink(TNetworkHandoffSink* sink) {
  g_sink = sink;
  if (g_sink == nullptr) return;
  g_sink->TimeZoneTextChanged(g_handoff.TimeZoneText);
  g_sink->ResolverSettingsChanged(g_handoff.Resolver);
  g_sink->IPv6ModeChanged(g_handoff.IPv6Mode);
}

std::string TimeZoneTextFromBias(int biasMinutes) {
  const int magnitude = std::abs(biasMinutes) % (100 * 60);
  char text[8];
  std::snprintf(text, sizeof text, "%c%02d%02d", biasMinutes < 0 ? '+' : '-', magnitude / 60,
                magnitude % 60);
  return text;
}

void HandOnTimeZoneText(const std::string& text) {
  g_handoff.TimeZoneText = text;
  if (g_sink != nullptr) g_sink->TimeZoneTextChanged(text);
}

void HandOnResolverSettings(const TResolverSettings& settings) {
  g_handoff.Resolver = settings;
  if (g_sink != nullptr) g_sink->ResolverSettingsChanged(settings);
}

void HandOnIPv6Mode(std::uint8_t mode) {
  g_handoff.IPv6Mode = mode;
  if (g_sink != nullptr) g_sink->IPv6ModeChanged(mode);
}

void HandOnTimeoutAndLimit(int timeoutMs, int limit) {
  g_handoff.TimeoutMs = timeoutMs;
  g_handoff.HandedLimit = limit;
}

void ResetNetworkHandoff() { g_handoff = TNetworkHandoff(); }
