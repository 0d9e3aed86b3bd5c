// Self-registration of the suite's COM server libraries (api.dll, quenforcom.dll).
//
// The library is loaded for the call only and freed before it returns. Failures are a
// false result and show nothing: a library that does not load or lacks the entry is simply
// skipped.
#pragma once

#include <string>

// Loads the library, calls the named entry (no arguments, standard calling convention) and
// gives true when it returned 0.
bool CallDllEntry(const std::string& path, const std::string& entry);
bool RegisterComServer(const std::string& path);
bool UnregisterComServer(const std::string& path);
