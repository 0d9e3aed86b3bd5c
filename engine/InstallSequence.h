// Where the wizard meets the install engine and the first-run configuration.
#pragma once

#include <string>

// The whole installation, run while the wizard shows its installing page. Reports through
// CurrentUI(); a fatal failure ends the program itself.
void InstallSequence();

// The first-run configuration of the wizard's last page: host name, primary domain and its
// administrator written into the configuration store, the running servers told to reload.
void ApplyTutorialSettings(const std::string& hostName, const std::string& domain,
                           const std::string& user, const std::string& password);
