// The first-run configuration of the wizard's last page: the host name, the primary domain
// and its administrator written into the installed configuration store, and the running
// servers told to reload. Also what the store does after it saved an account (the welcome
// message, the directory entry), installed once at start-up.
//
// Nothing here is fatal: each step logs what it did and the next one goes on. The one box is
// the upgrade's warning about a configuration that could not be read.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The aliases a primary domain keeps for its administrator's mail.
constexpr const char* kReservedAliasList =
    "postmaster;admin;administrator;supervisor;hostmaster;webmaster;abuse";

// Host name, domain and user as typed (trimmed here), the password exactly as typed. A domain
// that exists already (in any letter case) leaves the store untouched, host name included.
// Nothing is written either when the values are refused (a blank domain or user name, or
// what FirstRunValueProblem refuses), or when the installed settings or domain table exist
// but cannot be read: then the warning the upgrade shows (cConfigNotSaved) names the file.
void ApplyTutorialSettings(const std::string& hostName, const std::string& domain,
                           const std::string& user, const std::string& password);

// The domain (trimmed) becomes entry 0 of the table with its domain.cfg; the former primary
// domain takes the new entry's place. The settings keep the host name and leave the servers'
// temp, mail and logs folders to their defaults under the installation.
void CreatePrimaryDomain(const std::string& hostName, const std::string& domain,
                         const std::string& administratorAddress);
// The primary domain's administrator: user as alias and account name, the capitalised user
// as full name, mailbox domain\user\.
void CreateDomainAdministrator(const std::string& user, const std::string& password,
                               const std::string& domain);

struct TReloadNotice {
  int Kind;
  bool Delivered;
};
// Tells SMTP, POP3, instant messaging and groupware (and the control server last, with
// includeControl) to reload their configuration; a server that is not running is skipped.
std::vector<TReloadNotice> NotifyServersConfigChanged(bool includeControl);
// How a notice reaches a server (kind, message, two parameters -> delivered); null restores
// the servers' own command channel. For tests.
using TServerNoticeSender = std::function<bool(int, std::uint32_t, std::uint32_t, std::uint32_t)>;
void SetServerNoticeSender(TServerNoticeSender sender);

// What SaveAccount does after it saved an account: a new user account gets its welcome
// message, and with synchronisation on every account its directory entry.
void InstallAccountHooks();
