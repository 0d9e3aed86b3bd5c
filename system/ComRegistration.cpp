#include <windows.h>
#include <objbase.h>

#include "system/ComRegistration.h"
#include "base/HandleTypes.h"

namespace {

// A library that fails to load must not make the system ask the person about a missing
// file or disk; the previous mode is restored afterwards.
class TQuietErrorMode {
 public:
  TQuietErrorMode() : previous_(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}
  ~TQuietErrorMode() { SetErrorMode(previous_); }
  TQuietErrorMode(const TQuietErrorMode&) = delete;
  TQuietErrorMode& operator=(const TQuietErrorMode&) = delete;

 private:
  UINT previous_;
};

// Self-registration code commonly uses COM (type libraries) and expects it initialised on
// the calling thread, as the system's own registration tool does.
class TComApartment {
 public:
  TComApartment() : initialised_(SUCCEEDED(CoInitialize(nullptr))) {}
  ~TComApartment() {
    if (initialised_) CoUninitialize();
  }
  TComApartment(const TComApartment&) = delete;
  TComApartment& operator=(const TComApartment&) = delete;

 private:
  bool initialised_;
};

using TSelfRegistrationEntry = HRESULT(WINAPI*)();

}  // namespace

bool CallDllEntry(const std::string& path, const std::string& entry) {
  TComApartment apartment;
  TLibrary library;
  {
    TQuietErrorMode quiet;
    // With a full path, the libraries it needs are looked for beside it first.
    library.Reset(LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
  }
  const auto function = LibraryEntry<TSelfRegistrationEntry>(library, entry.c_str());
  if (function == nullptr) return false;
  return function() == S_OK;
}

bool RegisterComServer(const std::string& path) { return CallDllEntry(path, "DllRegisterServer"); }

bool UnregisterComServer(const std::string& path) {
  return CallDllEntry(path, "DllUnregisterServer");
}
