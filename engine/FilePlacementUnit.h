// Puts every file of the suite where it belongs after Setup.Dat was unpacked: the core
// programs, the folder trees, the optional component archives and the files made from
// templates, while leaving the user's configuration and data of an earlier installation
// alone (each protected file has its own rule). A required file, an archive's file or a folder
// that cannot be placed ends the setup with an error box naming it; nothing is rolled back (the
// install sequence puts the servers back), and a confirmed Cancel stops before the next file.
#pragma once

#include <string>

#include "engine/ComponentTable.h"

// The folders placement reads from and writes to besides SetupState's InstallDir. Empty
// fields take the running program's values (DefaultPlacementFolders).
struct TPlacementFolders {
  std::string ExtractionFolder;  // where the install sequence unpacked Setup.Dat
  std::string SetupFolder;       // the setup program with the data archives beside it
  std::string SetupProgram;      // the setup program's file name in SetupFolder
  std::string WindowsFolder;     // receives wmi.ini; its "temp\mmcache\" is created
  std::string SystemFolder;      // receives Zarel.CPL
};

// The process-wide folders the install sequence sets before PlaceFiles.
TPlacementFolders& PlacementFolders();
// Fills the empty fields: the running program's folder and name, the Windows folder (the
// program's folder when the system gives none), SetupState's SystemDir or the system folder.
TPlacementFolders CompletedPlacementFolders();

// The file name of the running setup program.
std::string RunningProgramName();

constexpr char kLdapKeepList[] =
    ";slapd.conf;schema\\corba.schema;schema\\core.schema;schema\\cosine.schema;"
    "schema\\inetorgperson.schema;schema\\java.schema;schema\\krb5-kdc.schema;"
    "schema\\misc.schema;schema\\nadf.schema;schema\\nis.schema;schema\\openldap.schema;"
    "ldbm\\dn2id.dbb;ldbm\\id2entry.dbb;ldbm\\nextid.dbb;ldbm\\objectClass.dbb;";

// The core files, in their copy order, are kCoreFiles of the component table (the uninstall
// removes the same list).

void PlaceFiles();

// The antivirus step of the placement: when SetupAV.Dat lies beside the setup program and
// the component is chosen, unpacks it, removes an engine older than 5.3.4, runs the engine's
// installer (skipped by the engine's library when an engine is installed already) and
// updates the engine's files. Only SetupAV.Dat not unpacked whole is reported (and ends the
// program).
void PlaceAntivirusEngine();

// Copies sourceFolder + name over targetFolder + name (attributes of an existing target
// cleared first). A failed fatal copy shows the "File copy error" box and ends the program;
// otherwise the result says whether the copy was made.
bool CopyFileToFolder(const std::string& name, const std::string& sourceFolder,
                      const std::string& targetFolder, bool fatal);
// Creates the folder with its parents; one that cannot be created ends the setup with the box
// that names it and the system's reason.
void EnsureFolderOrFail(const std::string& folder);
// Unpacks an archive; anything short of a complete extraction ends the setup: a file that could
// not be written with the "File copy error" box naming it and the system's reason, damage with
// the data-file box naming the archive. A confirmed Cancel is looked at first.
void ExtractOrFail(const std::string& archive, const std::string& destination, bool overwrite,
                   const std::string& keepList = "");
// Copies extraction folder + relative (ends in '\') with everything below it to the same
// place below the installation folder. A target folder is created only for a file copied
// into it, so empty folders of the tree stay behind.
void CopyTree(const std::string& relative);
// The same for any source and target folder.
void CopyFolderTree(const std::string& sourceFolder, const std::string& targetFolder);
// Writes targetFolder + the template's file name with the markers replaced. A relative
// template path is read from the extraction folder. Templates that cannot be read or
// written are skipped (logged).
void ExpandTemplate(const std::string& templatePath, const std::string& targetFolder);
