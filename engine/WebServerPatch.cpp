#include "engine/WebServerPatch.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "base/FileSystemUnit.h"
#include "base/StringUnit.h"
#include "engine/InstallLog.h"
#include "serverconfig/StoreFileUnit.h"
#include "engine/SetupState.h"

namespace {

constexpr char kCrLf[] = "\r\n";
constexpr char kEmptyLine[] = "\r\n\r\n";

std::size_t FindIgnoringCase(const std::string& text, const std::string& sub) {
  return LowerCase(text).find(LowerCase(sub));
}

void AppendOnOwnLine(std::string& text, const std::string& entry) {
  if (!text.empty() && text.compare(text.size() - std::min<std::size_t>(2, text.size()),
                                    std::string::npos, kCrLf) != 0)
    text += kCrLf;
  text += entry + kCrLf;
}

void AppendSection(std::string& text, const std::string& header, const std::string& entry) {
  text = TrimText(text) + kEmptyLine + header + kCrLf + entry + kCrLf;
}

// The entry becomes the last line of the section: it goes in front of the empty line that
// ends it.
void AddFilterEntry(std::string& text) {
  const std::size_t header = FindIgnoringCase(text, "[Filter]");
  if (header == std::string::npos) return AppendSection(text, "[Filter]", kWcsFilterEntry);
  const std::size_t gap = text.find(kEmptyLine, header);
  if (gap == std::string::npos) return AppendOnOwnLine(text, kWcsFilterEntry);
  text.insert(gap + 2, std::string(kWcsFilterEntry) + kCrLf);
}

// The entry becomes the first line of the section, right under its header.
void AddVirtualHostEntry(std::string& text) {
  const std::size_t header = FindIgnoringCase(text, "[Virtual-Host]");
  if (header == std::string::npos) return AppendSection(text, "[Virtual-Host]", kWcsVirtualHostEntry);
  const std::size_t lineEnd = text.find(kCrLf, header);
  if (lineEnd == std::string::npos) return AppendOnOwnLine(text, kWcsVirtualHostEntry);
  text.insert(lineEnd + 2, std::string(kWcsVirtualHostEntry) + kCrLf);
}

}  // namespace

std::string PatchWebServerText(const std::string& text) {
  std::string result = text;
  if (result.find("wcs.dll") == std::string::npos) {
    AddFilterEntry(result);
    AddVirtualHostEntry(result);
  }
  ReplaceText(result, "webmail\\web.dll", "php\\php.dll", true, true);
  return result;
}

TWebPatchResult PatchWebServerFile(const std::string& path) {
  const TFileRead read = ReadFileRange(path, 0, std::numeric_limits<std::uint64_t>::max());
  if (read.State == TFileState::Missing) {
    InstallLog("Web-server configuration " + path + " not present: nothing to patch");
    return TWebPatchResult::Missing;
  }
  if (read.State == TFileState::Unreadable) {
    InstallLog("Web-server configuration " + path + " cannot be read: left alone, not patched");
    return TWebPatchResult::Unreadable;
  }
  const std::string patched = PatchWebServerText(read.Bytes);
  if (!ReplaceFileAtomically(path, patched)) {
    InstallLog("Web-server configuration " + path + " could not be written: left as it was");
    return TWebPatchResult::WriteFailed;
  }
  InstallLog("Web-server configuration " + path +
             (patched == read.Bytes ? " rewritten unchanged (patched before)" : " patched"));
  return TWebPatchResult::Patched;
}

TWebPatchResult PatchWebServerConfig() {
  return PatchWebServerFile(SetupState().InstallDir + "config\\" + kWebServerConfigName);
}
