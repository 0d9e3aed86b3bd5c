#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <sstream>

#include "base/FileSystemUnit.h"
#include "serverconfig/HostSeam.h"

namespace {

constexpr unsigned long kErrorNotSupported = 50;

void AddUnique(std::vector<std::string>& list, const std::string& item) {
  if (item.empty() || item == "0.0.0.0") return;
  if (std::find(list.begin(), list.end(), item) == list.end()) list.push_back(item);
}

class TPosixHostSeam : public THostSeam {
 public:
  std::vector<std::string> DnsServers() override {
    std::vector<std::string> servers;
    std::ifstream resolv("/etc/resolv.conf");
    std::string line;
    while (std::getline(resolv, line)) {
      std::istringstream words(line);
      std::string keyword, address;
      if (words >> keyword >> address && keyword == "nameserver") AddUnique(servers, address);
    }
    return servers;
  }

  std::vector<std::string> AdapterAddresses() override {
    std::vector<std::string> addresses;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return addresses;
    for (ifaddrs* item = list; item != nullptr; item = item->ifa_next) {
      if (item->ifa_addr == nullptr || item->ifa_addr->sa_family != AF_INET) continue;
      char text[INET_ADDRSTRLEN] = {};
      const auto* address = reinterpret_cast<const sockaddr_in*>(item->ifa_addr);
      if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text) != nullptr) {
        AddUnique(addresses, text);
      }
    }
    freeifaddrs(list);
    return addresses;
  }

  int TimeZoneBiasMinutes() override {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return static_cast<int>(-local.tm_gmtoff / 60);
  }

  unsigned long ConnectNetworkShare(const std::string&, const std::string&,
                                    const std::string&) override {
    return kErrorNotSupported;
  }

  void* LoadLibraryFile(const std::string&) override { return nullptr; }
  void* LibraryEntry(void*, const char*) override { return nullptr; }
  void FreeLibraryFile(void*) override {}

  bool ReplaceFileKeepingAttributes(const std::string& source,
                                    const std::string& target) override {
    const std::string from = HostPath(source);
    const std::string to = HostPath(target);
    struct stat old {};
    const bool hadTarget = ::stat(to.c_str(), &old) == 0;
    if (std::rename(from.c_str(), to.c_str()) != 0) return false;
    if (hadTarget) ::chmod(to.c_str(), old.st_mode & 07777);
    return true;
  }
};

TPosixHostSeam& PlatformSeam() {
  static TPosixHostSeam seam;
  return seam;
}

THostSeam* g_seam = nullptr;

}  // namespace

THostSeam& HostSeam() { return g_seam != nullptr ? *g_seam : PlatformSeam(); }
void SetHostSeam(THostSeam* seam) { g_seam = seam; }
