#include "engine/TemplateUnit.h"

#include <cstdio>
#include <utility>

#include "base/FileSystemUnit.h"

namespace {

// Replaces the first marker outside [skipFrom, skipTo): a folder name may itself hold "%%",
// and an inserted value is never expanded again. Gives where the value went.
std::pair<std::size_t, std::size_t> ReplaceFirst(std::string& line, const std::string& marker,
                                                 const std::string& value, std::size_t skipFrom = 0,
                                                 std::size_t skipTo = 0) {
  std::size_t at = line.find(marker);
  if (at != std::string::npos && at < skipTo && at + marker.size() > skipFrom) at = line.find(marker, skipTo);
  if (at == std::string::npos) return {0, 0};
  line.replace(at, marker.size(), value);
  return {at, at + value.size()};
}

}  // namespace

std::string ExpandTemplateLine(const std::string& line, const std::string& installPath,
                               const std::string& tempPath) {
  std::string result = line;
  const auto [from, to] = ReplaceFirst(result, kInstallPathMarker, installPath);
  ReplaceFirst(result, kTempPathMarker, tempPath, from, to);
  return result;
}

TTemplateResult ExpandTemplateFile(const std::string& input, const std::string& output,
                                   const std::string& installPath, const std::string& tempPath) {
  std::FILE* in = std::fopen(HostPath(input).c_str(), "rb");
  if (in == nullptr) return TTemplateResult::InputUnreadable;
  std::FILE* out = std::fopen(HostPath(output).c_str(), "wb");
  if (out == nullptr) {
    std::fclose(in);
    return TTemplateResult::OutputNotCreated;
  }
  std::string line;
  bool pending = false;  // a line has begun (possibly empty) and is not written yet
  auto flush = [&] {
    const std::string expanded = ExpandTemplateLine(line, installPath, tempPath) + "\r\n";
    std::fwrite(expanded.data(), 1, expanded.size(), out);
    line.clear();
    pending = false;
  };
  int c;
  while ((c = std::fgetc(in)) != EOF) {
    if (c == '\n') {
      flush();
    } else if (c == '\r') {
      const int next = std::fgetc(in);
      if (next != '\n' && next != EOF) std::ungetc(next, in);
      flush();
    } else {
      line += static_cast<char>(c);
      pending = true;
    }
  }
  if (pending) flush();
  std::fclose(in);
  std::fclose(out);
  return TTemplateResult::Written;
}
