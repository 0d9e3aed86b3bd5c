// Every registered text of the setup, named once: its variable name (also its name in a
// language file) and its English default, in registration and export order. Included by
// texts/TextTable.h and texts/TextTable.cpp with ZAREL_TEXT defined for what they need.
// The example host and domain names in the first-run memos are names reserved for examples.
//
// A new text: one line here; nothing else needs changing for it to be declared, defined,
// registered, exported and replaceable by a language file.

ZAREL_TEXT(cName, "Zarel Mail Server")
ZAREL_TEXT(cDoYouExit, "Do you wish to cancel this installation?")
ZAREL_TEXT(cDoYouExitTitle, "Exit Setup")
ZAREL_TEXT(UninstallDesc, "Uninstall Zarel Mail Server")
ZAREL_TEXT(cZarelWebmail, "Zarel Mail Server Web Mail")
ZAREL_TEXT(cZarelWebAdmin, "Zarel Mail Server Web Administration")
ZAREL_TEXT(cZarelLogs, "Zarel Mail Server Logs")
ZAREL_TEXT(cWebMailManualFile, "html\\mail\\help\\index.htm")
ZAREL_TEXT(cWebMailManual, "Quenfor WebMail Documentation")
ZAREL_TEXT(ZarelSMTPLinkDesc, "Start Zarel SMTP Service")
ZAREL_TEXT(ZarelPOP3LinkDesc, "Start Zarel POP3-IMAP4 Service")
ZAREL_TEXT(ZarelControlLinkDesc, "Start Zarel Control Service")
ZAREL_TEXT(ZarelIMLinkDesc, "Start Zarel Instant Messaging Service")
ZAREL_TEXT(ZarelGWLinkDesc, "Start Zarel GroupWare Service")
ZAREL_TEXT(cSetup, "%s Setup")
ZAREL_TEXT(cInstallQ, "This will install %s. Do you wish to continue?")
ZAREL_TEXT(cInstallLicenseQ,
           "By installing this software you agree with the software license agreement. Do you wish to continue?")
ZAREL_TEXT(cUnInstallQ,
           "Are you sure to completely remove all files and components of this program?")
ZAREL_TEXT(cComplete,
           "The setup of %s is complete.\r\n\r\nIn order to get started it is suggested to run the Configuration program and read the Help.")
ZAREL_TEXT(cCompleteRemove,
           "Uninstall completed. Some elements could not be removed. You should manually remove items related to the application.")
ZAREL_TEXT(cInternet, "Is this computer connected to the Internet now?")
ZAREL_TEXT(cNotRunning,
           "The following service(s) could not be started:\r\n%s\r\nThere must be already running some other service(s) on the same TCP/IP port(s). Please, make sure no other SMTP or POP3 servers are running (including MS SMTP and Norton POP3).")
ZAREL_TEXT(cSetupError, "Setup could not find the required files.")
ZAREL_TEXT(cSetupRequireWebMail,
           "Setup has detected an old version of Quenfor Web Mail on your computer. It is required for you to upgrade Quenfor Web Mail or it will not function properly.")
ZAREL_TEXT(cTutorialCaption, "Installation Wizard")
ZAREL_TEXT(cInformation, "Information")
ZAREL_TEXT(cError, "Error")
ZAREL_TEXT(cErrorDir, "Directory could not be created: ")
ZAREL_TEXT(cErrorFile,
           "File copy error: %s\r\n%s\r\nIt is suggested to reboot this computer and run the setup again.")
ZAREL_TEXT(cErrorDataFile, "Extracting files error: data file error")
ZAREL_TEXT(cServiceError, "Service error: ")
ZAREL_TEXT(cRegistryError, "Registry error: ")
ZAREL_TEXT(cQuestion, "Question")
ZAREL_TEXT(cNewerVersion,
           "There is new %s %s version on the Internet. It is suggested to download and use the latest version instead. Do you want to download it now?")
