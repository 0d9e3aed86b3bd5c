// The suite's Start-menu folder and its shortcuts, the uninstall entry that the system's
// list of programs shows, and the suite's own key with the installed folder and version.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "system/AdvancedRegistry.h"

constexpr char kUninstallArea[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr char kUninstallSection[] = "Zarel";
constexpr char kSuiteArea[] = "\\Software\\Quenfor";
constexpr char kSuiteSection[] = "Zarel Mail Server";
constexpr char kPublisher[] = "Quenfor";
constexpr char kDefaultFolderName[] = "Zarel Mail Server";

// The product name as a Start-menu folder name: cName when it is one valid folder name,
// otherwise "Zarel Mail Server" (an empty name or one holding "\", ":" or ".." would point
// the folder at the whole Programs folder or outside it).
std::string ShortcutFolderName(const std::string& productName);
// The current user's Programs folder + the shortcut folder name + "\"; empty when the
// shell-folders key gives no Programs folder. Installing and uninstalling both use it.
std::string StartMenuFolder();

struct TShortcut {
  std::string Name;  // link file name without ".lnk"
  std::string Target;
  std::string Arguments;
  int IconIndex = 0;  // 0: none set
};

// What decides which links apply.
struct TLinkConditions {
  bool WebMailInstalled = false;  // the web mail step of the placement ran in this run
  bool ServicesPlatform = true;   // NT: the servers are services, no start links
  // Off NT: the start links of instant messaging and groupware point at programs that are
  // there only when the component is chosen (a left-out one's program is deleted).
  bool IMChosen = true;
  bool GroupWareChosen = true;
};

// The links that apply, in their creation order.
std::vector<TShortcut> PlannedShortcuts(const std::string& installDir, const std::string& setupProgram,
                                        const TLinkConditions& when);

// Writes one shell link; failures are silent (false).
bool CreateShortcut(const std::string& target, const std::string& linkFile, int iconIndex,
                    const std::string& arguments);
// Deletes every "*.lnk" of the folder, read-only, hidden and system ones included; other
// files stay.
void DeleteLinks(const std::string& folder);

// Builds the Start-menu folder afresh and records the installation in the registry; a
// registry write that fails shows the registry-error box and ends the program.
void CreateIcons();

// The uninstall entry (quoted program path, so a folder with spaces is not cut at the first
// blank) and the suite's key. The first failing write of a value the removal needs
// (DisplayName, UninstallString) is given back; the other values of the programs list are
// only logged when they fail.
TRegistryResult WriteUninstallEntry(const std::string& installDir, const std::string& setupProgram);
// The same through a given registry component addressing the uninstall key.
TRegistryResult WriteUninstallEntry(TAdvancedRegistry& entry, const std::string& installDir,
                                    const std::string& setupProgram);
TRegistryResult WriteSuiteKey(const std::string& installDir);
TRegistryResult RemoveUninstallEntry();

// Size of everything below the folder in KiB, for the list of programs.
std::uint32_t FolderSizeKiB(const std::string& folder);
