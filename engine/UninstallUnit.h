// Uninstalling: the services, the Start-menu folder, the uninstall entry, the COM
// registrations, the antivirus engine and the programs and folders the setup put there from
// its archives. What the server and its users produced stays: configuration, mail, logs, web
// mail configuration, directory data, the challenge database and the user's spam rules.
#pragma once

#include <string>

// A folder holding smtp.exe or config\ is one the setup installed into.
bool LooksLikeInstallation(const std::string& folder);

// Uninstalls from the folder of the running program and shows the closing box.
void Uninstall();
// The same for a given removal folder (ends in '\'). Services, links and the uninstall entry
// go in any case; the folder's files and trees only when it looks like an installation (run
// from a distribution folder, nothing of that folder is deleted).
void UninstallFrom(const std::string& removalFolder);
// Deletes the installed folder trees of the removal folder and removes the antivirus engine.
void RemoveInstalledTrees(const std::string& removalFolder);
