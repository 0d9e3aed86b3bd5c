// distribution: builds the demonstration distribution folder.
//
//   distribution --programs DIR [--programs DIR ...] --content DIR --output DIR
//                [--smtp-port N] [--products-url URL] [--demo-password TEXT]
//
// Prints what went where (and the demonstration accounts' password) on standard output.
// Exit codes: 0 built, 1 failed (why on standard error), 2 usage error.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/distribution/DistributionBuilder.h"

namespace {

constexpr int kBuilt = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

int Usage(const std::string& problem) {
  std::fprintf(stderr,
               "distribution: %s\n"
               "usage: distribution --programs DIR [--programs DIR ...] --content DIR --output DIR\n"
               "                    [--smtp-port N] [--products-url URL] [--demo-password TEXT]\n",
               problem.c_str());
  return kUsage;
}

bool ParsePort(const std::string& text, std::uint16_t& port) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 5) return false;
  const unsigned long value = std::strtoul(text.c_str(), nullptr, 10);
  if (value == 0 || value > 65535) return false;
  port = static_cast<std::uint16_t>(value);
  return true;
}

// Fills options from the words after the program name; an empty text when they are fine.
std::string ParseOptions(int argc, char** argv, TDistributionOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (i + 1 >= argc) return option + " needs a value";
    const std::string value = argv[++i];
    if (option == "--programs") options.ProgramFolders.push_back(value);
    else if (option == "--content") options.ContentFolder = value;
    else if (option == "--output") options.OutputFolder = value;
    else if (option == "--products-url") options.ProductsUrl = value;
    else if (option == "--demo-password") options.DemoPassword = value;
    else if (option == "--smtp-port") {
      if (!ParsePort(value, options.SmtpPort)) return "--smtp-port takes a port from 1 to 65535";
    } else {
      return "unknown option " + option;
    }
  }
  if (options.ProgramFolders.empty() || options.ContentFolder.empty() || options.OutputFolder.empty())
    return "--programs, --content and --output are needed";
  return std::string();
}

}  // namespace

int main(int argc, char** argv) {
  TDistributionOptions options;
  if (const std::string problem = ParseOptions(argc, argv, options); !problem.empty()) return Usage(problem);
  TDistributionReport report;
  const bool built = BuildDistribution(options, report);
  for (const std::string& line : report.Lines) std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  if (!built) {
    std::fprintf(stderr, "distribution: %s\n", report.Error.c_str());
    return kFailed;
  }
  std::printf("distribution built in %s\n", options.OutputFolder.c_str());
  return kBuilt;
}