ZAREL_TEXT(cInstallProgram, "Programs")
ZAREL_TEXT(cExtractingFiles, "Extracting Files...")
ZAREL_TEXT(cInstalling, "Installing Services...")
ZAREL_TEXT(cStarting, "Starting Services...")
ZAREL_TEXT(cFinishing, "Finishing Installation...")
ZAREL_TEXT(cUnInstalling, "Removing Services...")
ZAREL_TEXT(cStopping, "Stopping Services...")
ZAREL_TEXT(cChecking, "Checking For Running Services...")
ZAREL_TEXT(cFinished, "Installation Complete")
ZAREL_TEXT(cCopying, "Copying File:\r\n")
ZAREL_TEXT(cInstallingAV, "Installing Antivirus Engine...")
ZAREL_TEXT(cCreatingIcons, "Creating Icons...")
ZAREL_TEXT(cInstallingWeb, "Installing Web Mail...")
ZAREL_TEXT(cHintAdvanced, "All options will be visible. Expert's mode.")
ZAREL_TEXT(cHintBasic, "Some options will be invisible. Beginner's mode.")
ZAREL_TEXT(cYes, "&Yes")
ZAREL_TEXT(cNo, "&No")
ZAREL_TEXT(cBack, "< &Back")
ZAREL_TEXT(cNext, "&Next >")
ZAREL_TEXT(cCancel, "&Cancel")
ZAREL_TEXT(cInstallC, "&Install >")
ZAREL_TEXT(cPSetup, "%s %s Setup")
ZAREL_TEXT(cFinish, "&Finish")
ZAREL_TEXT(cSLA, "Software License Agreement")
ZAREL_TEXT(cStartCopyingFiles, "Start The Installation Process")
ZAREL_TEXT(cInstallingFiles, "Installing")
ZAREL_TEXT(cUpdateSetup, "Upgrade Setup")
ZAREL_TEXT(cSetupType, "Server Type && Console Mode")
ZAREL_TEXT(cComponentSetup, "Components To Install")
ZAREL_TEXT(cSetupFinished, "Setup Complete")
ZAREL_TEXT(cWizardHostName,
           "Enter the name of the mail server computer.\r\nIt must not be blank. Typically it would be\r\n'mail.example.com'.")
ZAREL_TEXT(cWizardDomain,
           "Enter the name of the primary domain.\r\nTypically it would be 'example.com'.")
ZAREL_TEXT(cWizardAdmin,
           "Enter the username and password of the\r\nprimary domain administrator. Do not fill in\r\nthe domain. Only the alias needs to be\r\nspecified. Typically the username would be\r\n'administrator'.")
ZAREL_TEXT(cWizardDomainInvalid,
           "The domain must be a domain name such as 'example.com': letters, digits and hyphens between dots.")
ZAREL_TEXT(cWizardUserInvalid,
           "The username must not contain \\ / : * ? \" < > | ; characters, nor be dots and blanks alone.")
ZAREL_TEXT(cWizardHostNameTooLong, "The hostname must not be longer than %s characters.")
ZAREL_TEXT(cWizardDomainTooLong, "The domain must not be longer than %s characters.")
ZAREL_TEXT(cWizardUserTooLong, "The username must not be longer than %s characters.")
ZAREL_TEXT(cWizardPasswordTooLong, "The password must not be longer than %s characters.")
ZAREL_TEXT(cInstallAborted,
           "The installation stopped because of an unexpected error:\r\n%s\r\nThe installation is not complete. Details are in the setup log.")
ZAREL_TEXT(cFolderNotAbsolute,
           "The Folder:\r\n\r\n'%s'\r\n\r\nis not a full path. Please enter the folder with its drive letter (for example C:\\Program Files\\Zarel\\), with no \"..\" in it.")
ZAREL_TEXT(cFolderRefused,
           "The Folder:\r\n\r\n'%s'\r\n\r\ncannot be the installation folder: %s.\r\n\r\nPlease choose a new or empty folder on a local drive, or the folder of an earlier installation.")
ZAREL_TEXT(cNewerInstalled,
           "Version %s of %s is installed on this computer, which is newer than the version %s this setup installs. Installing it would replace newer programs with older ones.\r\n\r\nDo you want to install the older version anyway?")
ZAREL_TEXT(cInstallIncomplete, "The installation is not complete.")
ZAREL_TEXT(cServersRunAgain, "These servers run again:\r\n%s")
ZAREL_TEXT(cServersNotStarted, "These servers could not be started again:\r\n%s")
ZAREL_TEXT(cConfigNotSaved,
           "The configuration file %s could not be read, so the setup changed nothing in the configuration. The servers run with it as it is; if they do not work as before, check the file and restart them.")
ZAREL_TEXT(cSetupStopping,
           "Setup is stopping: it ends the current step and starts again the servers that were running...")
ZAREL_TEXT(cStepFailed, "Failed: %s")
ZAREL_TEXT(cJournalNotWritten,
           "The setup could not record its progress in the registry, so a later run could not finish this one if it stopped. Nothing was changed on this computer. Run the setup as an administrator.")
ZAREL_TEXT(cDataFileProblem,
           "%s: %s.\r\n\r\nNothing was changed on this computer. Copy the setup's files again from the original distribution and run the setup again.")
ZAREL_TEXT(cArchiveCut, "the file ends too early, in %s")
ZAREL_TEXT(cArchiveHeader, "its header")
ZAREL_TEXT(cArchiveDamaged, "the data of %s do not match their checksum")
ZAREL_TEXT(cArchiveMalformed, "the entry %s is not one the setup accepts")
ZAREL_TEXT(cArchiveUnreadable, "the file cannot be read (%s)")
ZAREL_TEXT(cNoRoom,
           "There is not enough room on the drive of %s: the installation needs %s MB there and %s MB are free.\r\n\r\nNothing was changed on this computer. Make room on the drive, or choose another folder, and run the setup again.")
