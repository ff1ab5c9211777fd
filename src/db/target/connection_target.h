#pragma once
// Where the connection of a Settings record goes, read from its fields (the provider text that
// BuildConnectionString shows is not parsed back): the client libraries of MYSQL and POSTGRESQL, a
// database file, an ODBC driver, or the user's own connection string.
#include <functional>
#include <string>

#include "db/road_table.h"
#include "db/target/provider_translation.h"
#include "storage/connection_limits.h"
#include "storage/settings.h"

namespace panorello {

// What building an ODBC string may need to learn on this machine.
struct OdbcLookups {
  DriverListSource drivers;          // asked at most once
  InstancePortLookup instance_port;  // empty: a named instance needs its port written
  std::function<std::string(const std::string& dsn)> dsn_driver;  // the driver of a data source
};

// For the roads kSqlServer, kOracle and kDataSource: the driver (of the data source for
// kDataSource) and the complete ODBC string with that driver's options. Throws Error when nothing
// on this machine can open it.
OdbcTarget OdbcTargetOf(const Settings& settings, const ConnectionLimits& limits,
                        const OdbcLookups& lookups);

}  // namespace panorello
