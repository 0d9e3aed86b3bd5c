// The new-version check: fetches the products list and reads this suite's entry from it.
#pragma once

#include <string>

// Over https: the answer decides what the setup offers to download, so it must come from
// the maker's server and no one else.
constexpr char kDefaultProductsUrl[] = "https://www.zarel.example/products/QuenforProducts.xml";
constexpr char kProductCode[] = "ZM";
// The whole check, every redirect and wait included, ends by then with "not found": it runs
// on the wizard's thread, and an unresponsive server must not freeze the wizard.
constexpr int kVersionCheckBudgetMs = 20000;

struct TNewVersion {
  bool Found = false;
  std::string DownloadUrl;  // only ever an http:// or https:// address
  std::string Version;
  std::string Date;
};

// An empty address means the default products list.
TNewVersion CheckNewVersion(const std::string& address, const std::string& productCode,
                            int budgetMs = kVersionCheckBudgetMs);

// The entry of productCode in a products list text; Found only with a web download address.
TNewVersion ReadProductEntry(const std::string& productsXml, const std::string& productCode);
