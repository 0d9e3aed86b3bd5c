#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include "engine/ShortcutUnit.h"

#include <algorithm>
#include <cctype>

#include "engine/EngineSupport.h"
#include "engine/FailureUnit.h"
#include "engine/FilePlacementUnit.h"
#include "base/FileSystemUnit.h"
#include "base/StringUnit.h"
#include "engine/InstallLog.h"
#include "engine/InstallUI.h"
#include "engine/SetupState.h"
#include "texts/TextTable.h"
#include "system/ServerTable.h"

namespace {

constexpr char kShellFoldersArea[] = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";
constexpr char kShellFoldersSection[] = "Shell Folders";
constexpr std::size_t kLinkPathMax = 520;
constexpr char kRegistryErrorAdvice[] =
    "\r\nThere might be already some service running on the same TCP/IP port. Make sure MS SMTP, "
    "Norton Antivirus POP3 or some other mail server is not running on this machine.";

bool IsReservedDeviceName(const std::string& name) {
  std::string base = UpperCase(name.substr(0, name.find('.')));
  static const char* const devices[] = {"CON", "PRN", "AUX", "NUL"};
  for (const char* device : devices)
    if (base == device) return true;
  return base.size() == 4 && (base.rfind("COM", 0) == 0 || base.rfind("LPT", 0) == 0) &&
         base[3] >= '1' && base[3] <= '9';
}

bool IsSingleFolderName(const std::string& name) {
  if (name.empty() || name.size() > kShortPathMax) return false;
  for (const char c : name)
    if (static_cast<unsigned char>(c) < ' ' || std::string("\\/:*?\"<>|").find(c) != std::string::npos)
      return false;
  // Windows drops trailing dots and blanks, so "." and ".." and " " name no folder of their own.
  if (name.back() == '.' || name.back() == ' ' || name.front() == ' ') return false;
  return !IsReservedDeviceName(name);
}

// Keeps COM initialised for the thread during one call.
class TComScope {
 public:
  TComScope() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~TComScope() {
    if (initialised_) CoUninitialize();
  }
  TComScope(const TComScope&) = delete;
  TComScope& operator=(const TComScope&) = delete;

 private:
  bool initialised_;
};

template <typename Interface>
class TComPointer {
 public:
  TComPointer() = default;
  ~TComPointer() {
    if (pointer_ != nullptr) pointer_->Release();
  }
  TComPointer(const TComPointer&) = delete;
  TComPointer& operator=(const TComPointer&) = delete;
  Interface** Out() { return &pointer_; }
  void** OutVoid() { return reinterpret_cast<void**>(&pointer_); }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }

 private:
  Interface* pointer_ = nullptr;
};

std::wstring Wide(const std::string& text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

void CreateLinks(const std::string& folder) {
  const TSetupState& state = SetupState();
  TLinkConditions when;
  when.WebMailInstalled = state.WebMailInstalled;
  when.ServicesPlatform = IsNTPlatform();
  when.IMChosen = !state.NoInstallIM;
  when.GroupWareChosen = !state.NoInstallCalendar;
  for (const TShortcut& link : PlannedShortcuts(state.InstallDir, CompletedPlacementFolders().SetupProgram, when)) {
    const std::string file = folder + link.Name + ".lnk";
    if (CreateShortcut(link.Target, file, link.IconIndex, link.Arguments))
      InstallLog("Shortcut created: " + file + " -> " + link.Target +
                 (link.Arguments.empty() ? "" : " " + link.Arguments));
    else
      InstallLog("Shortcut not created: " + file);
  }
}

TRegistryResult WriteAll(TAdvancedRegistry& registry,
                         std::initializer_list<std::pair<const char*, std::string>> values) {
  for (const auto& [name, text] : values) {
    const TRegistryResult result = registry.WriteString(name, text);
    InstallLog("Registry value " + std::string(name) + " = \"" + text + "\" in HKLM\\" + registry.KeyPath() +
               (result ? "" : ": not written: " + result.message));
    if (!result) return result;
  }
  return {};
}

TRegistryResult WriteNumber(TAdvancedRegistry& registry, const char* name, std::int32_t value) {
  const TRegistryResult result = registry.WriteInteger(name, value);
  InstallLog("Registry value " + std::string(name) + " = " + std::to_string(value) + " in HKLM\\" +
             registry.KeyPath() + (result ? "" : ": not written: " + result.message));
  return result;
}

}  // namespace

std::string ShortcutFolderName(const std::string& productName) {
  return IsSingleFolderName(productName) ? productName : kDefaultFolderName;
}

std::string StartMenuFolder() {
  TAdvancedRegistry shellFolders(TRegistryKey::hkCURRENT_USER, kShellFoldersArea, kShellFoldersSection);
  const std::string programs = shellFolders.ReadString(cInstallProgram);
  if (programs.empty()) return {};
  return NormalizePath(programs, true, false) + ShortcutFolderName(cName) + "\\";
}

