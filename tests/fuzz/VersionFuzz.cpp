// Fuzz target for info.xml, the products list and the version comparison. Parts (separated by a
// line "--"): info.xml, the products list, then three version texts.
//
// What must hold: the comparison is an order (every version is at least itself, of two versions
// one is at least the other, and it is transitive); an entry of the products list is only found
// with a web address; info.xml never leaves the demonstration message without a text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/StartupUnit.h"
#include "base/FileSystemUnit.h"
#include "base/StringUnit.h"
#include "base/VersionUnit.h"
#include "engine/SetupState.h"
#include "net/VersionCheckUnit.h"
#include "texts/TextTable.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

void CheckOrder(const std::string& a, const std::string& b, const std::string& c) {
  if (!VersionAtLeast(a, a)) __builtin_trap();
  if (!VersionAtLeast(a, b) && !VersionAtLeast(b, a)) __builtin_trap();
  if (VersionAtLeast(a, b) && VersionAtLeast(b, c) && !VersionAtLeast(a, c)) __builtin_trap();
}

// The scheme in any letter case, as addresses may write it.
bool IsWebAddress(const std::string& address) {
  const std::string scheme = LowerCase(address.substr(0, 8));
  return scheme.rfind("http://", 0) == 0 || scheme.rfind("https://", 0) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> parts = SplitFuzzParts(data, size);
  const std::string a = FuzzPart(parts, 2), b = FuzzPart(parts, 3), c = FuzzPart(parts, 4);
  CheckOrder(a, b, c);
  CheckOrder(b, c, a);
  CheckOrder(c, a, b);

  for (const char* code : {kProductCode, "zm"}) {
    const TNewVersion entry = ReadProductEntry(FuzzPart(parts, 1), code);
    if (entry.Found && !IsWebAddress(entry.DownloadUrl)) __builtin_trap();
    if (entry.Found) VersionAtLeast(entry.Version, "8.2.0");
  }

  static const std::string folder = GetSpecialFolder(SpecialFolder::Temporary, false) + "zarel-fuzz-version\\";
  WriteWholeFile(FuzzPart(parts, 0), folder + "info.xml", false);
  TSetupState state;
  const std::string message = cDemoMessage, subject = cDemoMessageSubject;
  ReadInfoXml(folder + "info.xml", state);
  if (cDemoMessage.empty() || cDemoMessageSubject.empty()) __builtin_trap();
  cDemoMessage = message;
  cDemoMessageSubject = subject;
  return 0;
}
