// The new-version check of both faces: ask the products list named by info.xml, log what it
// says, and offer the download of a newer version (TQuestion::NewerVersion).
#pragma once

#include "net/VersionCheckUnit.h"

// Asks the products list; the answer is logged. Touches the network, so only when asked for.
TNewVersion CheckForNewerVersion();

// Offers the download when the version found is newer than this one; true when the person
// chose to download it (an unattended run never does).
bool OfferNewerVersion(const TNewVersion& latest);
