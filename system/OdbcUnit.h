// System data sources of the suite's two Access databases (the anti-spam challenge database
// and the groupware database), written straight into the ODBC configuration keys of the
// machine's registry; the ODBC installer library is not used. Nothing here shows anything.
#pragma once

#include <string>

#include "system/AdvancedRegistry.h"

constexpr char kSpamChallengeDataSource[] = "QuenforSpamChallenge";
constexpr char kCalendarDataSource[] = "QuenforCalendar";

// True when the name is listed among the data sources with a non-empty driver name.
bool DataSourceExists(const std::string& name);

struct TDataSourceResult {
  std::string DriverName;  // empty: no Access driver installed, nothing written
  TRegistryResult Write;   // the first write that failed (the rest were not tried)
  bool Created() const { return !DriverName.empty() && Write.Succeeded(); }
};

// Binds the data source to the first listed driver that reads "*.mdb" files. Callers check
// DataSourceExists first: an existing data source is never touched.
TDataSourceResult CreateAccessDataSource(const std::string& name, const std::string& databaseFile);
