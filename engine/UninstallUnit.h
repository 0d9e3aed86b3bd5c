// Uninstalling: the services, the Start-menu folder, the uninstall entry, the COM
// registrations, the antivirus engine and the programs and folders the setup put there from
// its archives. What the server and its users produced stays: configuration, mail, logs, web
// mail configuration, directory data, the challenge database and the user's spam rules.
#pragma once

#include <set>
#include <string>

#include "engine/ComponentTable.h"

// A folder holding smtp.exe or config\ is one the setup installed into.
bool LooksLikeInstallation(const std::string& folder);

// Uninstalls from the folder of the running program and shows the closing box.
void Uninstall();
// The same for a given removal folder (ends in '\'). Services, links and the uninstall entry
// go in any case; the folder's files and trees only when it looks like an installation (run
// from a distribution folder, nothing of that folder is deleted).
void UninstallFrom(const std::string& removalFolder);
// Which removal a component's files go through.
enum class TRemovalOf : unsigned char {
  LeftOutComponent,  // a component left out on an upgrade
  Uninstall,
};
// The kept files of every component that lie in folder now, relative to it ("spam\challenge.mdb").
// Taken before placement, these are the customer's: placement brings shipped copies of the
// same names, which a component left out does not keep.
std::set<std::string> PresentKeptFiles(const std::string& folder);
// Removes what the component put into folder (the installation folder, ends in '\'): its
// programs and its folders, running its removal step first (the antivirus engine's own
// uninstaller). The files its row keeps stay: all of them, or, when customerFiles is given,
// those among them (PresentKeptFiles before placement). The programs the uninstall has
// always left stay at the uninstall.
void RemoveComponentFiles(const TComponentRow& component, const std::string& folder, TRemovalOf removal,
                          const std::set<std::string>* customerFiles = nullptr);
// Every component's files of the removal folder, as the uninstall removes them.
void RemoveInstalledFiles(const std::string& removalFolder);
