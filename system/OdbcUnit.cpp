#include "base/StringUnit.h"
#include "system/OdbcUnit.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

constexpr char kOdbcIni[] = "\\SOFTWARE\\ODBC\\ODBC.INI";
constexpr char kOdbcInstIni[] = "\\SOFTWARE\\ODBC\\ODBCINST.INI";

std::string FindAccessDriver(TAdvancedRegistry& registry) {
  registry.SetRegistryArea(kOdbcInstIni);
  registry.SetRegistrySection("ODBC Drivers");
  std::vector<std::string> drivers;
  if (!registry.GetValueNames(drivers)) return {};
  for (const std::string& driver : drivers)
    if (LowerCase(driver).find("*.mdb") != std::string::npos) return driver;
  return {};
}

// Writes the values in order; the first failure ends the writing.
class TValueWriter {
 public:
  explicit TValueWriter(TAdvancedRegistry& registry) : registry_(registry) {}
  TValueWriter& String(const char* name, const std::string& text) {
    if (result_) result_ = registry_.WriteString(name, text);
    return *this;
  }
  TValueWriter& Integer(const char* name, std::int32_t value) {
    if (result_) result_ = registry_.WriteInteger(name, value);
    return *this;
  }
  const TRegistryResult& Result() const { return result_; }

 private:
  TAdvancedRegistry& registry_;
  TRegistryResult result_;
};

}  // namespace

bool DataSourceExists(const std::string& name) {
  TAdvancedRegistry registry(TRegistryKey::hkLOCAL_MACHINE, kOdbcIni, "ODBC Data Sources");
  return !name.empty() && !registry.ReadString(name).empty();
}

TDataSourceResult CreateAccessDataSource(const std::string& name, const std::string& databaseFile) {
  TDataSourceResult result;
  TAdvancedRegistry registry(TRegistryKey::hkLOCAL_MACHINE);
  result.DriverName = FindAccessDriver(registry);
  if (result.DriverName.empty()) return result;

  registry.SetRegistrySection(result.DriverName);
  const std::string driverLibrary = registry.ReadString("Driver");

  registry.SetRegistryArea(kOdbcIni);
  registry.SetRegistrySection("ODBC Data Sources");
  result.Write = registry.WriteString(name, result.DriverName);
  if (!result.Write) return result;

  registry.SetRegistrySection(name);
  result.Write = TValueWriter(registry)
                     .String("DBQ", databaseFile)
                     .String("Driver", driverLibrary)
                     .Integer("DriverId", 25)
                     .String("FIL", "MS Access;")
                     .Integer("SafeTransactions", 0)
                     .String("UID", "")
                     .Result();
  if (!result.Write) return result;

  registry.SetRegistrySection(name + "\\Engines\\Jet");
  result.Write = TValueWriter(registry)
                     .String("ImplicitCommitSync", "")
                     .Integer("MaxBufferSize", 2048)
                     .Integer("PageTimeout", 5)
                     .Integer("Threads", 3)
                     .String("UserCommitSync", "Yes")
                     .Result();
  return result;
}
