// zcfg: maintenance command for support engineers.
//   zcfg show CONFIGDIR   prints the configuration folder as readable text
#include <iostream>
#include <string>

#include "tools/zcfg/ConfigReport.h"

int main(int argc, char** argv) {
  if (argc != 3 || std::string(argv[1]) != "show") {
    std::cerr << "usage: zcfg show CONFIGDIR\n";
    return 2;
  }
  return ShowConfiguration(argv[2], std::cout) ? 0 : 1;
}
