// Stand-in for the antivirus engine's setup library setiface.dll.
//
// Every call of an entry appends one line to a call log: the entry's name, its arguments
// and, after the call, the return value and the status word. The log is the file named by
// the environment value ZAREL_SETIFACE_LOG, else "setiface-calls.log" in the temporary folder.
//
// setifaceInstallProgram runs the given installer (avastoem.exe) with the options and
// /target="<folder>" and waits for it; the installer lays out <folder>\setup\setiface.dll.
// Success is return value 0 and status word 0x20000000.
// Test switch: ZAREL_SETIFACE_FAIL lists entries (without the "setiface" prefix, separated
// by ',') that fail with return value 1 and status 0x40000000; "*" fails every entry.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr std::uint32_t kStatusSuccess = 0x20000000;
constexpr std::uint32_t kStatusFailure = 0x40000000;

std::string Environment(const char* name) {
  char value[1024];
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

std::string LogPath() {
  std::string path = Environment("ZAREL_SETIFACE_LOG");
  if (!path.empty()) return path;
  char temp[MAX_PATH + 1] = {};
  GetTempPathA(MAX_PATH, temp);
  return std::string(temp) + "setiface-calls.log";
}

std::string Text(const char* text) { return text == nullptr ? "(null)" : "\"" + std::string(text) + "\""; }

void Record(const std::string& line) {
  std::FILE* file = std::fopen(LogPath().c_str(), "ab");
  if (file == nullptr) return;
  std::fprintf(file, "%s\r\n", line.c_str());
  std::fclose(file);
}

bool ToldToFail(const std::string& entry) {
  const std::string list = "," + Environment("ZAREL_SETIFACE_FAIL") + ",";
  return list == ",*," || list.find("," + entry + ",") != std::string::npos;
}

std::int32_t Finish(const std::string& call, std::int32_t returned, std::uint32_t status,
                    std::uint32_t* statusWord) {
  if (statusWord != nullptr) *statusWord = status;
  char tail[64];
  std::snprintf(tail, sizeof tail, " -> %ld status 0x%08lx", static_cast<long>(returned),
                static_cast<unsigned long>(status));
  Record(call + tail);
  return returned;
}

std::int32_t RunInstaller(const char* installer, const char* target, const char* options) {
  if (installer == nullptr || target == nullptr) return 2;
  std::string command = "\"" + std::string(installer) + "\" " + (options ? options : "") +
                        " /target=\"" + target + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(installer, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process))
    return 3;
  WaitForSingleObject(process.hProcess, 30000);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return exitCode == 0 ? 0 : 4;
}

}  // namespace

#define SETIFACE_ENTRY extern "C" __declspec(dllexport) std::int32_t WINAPI

SETIFACE_ENTRY setifaceInstallProgram(const char* oem, const char* installer, const char* target,
                                      const char* options, std::int32_t mode,
                                      std::uint32_t* status) {
  const std::string call = "setifaceInstallProgram(" + Text(oem) + ", " + Text(installer) + ", " +
                           Text(target) + ", " + Text(options) + ", " + std::to_string(mode) + ")";
  if (ToldToFail("InstallProgram")) return Finish(call, 1, kStatusFailure, status);
  const std::int32_t returned = RunInstaller(installer, target, options);
  return Finish(call, returned, returned == 0 ? kStatusSuccess : kStatusFailure, status);
}

SETIFACE_ENTRY setifaceUpdateFiles(const char* oem, const char* options, std::int32_t mode,
                                   std::uint32_t* status) {
  const std::string call = "setifaceUpdateFiles(" + Text(oem) + ", " + Text(options) + ", " +
                           std::to_string(mode) + ")";
  if (ToldToFail("UpdateFiles")) return Finish(call, 1, kStatusFailure, status);
  return Finish(call, 0, kStatusSuccess, status);
}

SETIFACE_ENTRY setifaceUninstallProgram(const char* oem, const char* options, std::int32_t mode,
                                        std::uint32_t* status) {
  const std::string call = "setifaceUninstallProgram(" + Text(oem) + ", " + Text(options) + ", " +
                           std::to_string(mode) + ")";
  if (ToldToFail("UninstallProgram")) return Finish(call, 1, kStatusFailure, status);
  return Finish(call, 0, kStatusSuccess, status);
}

// Looked up by the setup but never called: any call is recorded so a test would see it.
SETIFACE_ENTRY setifaceUpdatePackages(const char*, const char*, std::int32_t, std::uint32_t* status) {
  return Finish("setifaceUpdatePackages(...)", 0, kStatusSuccess, status);
}
SETIFACE_ENTRY setifaceGimmePathToSetifaceVpu(char*, std::int32_t) {
  return Finish("setifaceGimmePathToSetifaceVpu(...)", 0, kStatusSuccess, nullptr);
}
SETIFACE_ENTRY setifaceGetPartVersions(const char*, char*, std::int32_t) {
  return Finish("setifaceGetPartVersions(...)", 0, kStatusSuccess, nullptr);
}
SETIFACE_ENTRY setifaceCheckUpdate(const char*, std::int32_t, std::uint32_t* status) {
  return Finish("setifaceCheckUpdate(...)", 0, kStatusSuccess, status);
}
