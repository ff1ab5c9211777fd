// Times with a zone are shown in the machine's local time, as the page's own time is: the
// program tells each database session the zone that TZ (or /etc/localtime) gives.
#include <fstream>
#include <map>

#include "program_fixture.h"

namespace panorello {
namespace {

class ProgramTimeZone : public Program {
 protected:
  void SetUp() override {
    Program::SetUp();
    std::ifstream in(std::string(PANORELLO_BINARY_DIR) + "/db-servers/servers.env");
    for (std::string line; std::getline(in, line);) {
      const size_t eq = line.find('=');
      if (eq != std::string::npos) env_[line.substr(0, eq)] = line.substr(eq + 1);
    }
    if (env_["READY"] != "1") GTEST_SKIP() << "Server di test non avviati (eseguire con ctest)";
  }
  std::map<std::string, std::string> env_;
};

TEST_F(ProgramTimeZone, TimestampsWithAZoneAreShownInTheLocalTime) {
  const std::pair<const char*, const char*> servers[] = {
      {"POSTGRESQL", "SELECT '2026-01-01 00:00:00+00'::timestamptz AS t"},
      {"MYSQL", "SELECT FROM_UNIXTIME(1767225600) AS t"}};
  const std::pair<const char*, const char*> zones[] = {{"Asia/Kolkata", "01/01/2026 05:30:00"},
                                                       {"America/New_York", "31/12/2025 19:00:00"}};
  for (const auto& [type, sql] : servers) {
    const std::string port = env_[std::string(type) == "MYSQL" ? "MARIADB_PORT" : "PG_PORT"];
    Config({std::string("DBTYPE=") + type, "SERVER=127.0.0.1:" + port,
            "DATABASE=" + env_["DATABASE"], "USER=" + env_["USER"],
            "PASSWORD=" + env_["PASSWORD"]});
    testing::WriteBytes(File("blocks.ini"), testing::BlockText(1, "Ora", "", sql));
    for (const auto& [zone, shown] : zones) {
      SCOPED_TRACE(std::string(type) + " " + zone);
      ASSERT_EQ(Run("/RUN", std::string("TZ=") + zone), 0) << err;
      EXPECT_NE(testing::ReadBytes(File("page.html")).find(shown), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace panorello
