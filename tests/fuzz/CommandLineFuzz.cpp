// Fuzz target for the command line and the answers file of unattended runs, and the password
// file. Parts (separated by a line "--"): the raw command line, the answers file, the password
// file's bytes.
//
// What must hold: a password is never taken from a setting; a refused setting hands back no
// password; a password file's line holds no line end or NUL, and the same ASCII password saved
// as ANSI, UTF-8 or UTF-16 reads the same.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/UnattendedOptions.h"
#include "tests/fuzz/FuzzInput.h"

namespace {

void CheckPasswordFile(const std::string& bytes) {
  std::string line;
  if (PasswordFromFileBytes(bytes, line).empty() && line.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
    __builtin_trap();
  // The plain first line as ANSI, UTF-8 and UTF-16 (both byte orders) with their marks.
  std::string ascii;
  for (const char c : bytes.substr(0, 64)) {
    if (c >= ' ' && c < 0x7F) ascii += c;
  }
  std::string little = "\xFF\xFE", big = "\xFE\xFF";
  for (const char c : ascii) {
    little += c;
    little += '\0';
    big += '\0';
    big += c;
  }
  for (const std::string& saved : {ascii + "\r\n", "\xEF\xBB\xBF" + ascii, little + std::string("\r\0", 2), big}) {
    if (!PasswordFromFileBytes(saved, line).empty() || line != ascii) __builtin_trap();
  }
}

void CheckRun(const std::vector<std::string>& parts, TRunKind kind) {
  std::vector<std::string> words = SplitCommandLine(FuzzPart(parts, 0));
  if (!words.empty()) words.erase(words.begin());
  const TCommandLine commandLine = ParseCommandLine(words);
  std::vector<TSetting> fromFile;
  if (ParseAnswersText(FuzzPart(parts, 1), "C:\\answers.txt", fromFile)) return;
  const std::vector<TSetting> settings = MergeSettings(fromFile, commandLine.Settings);
  TUnattendedOptions options;
  const TArgumentError refused = InterpretSettings(settings, kind, options);
  for (const TSetting& setting : settings) {
    if (setting.Name == "password" && !refused) __builtin_trap();
  }
  if (refused) return;

  TOptionFiles files;
  files.DirectoryExists = [](const std::string& path) { return path.size() <= 4 || path.find("missing") == std::string::npos; };
  files.FileExists = [](const std::string& path) { return path.find("missing") == std::string::npos; };
  const std::string passwordBytes = FuzzPart(parts, 2);
  files.ReadFile = [&passwordBytes](const std::string& path, std::string& bytes) {
    if (path.find("missing") != std::string::npos) return false;
    bytes = passwordBytes;
    return true;
  };
  std::string password;
  if (CheckOptions(options, files, password) && !password.empty()) __builtin_trap();
  if (!password.empty() && !options.HasFirstRunValues()) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string> parts = SplitFuzzParts(data, size);
  CheckRun(parts, TRunKind::UnattendedInstall);
  CheckRun(parts, TRunKind::Interactive);
  CheckRun(parts, TRunKind::UnattendedUninstall);
  CheckPasswordFile(FuzzPart(parts, 2));
  return 0;
}
