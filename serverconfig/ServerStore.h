// The suite's configuration store as the setup sees it: one process-wide settings record, one
// domain table and the store's folders. Operations never show anything and never throw; they
// answer false, -1 or an empty text.
//
// Callers call InitServerFolders once, then LoadServerSettings whenever they have set the
// configuration folder, and SaveServerSettings to persist. After a load that answered false
// because settings.cfg or domains.cfg exists but could not be read, SaveServerSettings refuses
// (answers false) until a later load succeeds: callers must not save after such a failure.
#pragma once

#include <cstdint>
#include <string>

#include "serverconfig/StoreFolders.h"

// Back to the state of a fresh process: compiled-in image, no table, no folders.
void ResetServerStore();

// Root := the running program's folder.
void InitServerFolders();
// The same with a given root folder.
void InitServerFoldersAt(const std::string& rootFolder);

bool LoadServerSettings(bool failIfMissing, bool light);
// The DNS servers the system uses, joined with ";" as the settings keep them.
std::string SystemDnsServers();
// True when settings.cfg and domains.cfg were both replaced.
bool SaveServerSettings();
// After a load that answered false on an existing file: that file's path (else empty).
std::string UnreadableStoreFile();