std::vector<TShortcut> PlannedShortcuts(const std::string& installDir, const std::string& setupProgram,
                                        const TLinkConditions& when) {
  const std::string setup = installDir + setupProgram;
  std::vector<TShortcut> links = {
      {"Zarel Mail Server Administration", installDir + "config.exe", "", 0},
      {"Zarel Mail Server Readme", installDir + "readme.txt", "", 0},
      {"Zarel Mail Server Help", installDir + "help\\manual.chm", "", 0},
      {"DNS Query Tool", installDir + "dnsquery.exe", "", 0},
      {"Zarel Mail Server Tutorial", installDir + "tutorial\\index.html", "", 0},
      {UninstallDesc, setup, "/UNINSTALL", 1},
  };
  if (when.WebMailInstalled) links.push_back({cWebMailManual, installDir + cWebMailManualFile, "", 0});
  if (!when.ServicesPlatform) {
    links.push_back({ZarelSMTPLinkDesc, installDir + "smtp.exe", "", 0});
    links.push_back({ZarelPOP3LinkDesc, installDir + "pop3.exe", "", 0});
    links.push_back({ZarelControlLinkDesc, installDir + "control.exe", "", 0});
    if (when.IMChosen) links.push_back({ZarelIMLinkDesc, installDir + "im.exe", "", 0});
    if (when.GroupWareChosen) links.push_back({ZarelGWLinkDesc, installDir + "cal.exe", "", 0});
  }
  links.push_back({cZarelWebmail, setup, "/WEBMAILLOGON", 2});
  links.push_back({cZarelWebAdmin, setup, "/WEBADMINLOGON", 2});
  links.push_back({cZarelLogs, setup, "/LOGS", 3});
  return links;
}

bool CreateShortcut(const std::string& target, const std::string& linkFile, int iconIndex,
                    const std::string& arguments) {
  const TComScope com;
  TComPointer<IShellLinkA> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              link.OutVoid())))
    return false;
  link->SetPath(target.c_str());
  if (iconIndex != 0) link->SetIconLocation(target.c_str(), iconIndex);
  if (!arguments.empty()) link->SetArguments(arguments.c_str());
  TComPointer<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.OutVoid()))) return false;
  std::wstring path = Wide(linkFile);
  if (path.empty() || path.size() > kLinkPathMax) return false;
  return SUCCEEDED(file->Save(path.c_str(), TRUE));
}

void DeleteLinks(const std::string& folder) {
  // The mask is matched against long names only, so "a.lnkx" (alias "A~1.LNK") stays.
  for (const TDirEntry& entry : ListDirectory(folder, "*.lnk"))
    if (!entry.isDirectory) DeleteLoggedFile(folder + entry.name);
}

std::uint32_t FolderSizeKiB(const std::string& folder) {
  std::uint64_t bytes = 0;
  std::vector<std::string> pending = {NormalizePath(folder, true, false)};
  while (!pending.empty()) {
    const std::string current = pending.back();
    pending.pop_back();
    for (const TDirEntry& entry : ListDirectory(current, "*")) {
      if (!entry.isDirectory)
        bytes += entry.size;
      else if (!entry.isLink)
        pending.push_back(current + entry.name + "\\");
    }
  }
  return static_cast<std::uint32_t>(std::min<std::uint64_t>((bytes + 1023) / 1024, 0x7FFFFFFF));
}

TRegistryResult WriteUninstallEntry(const std::string& installDir, const std::string& setupProgram) {
  TAdvancedRegistry entry(TRegistryKey::hkLOCAL_MACHINE, kUninstallArea, kUninstallSection);
  return WriteUninstallEntry(entry, installDir, setupProgram);
}

TRegistryResult WriteUninstallEntry(TAdvancedRegistry& entry, const std::string& installDir,
                                    const std::string& setupProgram) {
  const std::string setup = installDir + setupProgram;
  const TRegistryResult result =
      WriteAll(entry, {{"DisplayName", cName}, {"UninstallString", "\"" + setup + "\" /UNINSTALL"}});
  if (!result) return result;
  // What the programs list shows beyond the name: useful, never worth a failed installation
  // (each write logs its own failure).
  WriteAll(entry, {{"DisplayVersion", ProductVersion}});
  WriteAll(entry, {{"Publisher", kPublisher}});
  WriteAll(entry, {{"DisplayIcon", setup + ",0"}});
  WriteAll(entry, {{"InstallLocation", installDir}});
  WriteNumber(entry, "EstimatedSize", static_cast<std::int32_t>(FolderSizeKiB(installDir)));
  WriteNumber(entry, "NoModify", 1);
  WriteNumber(entry, "NoRepair", 1);
  return result;
}

TRegistryResult WriteSuiteKey(const std::string& installDir) {
  TAdvancedRegistry suite(TRegistryKey::hkLOCAL_MACHINE, kSuiteArea, kSuiteSection);
  return WriteAll(suite, {{"InstallDir", installDir}, {"Version", ProductVersion}});
}

TRegistryResult RemoveUninstallEntry() {
  TAdvancedRegistry entry(TRegistryKey::hkLOCAL_MACHINE, kUninstallArea, kUninstallSection);
  const TRegistryResult result = entry.DeleteKey(entry.KeyPath());
  InstallLog("Uninstall entry HKLM\\" + entry.KeyPath() +
             (result ? " removed" : " not removed: " + result.message));
  return result;
}

void CreateIcons() {
  CurrentUI().SetStatus(cCreatingIcons);
  const std::string folder = StartMenuFolder();
  if (folder.empty()) {
    InstallLog("No Programs folder known for the current user: shortcuts skipped");
  } else {
    if (!DirectoryExists(folder) && CreateDirectoryA(folder.c_str(), nullptr))
      InstallLog("Folder created: " + folder);
    DeleteLinks(folder);
    CreateLinks(folder);
  }
  const std::string installDir = SetupState().InstallDir;
  TRegistryResult result = WriteUninstallEntry(installDir, CompletedPlacementFolders().SetupProgram);
  if (result) result = WriteSuiteKey(installDir);
  if (!result)
    Fail("Writing the uninstall entry and the suite's key", cRegistryError + result.message + kRegistryErrorAdvice,
         static_cast<std::uint32_t>(result.code));
}
