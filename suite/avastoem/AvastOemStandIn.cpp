// Stand-in for the antivirus engine's installer avastoem.exe, run by setiface.dll's
// install entry as: avastoem.exe <options> /target="<folder>".
//
// It lays out an installed engine: <folder>\setup\setiface.dll (copied from beside itself,
// the mark of an installed engine) and <folder>\engine.txt naming the options it got.
// Exit code 0 on success, 1 without a target, 2 when a file could not be written.
#include <windows.h>

#include <cstdio>
#include <string>

int main() {
  const std::string command = GetCommandLineA();
  const std::string marker = "/target=\"";
  const std::size_t at = command.find(marker);
  if (at == std::string::npos) return 1;
  const std::size_t end = command.find('"', at + marker.size());
  if (end == std::string::npos) return 1;
  const std::string target = command.substr(at + marker.size(), end - at - marker.size());

  char self[MAX_PATH + 1] = {};
  std::string folder(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
  folder.erase(folder.find_last_of('\\') + 1);

  CreateDirectoryA(target.c_str(), nullptr);
  CreateDirectoryA((target + "\\setup").c_str(), nullptr);
  if (!CopyFileA((folder + "setiface.dll").c_str(), (target + "\\setup\\setiface.dll").c_str(), FALSE))
    return 2;
  std::FILE* file = std::fopen((target + "\\engine.txt").c_str(), "wb");
  if (file == nullptr) return 2;
  std::fprintf(file, "%s\r\n", command.c_str());
  std::fclose(file);
  return 0;
}
