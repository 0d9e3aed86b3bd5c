// The wizard's own texts beyond the common text table, registered after it so that a
// language file can replace them too. Portable.
#pragma once

#include <string>

// Error box when the install sequence, the uninstall or the first-run configuration stops
// on an unexpected error; "%s" takes the error's description.
extern std::string cInstallAborted;
// The destination is not a full path (or has ".." in it); "%s" takes the folder text.
extern std::string cFolderNotAbsolute;

void RegisterWizardTexts();
