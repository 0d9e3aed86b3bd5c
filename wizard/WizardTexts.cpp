#include "wizard/WizardTexts.h"

#include "texts/TextTable.h"

std::string cInstallAborted =
    "The installation stopped because of an unexpected error:\r\n%s\r\n"
    "The installation is not complete. Details are in the setup log.";
std::string cFolderNotAbsolute =
    "The Folder:\r\n\r\n'%s'\r\n\r\nis not a full path. Please enter the folder with its drive "
    "letter (for example C:\\Program Files\\Zarel\\) or as a network path "
    "(\\\\server\\share\\folder\\), with no \"..\" in it.";

void RegisterWizardTexts() {
  if (LocalizationStrings().Find("cInstallAborted") != nullptr) return;
  RegisterText("cInstallAborted", cInstallAborted);
  RegisterText("cFolderNotAbsolute", cFolderNotAbsolute);
}
