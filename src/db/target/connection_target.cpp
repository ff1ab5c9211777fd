#include "db/target/connection_target.h"

#include "db/target/connection_string.h"
#include "util/text.h"

namespace panorello {

OdbcTarget OdbcTargetOf(const Settings& settings, const ConnectionLimits& limits,
                        const OdbcLookups& lookups) {
  const ConnectionRoad road = RoadOf(settings);
  OdbcTarget target;
  if (road == ConnectionRoad::kDataSource) {
    target = {lookups.dsn_driver(settings.Database), BuildConnectionString(settings)};
    RefuseWhatFreeTdsCannotRead(target.driver, settings.Database, "DATABASE");
    RefuseWhatFreeTdsCannotRead(target.driver, settings.User, "USER");
    RefuseWhatFreeTdsCannotRead(target.driver, settings.Password, "PASSWORD");
  } else {
    ProviderLogin login{
        .data_source = settings.Server, .user = settings.User, .password = settings.Password};
    if (road == ConnectionRoad::kOracle) {
      target = OracleOdbc(login, lookups.drivers());
    } else {
      // Only the SQLSERVER type offers a login of its own.
      login.database = settings.Database;
      login.integrated = settings.Integrated || !RoadRowOf(settings.DbType).own_login;
      target = SqlServerOdbc(login, lookups.drivers(), lookups.instance_port);
    }
  }
  target.odbc = AppendDriverOptions(std::move(target.odbc), target.driver, limits);
  return target;
}

}  // namespace panorello
