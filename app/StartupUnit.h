// Decisions of the start-up that do not need a window: what info.xml changes, where the
// default destination is, the system folder text, the older web mail check and the logon
// addresses of the one-shot command words. The sequence itself runs in the wizard window's
// creation (MainForm). Portable.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "engine/SetupState.h"

// Reads the first top-level element of info.xml: DEMOMESSAGE, DEMOMESSAGESUBJECT and
// PRODUCTSXML in this order; the first missing one ends the reading. A missing or
// unreadable file changes nothing. Gives true when the file was read.
bool ReadInfoXml(const std::string& path, TSetupState& state);

// The system folder, trimmed, with a trailing '\' unless it ends in '\' or '/'; the
// fallback (the setup program's folder) when the system gives none.
std::string SystemFolderText(const std::string& systemFolder, const std::string& fallback);

// "ProgramFilesDir" (or "C:\Program Files\" when empty) with a trailing '\' unless it ends
// in '\' or '/', followed by the destination label's current text ("Zarel\").
std::string DefaultDestination(const std::string& programFilesDir, const std::string& labelText);

// An earlier installation older than 5.3.4 (an unknown version counts as not older).
bool IsOlderThan534(const std::string& installedVersion);

// The older web mail product needs an upgrade: its folder (registry text, trailing '\'
// dropped) exists and its version is below 4.2.2.
bool IsWebMailOutdated(const std::string& version, const std::string& installDir,
                       const std::function<bool(const std::string&)>& folderExists);

// "http://" + host + ":" + port + "/" + ("mail/" or "accounts/"). The host is the server
// list's text up to its first ';', trimmed, when the settings say the list names the web
// host; "localhost" when that is off or empty.
std::string LogonAddress(bool useServerListForWebHost, const std::string& serverList,
                         std::uint16_t httpPort, bool webMail);

