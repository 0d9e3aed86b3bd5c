// The readable report of one configuration folder that "zcfg show" prints for support
// engineers. It loads the folder with the store's own code and never prints a password.
#pragma once

#include <ostream>
#include <string>

// False (after printing why) when the folder's settings could not be loaded.
bool ShowConfiguration(const std::string& configFolder, std::ostream& out);

// "2026-12-31" for a date held as days since 30 December 1899.
std::string FormatStoreDate(double days);
