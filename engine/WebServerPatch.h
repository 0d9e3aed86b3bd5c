// The web-server configuration patch of upgrades from versions older than 7.7.3: the newer
// web-service module needs a "[Filter]" and a "[Virtual-Host]" entry, and the old web mail
// library entry now points at the PHP library. Everything else in the file stays as it was.
// Portable: no <windows.h>.
#pragma once

#include <string>

constexpr char kWebServerConfigName[] = "webserver.cfg";
constexpr char kWcsFilterEntry[] = "=modules\\wcs.dll|[wcs]";
constexpr char kWcsVirtualHostEntry[] = "/wcs/=[wcs]";

// The patched text (CR LF lines). A text that already mentions "wcs.dll" gets no new entries.
std::string PatchWebServerText(const std::string& text);

enum class TWebPatchResult { Missing, Unreadable, Patched, WriteFailed };

// Patches the file at path; the new text replaces the old file in one step. A file that
// exists but cannot be read is left alone rather than replaced by a text built from nothing.
TWebPatchResult PatchWebServerFile(const std::string& path);
// InstallDir + "config\webserver.cfg" of the setup state.
TWebPatchResult PatchWebServerConfig();
