// Driver of the antivirus engine's own setup library (setiface.dll): installing the engine
// into the installation's "avast" folder, refreshing its files and removing it again.
//
// One library is loaded at a time; the status word of each call is set to 0 before the call
// and filled by the library. Nothing here shows anything: a missing library or entry is a
// false result.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

constexpr char kEngineSetupLibrary[] = "setiface.dll";
constexpr char kEngineInstaller[] = "avastoem.exe";
constexpr char kEngineOemName[] = "Quenfor";
constexpr char kEngineInstallOptions[] = "/minicore /noreboot /forceinstall";
constexpr char kEngineUpdateOptions[] = "/overwrite";
constexpr std::int32_t kEngineSetupMode = 2;
constexpr std::uint32_t kEngineStatusSuccess = 0x20000000;

// Loads folder + "setiface.dll" (folder empty: the running program's folder + "avast\setup")
// with the folder current, so the library finds its own dependencies there. True when
// loaded, also when a library was loaded already.
bool LoadEngineSetup(const std::string& folder = "");
void UnloadEngineSetup();
bool EngineSetupLoaded();
// The folder the library was loaded from (ends in '\'), empty when none is loaded.
std::string EngineSetupFolder();

// Runs the engine installer into target, unless target + "\setup\setiface.dll" shows an
// engine already installed there (then false, nothing called). True when it returned 0.
bool InstallEngine(const std::string& target);
bool UpdateEngineFiles();
bool UninstallEngine();

// What the library gave back last: the return value, the status word, and the system error
// of the last failed load.
struct TEngineCallState {
  bool Called = false;
  std::int32_t ReturnValue = 0;
  std::uint32_t Status = 0;
  DWORD LoadError = ERROR_SUCCESS;
};
const TEngineCallState& LastEngineCall();
