#include "net/VersionCheckUnit.h"

#include "base/FileSystemUnit.h"
#include "net/HTTPClientUnit.h"
#include "xml/XMLUnit.h"

namespace {

bool IsWebAddress(const std::string& url) {
  std::string scheme = url.substr(0, 8);
  for (char& c : scheme)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return scheme.rfind("http://", 0) == 0 || scheme.rfind("https://", 0) == 0;
}

TNewVersion ReadEntry(TXMLType& xml, const std::string& productCode) {
  TNewVersion result;
  std::string element;
  if (!FindElement(xml, productCode, element, false, true)) return result;
  result.DownloadUrl = GetTagAttribute(element, "url");
  result.Date = GetTagAttribute(element, "date");
  FindElement(xml, productCode, result.Version, false, false);
  // The address is opened with the shell once the user agrees: anything but a web page
  // (a program, a share) from a tampered list must not get that far.
  result.Found = IsWebAddress(result.DownloadUrl);
  if (!result.Found) result = TNewVersion();
  return result;
}

}  // namespace

TNewVersion ReadProductEntry(const std::string& productsXml, const std::string& productCode) {
  TXMLType xml;
  InitXMLType(xml, productsXml, productCode);
  return ReadEntry(xml, productCode);
}

TNewVersion CheckNewVersion(const std::string& address, const std::string& productCode, int budgetMs) {
  const TNetDeadline deadline = TNetDeadline::After(budgetMs > 0 ? static_cast<std::uint32_t>(budgetMs) : 0);
  const std::string file = HttpGetToFile(address.empty() ? std::string(kDefaultProductsUrl) : address, false,
                                         std::string(), std::string(), 0, std::string(), deadline);
  if (file.empty()) return TNewVersion();
  TXMLType xml;
  LoadXMLType(xml, file);
  DeleteFileAt(file);
  return ReadEntry(xml, productCode);
}
