// The few facts and services of the operating system the configuration store needs, behind
// one interface: a Win32 backend (HostSeamWin32.cpp) and a POSIX backend (HostSeamPosix.cpp).
// Tests install a fake through SetHostSeam.
#pragma once

#include <string>
#include <vector>

class THostSeam {
 public:
  virtual ~THostSeam() = default;

  // DNS servers the system uses: the current one first, then the configured list.
  virtual std::vector<std::string> DnsServers() = 0;
  // IPv4 addresses of the machine's network adapters, dotted.
  virtual std::vector<std::string> AdapterAddresses() = 0;
  // Minutes to add to local time to get UTC, for the zone in effect now (positive west).
  virtual int TimeZoneBiasMinutes() = 0;
  // Connects a disk share without a drive letter; empty user or password means none.
  // The answer is the system's error code, 0 when connected.
  virtual unsigned long ConnectNetworkShare(const std::string& remoteName,
                                            const std::string& userName,
                                            const std::string& password) = 0;

  // Run-time libraries. POSIX has no db.dll: its backend loads nothing.
  virtual void* LoadLibraryFile(const std::string& path) = 0;
  virtual void* LibraryEntry(void* library, const char* name) = 0;
  virtual void FreeLibraryFile(void* library) = 0;

  // Moves source over target in one step, keeping the target's attributes. False leaves the
  // target as it was (source is then still there).
  virtual bool ReplaceFileKeepingAttributes(const std::string& source,
                                            const std::string& target) = 0;
};

THostSeam& HostSeam();
// nullptr restores the platform backend.
void SetHostSeam(THostSeam* seam);
