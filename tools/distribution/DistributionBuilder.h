// The demonstration distribution: setup.exe beside every data archive and optional file the
// setup reads, made from the Windows programs of the build (the setup, the suite's stand-ins,
// the placeholders) and the text content kept in the repository.
//
// Content folder layout: License.txt, readme.txt, releasenotes.txt and info.xml at the top;
// one folder per data archive, named like the archive ("Setup.Dat", "SetupWeb.Dat", ...),
// whose files become the archive's entries under their relative names. The programs are
// added to the archives by the table in DistributionBuilder.cpp, and Setup.Dat gets demo.dat.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An address on a name reserved for examples: a distribution built without a products list
// of its own never asks a real site.
constexpr const char* kDefaultProductsUrl = "https://www.zarel.example/products/products.xml";

struct TDistributionOptions {
  // Searched in this order for each program by its file name, letter case ignored.
  std::vector<std::string> ProgramFolders;
  std::string ContentFolder;
  // Created when missing; must be empty, so that no file of an earlier build is shipped.
  std::string OutputFolder;
  std::uint16_t SmtpPort = 25;
  std::string ProductsUrl = kDefaultProductsUrl;
  std::string DemoPassword;  // empty: a random one (RandomDemoPassword)
};

struct TDistributionReport {
  std::vector<std::string> Lines;  // what went where, for the person who builds
  std::string Error;               // why the build failed
};

// False (with Error) when a program or content file is missing, a program imports a library
// that Windows does not have, or a file cannot be written. A failed build may leave a partial
// output folder behind.
bool BuildDistribution(const TDistributionOptions& options, TDistributionReport& report);

