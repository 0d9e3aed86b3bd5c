// ODBC data sources written into a scratch machine hive.
#include "tests/EngineTestSupport.h"

#include "system/OdbcUnit.h"

namespace {

const char kDrivers[] = "SOFTWARE\\ODBC\\ODBCINST.INI\\ODBC Drivers";
const char kSources[] = "SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources";
const char kAccess[] = "Microsoft Access Driver (*.MDB)";

using OdbcTest = EngineTest;

TEST_F(OdbcTest, BindsToTheFirstAccessDriverAndWritesEveryValue) {
  // Wine lists values by name, Windows in creation order: either way a non-Access driver
  // comes first.
  SetString(HKEY_LOCAL_MACHINE, kDrivers, "Adaptive Server Enterprise", "Installed");
  SetString(HKEY_LOCAL_MACHINE, kDrivers, "SQL Server", "Installed");
  SetString(HKEY_LOCAL_MACHINE, kDrivers, kAccess, "Installed");
  SetString(HKEY_LOCAL_MACHINE, "SOFTWARE\\ODBC\\ODBCINST.INI\\SQL Server", "Driver", "sqlsrv32.dll");
  SetString(HKEY_LOCAL_MACHINE, std::string("SOFTWARE\\ODBC\\ODBCINST.INI\\") + kAccess, "Driver", "odbcjt32.dll");
  EXPECT_FALSE(DataSourceExists(kCalendarDataSource));

  const TDataSourceResult result = CreateAccessDataSource(kCalendarDataSource, "C:\\Zarel\\calendar\\Calendar.mdb");
  EXPECT_TRUE(result.Created());
  EXPECT_EQ(result.DriverName, kAccess);
  EXPECT_TRUE(DataSourceExists(kCalendarDataSource));
  EXPECT_EQ(GetValue(HKEY_LOCAL_MACHINE, kSources, kCalendarDataSource), kAccess);

  const std::string source = std::string("SOFTWARE\\ODBC\\ODBC.INI\\") + kCalendarDataSource;
  const std::pair<std::string, std::string> values[] = {
      {"DBQ", "C:\\Zarel\\calendar\\Calendar.mdb"}, {"Driver", "odbcjt32.dll"}, {"DriverId", "25"},
      {"FIL", "MS Access;"}, {"SafeTransactions", "0"}, {"UID", ""}};
  for (const auto& [name, value] : values) EXPECT_EQ(GetValue(HKEY_LOCAL_MACHINE, source, name), value) << name;
  const std::pair<std::string, std::string> jet[] = {
      {"ImplicitCommitSync", ""}, {"MaxBufferSize", "2048"}, {"PageTimeout", "5"}, {"Threads", "3"},
      {"UserCommitSync", "Yes"}};
  for (const auto& [name, value] : jet)
    EXPECT_EQ(GetValue(HKEY_LOCAL_MACHINE, source + "\\Engines\\Jet", name), value) << name;
}

TEST_F(OdbcTest, NoAccessDriverWritesNothing) {
  SetString(HKEY_LOCAL_MACHINE, kDrivers, "SQL Server", "Installed");
  const TDataSourceResult result = CreateAccessDataSource(kSpamChallengeDataSource, "C:\\x.mdb");
  EXPECT_FALSE(result.Created());
  EXPECT_EQ(result.DriverName, "");
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\ODBC\\ODBC.INI"));
}

TEST_F(OdbcTest, ExistsOnlyWithANonEmptyDriverName) {
  SetString(HKEY_LOCAL_MACHINE, kSources, "Empty", "");
  SetString(HKEY_LOCAL_MACHINE, kSources, kCalendarDataSource, "Anything");
  EXPECT_FALSE(DataSourceExists("Empty"));
  EXPECT_FALSE(DataSourceExists("Missing"));
  EXPECT_FALSE(DataSourceExists(""));
  EXPECT_TRUE(DataSourceExists(kCalendarDataSource));
}

}  // namespace
