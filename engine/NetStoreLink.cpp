#include "engine/NetStoreLink.h"

#include <cstdint>
#include <string>

#include "net/NetSettings.h"
#include "serverconfig/NetworkHandoff.h"
#include "serverconfig/ServerSettings.h"
#include "serverconfig/ServerStore.h"
#include "serverconfig/StoreLocks.h"

namespace {

template <typename Change>
void UpdateNetSettings(Change change) {
  TNetSettings settings = GetNetSettings();
  change(settings);
  SetNetSettings(settings);
}

class TNetSettingsSink : public TNetworkHandoffSink {
 public:
  void TimeZoneTextChanged(const std::string& text) override {
    UpdateNetSettings([&](TNetSettings& s) { s.TimeZoneText = text; });
  }

  void ResolverSettingsChanged(const TResolverSettings& resolver) override {
    std::string servers;
    for (const std::string& server : resolver.DnsServers) servers += (servers.empty() ? "" : ";") + server;
    // Every load ends here, so the SMTP port of the same load comes along.
    const std::uint16_t smtpPort = ServerSettings().Get(settings::kSmtpPort);
    UpdateNetSettings([&](TNetSettings& s) {
      s.DnsServers = servers;
      s.ResolverTimeoutSeconds = resolver.Setting1476;
      s.ResolverAttempts = resolver.Setting22136;
      if (smtpPort != 0) s.SmtpPort = smtpPort;
    });
  }

  void IPv6ModeChanged(std::uint8_t mode) override {
    UpdateNetSettings([&](TNetSettings& s) { s.IPv6 = mode != 0; });
  }
};

}  // namespace

void LinkNetSettingsToStore() {
  static TNetSettingsSink sink;
  UpdateNetSettings([](TNetSettings& s) {
    s.LockStore = [] { StoreLock(kDomainTableLock).lock(); };
    s.UnlockStore = [] { StoreLock(kDomainTableLock).unlock(); };
  });
  SetNetworkHandoffSink(&sink);
}
