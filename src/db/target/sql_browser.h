#pragma once
// The SQL Server Browser (UDP 1434): which TCP port a named instance listens on.
#include <chrono>
#include <string>
#include <string_view>

namespace panorello {

// The port in a browser's answer to an instance request ("...;tcp;1433;..."), or 0 when the
// answer names none.
int PortInBrowserAnswer(std::string_view answer);

// Asks the SQL Server Browser on host for the TCP port of instance (request CLNT_UCAST_INST),
// waiting at most timeout. Throws Error (Italian, naming what to check) when no usable answer
// comes.
int SqlBrowserPort(const std::string& host, const std::string& instance,
                   std::chrono::milliseconds timeout);

}  // namespace panorello
