#include "serverconfig/WebHostName.h"

#include "serverconfig/ConfigTextUnit.h"

std::string WebHostName(bool useServerList, const std::string& serverList) {
  std::string host;
  if (useServerList) host = TrimText(serverList.substr(0, serverList.find(';')));
  return host.empty() ? "localhost" : host;
}

std::string WebHostName(const TServerSettings& settings) {
  return WebHostName(settings.Get(settings::kUseServerListForWebHost) != 0,
                     settings.Get(settings::kServerList));
}
