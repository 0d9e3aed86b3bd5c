// Dotted-version comparison used by the start-up, the install sequence and the version check.
#pragma once

#include <string>

// True when version is the same as or newer than reference, on the first three numbers.
bool VersionAtLeast(const std::string& version, const std::string& reference);
