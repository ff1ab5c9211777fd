#pragma once
// PostgreSQL through libpq: the POSTGRESQL database type when no connection string is given.
// Internal to src/db.
#include <memory>
#include <string>

#include "db/connection.h"
#include "storage/settings.h"
#include "util/local_zone.h"

namespace panorello {

// Where a POSTGRESQL connection goes. Empty fields are left out, so that libpq's own defaults
// apply to them (PGUSER, PGDATABASE, the password file ~/.pgpass, ...).
struct PostgresTarget {
  std::string host;
  std::string port = "5432";
  std::string database;
  std::string user;
  std::string password;
};

// Server, Database, User and Password of settings. A Server of the form HOST:PORT names another
// port than 5432 (an IPv6 address goes in brackets: [::1]:5433).
PostgresTarget PostgresTargetOf(const Settings& settings);

// Loads libpq, which is otherwise loaded by the first connection; throws Error without it.
void LoadLibpq();

// Opens the connection within limits.connect_seconds; statements stop after limits.query_seconds
// (on the server through statement_timeout, and here while waiting for the answer). Results stream
// one row at a time; zone, when known, is the session's TimeZone. Throws DbError (SQLSTATE when
// the server gave one) or Error (time-outs).
std::unique_ptr<Connection> OpenPostgres(const PostgresTarget& target,
                                         const ConnectionLimits& limits,
                                         const LocalZone& zone = {});

}  // namespace panorello
