#include "db/target/named_instance.h"

#include <string>
#include <string_view>

#include "db/target/connection_target.h"
#include "util/text.h"

namespace panorello {

Settings WithInstancePortResolved(const Settings& settings, const InstancePortLookup& lookup) {
  if (RoadOf(settings) != ConnectionRoad::kSqlServer) return settings;
  std::string_view server = TrimSpacesAndTabs(settings.Server);
  if (StartsWithAsciiNoCase(server, "tcp:")) server = TrimSpacesAndTabs(server.substr(4));
  const size_t slash = server.find('\\');
  if (slash == std::string_view::npos || server.find(',') != std::string_view::npos) {
    return settings;  // no instance, or its port is written
  }
  std::string host(TrimSpacesAndTabs(server.substr(0, slash)));
  const std::string instance(TrimSpacesAndTabs(server.substr(slash + 1)));
  if (host.empty() || host == "." || EqualsAsciiNoCase(host, "(local)")) host = "localhost";
  Settings resolved = settings;
  resolved.Server = host + "," + std::to_string(lookup(host, instance));
  return resolved;
}

}  // namespace panorello
