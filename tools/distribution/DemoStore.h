// The configuration store that demo.dat carries: the demonstration domain with its two
// accounts, written with the store's own code so that the setup and the servers read exactly
// what they would read from a store the suite wrote itself.
#pragma once

#include <cstdint>
#include <string>

constexpr const char* kDemoDomain = "demo.zarel.example";
constexpr const char* kDemoHostName = "mail.demo.zarel.example";
// Local parts of the accounts; the setup's demonstration message goes from user to admin.
constexpr const char* kDemoAdminAlias = "admin";
constexpr const char* kDemoUserAlias = "user";

struct TDemoStoreOptions {
  std::uint16_t SmtpPort = 25;
  std::string Password;  // of both accounts
};

// Writes settings.cfg, domains.cfg and the domain's folder (domain.cfg, users.cfg) below
// rootFolder + "config\". The process-wide store is reset before and after. False (with
// why) when a file could not be written.
bool WriteDemoStore(const std::string& rootFolder, const TDemoStoreOptions& options,
                    std::string& error);

// A password of 12 letters and digits from the system's random source: no two builds share
// the demonstration accounts' password, so knowing the product gives no way into them.
std::string RandomDemoPassword();
