#include "app/StartupUnit.h"

#include "base/FileSystemUnit.h"
#include "base/StringUnit.h"
#include "serverconfig/WebHostName.h"
#include "texts/TextTable.h"
#include "xml/XMLUnit.h"

bool ReadInfoXml(const std::string& path, TSetupState& state) {
  if (!FileExists(path)) return false;
  TXMLObject document;
  if (!document.LoadFromFile(path) || document.Children().empty()) return false;
  const TXMLObject& info = *document.Children().front();

  const TXMLObject* message = info.FindChild("DEMOMESSAGE");
  if (message == nullptr) return true;
  if (const std::string text = message->GetText(); !text.empty()) cDemoMessage = text;

  const TXMLObject* subject = info.FindChild("DEMOMESSAGESUBJECT");
  if (subject == nullptr) return true;
  if (const std::string text = subject->GetText(); !text.empty()) cDemoMessageSubject = text;

  const TXMLObject* products = info.FindChild("PRODUCTSXML");
  if (products == nullptr) return true;
  state.ProductsXmlUrl = products->GetText();
  return true;
}

namespace {
bool EndsInSeparator(const std::string& text) {
  return !text.empty() && (text.back() == '\\' || text.back() == '/');
}
}  // namespace

std::string SystemFolderText(const std::string& systemFolder, const std::string& fallback) {
  std::string folder = TrimText(systemFolder);
  if (folder.empty()) return fallback;
  if (!EndsInSeparator(folder)) folder += '\\';
  return folder;
}

std::string LogonAddress(bool useServerListForWebHost, const std::string& serverList,
                         std::uint16_t httpPort, bool webMail) {
  const std::string host = WebHostName(useServerListForWebHost, serverList);
  return "http://" + host + ":" + std::to_string(httpPort) + "/" + (webMail ? "mail/" : "accounts/");
}
