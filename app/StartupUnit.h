// Pieces of the start-up that need no machine: what info.xml changes, the system folder text
// and the logon addresses of the one-shot command words. The decisions both faces share (the
// folder offered, the older versions) are engine/SetupCore's. Portable.
#pragma once

#include <cstdint>
#include <string>

#include "engine/SetupState.h"

// Reads the first top-level element of info.xml: DEMOMESSAGE, DEMOMESSAGESUBJECT and
// PRODUCTSXML in this order; the first missing one ends the reading. A missing or
// unreadable file changes nothing. Gives true when the file was read.
bool ReadInfoXml(const std::string& path, TSetupState& state);

// The system folder, trimmed, with a trailing '\' unless it ends in '\' or '/'; the
// fallback (the setup program's folder) when the system gives none.
std::string SystemFolderText(const std::string& systemFolder, const std::string& fallback);

// "http://" + host + ":" + port + "/" + ("mail/" or "accounts/"). The host is the server
// list's text up to its first ';', trimmed, when the settings say the list names the web
// host; "localhost" when that is off or empty.
std::string LogonAddress(bool useServerListForWebHost, const std::string& serverList,
                         std::uint16_t httpPort, bool webMail);

