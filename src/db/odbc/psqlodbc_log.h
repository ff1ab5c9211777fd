#pragma once
// psqlODBC registered by Debian logs with CommLog=1 at the driver level: whatever the connection
// string says, each process that closes a connection leaves /tmp/psqlodbc_<program>_<user><pid>.log
// behind ("PQfinish: ..."). This process removes its own.
#include <string>

namespace panorello {

// Removes the regular files of folder named psqlodbc_*<pid of this process>.log that belong to
// this process's user. For after the driver has closed a connection.
void RemoveOwnPsqlOdbcLogs(const std::string& folder = "/tmp");

}  // namespace panorello
