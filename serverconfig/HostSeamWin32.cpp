#include <windows.h>
#include <iphlpapi.h>
#include <winnetwk.h>

#include <algorithm>
#include <vector>

#include "serverconfig/HostSeam.h"
#include "base/HandleTypes.h"
#include "base/SafeLibrary.h"

namespace {

void AddUnique(std::vector<std::string>& list, const char* text) {
  const std::string item = text;
  if (item.empty() || item == "0.0.0.0") return;
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

// The IP helper is missing on the oldest systems the setup runs on: looked up per call.
class TIpHelper {
 public:
  TIpHelper() : module_(LoadSystemLibrary("iphlpapi.dll")) {}
  ~TIpHelper() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  TIpHelper(const TIpHelper&) = delete;
  TIpHelper& operator=(const TIpHelper&) = delete;
  FARPROC Entry(const char* name) const {
    return module_ != nullptr ? GetProcAddress(module_, name) : nullptr;
  }

 private:
  HMODULE module_;
};

// Buffer sized by a first call that reports the size needed, as the IP helper wants it.
template <typename Info>
std::vector<unsigned char> QueryIpHelper(const char* entryName) {
  using TQuery = DWORD(WINAPI*)(Info*, PULONG);
  TIpHelper helper;
  const auto query = reinterpret_cast<TQuery>(reinterpret_cast<void*>(helper.Entry(entryName)));
  std::vector<unsigned char> buffer;
  if (query == nullptr) return buffer;
  ULONG size = sizeof(Info);
  buffer.resize(size);
  DWORD rc = query(reinterpret_cast<Info*>(buffer.data()), &size);
  if (rc == ERROR_BUFFER_OVERFLOW) {
    buffer.resize(size);
    rc = query(reinterpret_cast<Info*>(buffer.data()), &size);
  }
  if (rc != ERROR_SUCCESS) buffer.clear();
  return buffer;
}

bool MoveOver(const std::string& source, const std::string& target) {
  if (MoveFileExA(source.c_str(), target.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) return false;
  // Windows 9x has no MoveFileEx: move the old file aside first, so that a failure can put
  // it back.
  if (GetFileAttributesA(target.c_str()) == INVALID_FILE_ATTRIBUTES) {
    return MoveFileA(source.c_str(), target.c_str()) != 0;
  }
  const std::string aside = target + ".old";
  DeleteFileA(aside.c_str());
  if (!MoveFileA(target.c_str(), aside.c_str())) return false;
  if (!MoveFileA(source.c_str(), target.c_str())) {
    MoveFileA(aside.c_str(), target.c_str());
    return false;
  }
  DeleteFileA(aside.c_str());
  return true;
}

class TWin32HostSeam : public THostSeam {
 public:
  std::vector<std::string> DnsServers() override {
    std::vector<std::string> servers;
    const auto buffer = QueryIpHelper<FIXED_INFO>("GetNetworkParams");
    if (buffer.empty()) return servers;
    const auto* info = reinterpret_cast<const FIXED_INFO*>(buffer.data());
    if (info->CurrentDnsServer != nullptr) {
      AddUnique(servers, info->CurrentDnsServer->IpAddress.String);
    }
    for (const IP_ADDR_STRING* item = &info->DnsServerList; item != nullptr; item = item->Next) {
      AddUnique(servers, item->IpAddress.String);
    }
    return servers;
  }

  std::vector<std::string> AdapterAddresses() override {
    std::vector<std::string> addresses;
    const auto buffer = QueryIpHelper<IP_ADAPTER_INFO>("GetAdaptersInfo");
    if (buffer.empty()) return addresses;
    for (auto* adapter = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data());
         adapter != nullptr; adapter = adapter->Next) {
      for (const IP_ADDR_STRING* item = &adapter->IpAddressList; item != nullptr;
           item = item->Next) {
        AddUnique(addresses, item->IpAddress.String);
      }
    }
    return addresses;
  }

  int TimeZoneBiasMinutes() override {
    TIME_ZONE_INFORMATION zone{};
    switch (GetTimeZoneInformation(&zone)) {
      case TIME_ZONE_ID_STANDARD: return zone.Bias + zone.StandardBias;
      case TIME_ZONE_ID_DAYLIGHT: return zone.Bias + zone.DaylightBias;
      default: return zone.Bias;
    }
  }

  unsigned long ConnectNetworkShare(const std::string& remoteName, const std::string& userName,
                                    const std::string& password) override {
    // mpr.dll is no known library: imported, a copy beside the program would be loaded first.
    using TAddConnection = DWORD(WINAPI*)(LPNETRESOURCEA, LPCSTR, LPCSTR, DWORD);
    const TLibrary mpr(LoadSystemLibrary("mpr.dll"));
    const auto addConnection = ::LibraryEntry<TAddConnection>(mpr, "WNetAddConnection2A");
    if (addConnection == nullptr) return ERROR_PROC_NOT_FOUND;
    NETRESOURCEA resource{};
    resource.dwType = RESOURCETYPE_DISK;
    std::string remote = remoteName;
    resource.lpRemoteName = remote.data();
    return addConnection(&resource, password.empty() ? nullptr : password.c_str(),
                         userName.empty() ? nullptr : userName.c_str(), 0);
  }

  void* LoadLibraryFile(const std::string& path) override {
    // No "cannot find" box from the system when the library is absent.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    // By full path, its own folder searched for the libraries it needs beside it.
    HMODULE module = LoadLibraryAt(path);
    SetErrorMode(oldMode);
    return reinterpret_cast<void*>(module);
  }

  void* LibraryEntry(void* library, const char* name) override {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
  }

  void FreeLibraryFile(void* library) override {
    if (library != nullptr) FreeLibrary(static_cast<HMODULE>(library));
  }

  bool ReplaceFileKeepingAttributes(const std::string& source,
                                    const std::string& target) override {
    const DWORD attributes = GetFileAttributesA(target.c_str());
    if (!MoveOver(source, target)) return false;
    if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(target.c_str(), attributes);
    return true;
  }
};

TWin32HostSeam& PlatformSeam() {
  static TWin32HostSeam seam;
  return seam;
}

THostSeam* g_seam = nullptr;

}  // namespace

THostSeam& HostSeam() { return g_seam != nullptr ? *g_seam : PlatformSeam(); }
void SetHostSeam(THostSeam* seam) { g_seam = seam; }
