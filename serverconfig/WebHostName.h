// The host name under which the suite's own services are reached from this machine: the web
// mail and web administration logon addresses, and the directory server the accounts are
// mirrored into.
#pragma once

#include <string>

#include "serverconfig/ServerSettings.h"

// With useServerList set, the server list up to its first ";", trimmed; "localhost" when the
// flag is clear or that gives nothing.
std::string WebHostName(bool useServerList, const std::string& serverList);
// The same from the settings record (flag at 1474, server list at 1176).
std::string WebHostName(const TServerSettings& settings);
