// Each worker of a run logs in once: the blocks of a page on PostgreSQL and MariaDB use no more
// sessions than there are workers (told apart by the server's own session ids).
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "db/db_test_support.h"
#include "html/block_pool.h"

namespace panorello {
namespace {

class PoolLogins : public testing::ServerTest {};

TEST_F(PoolLogins, OneLoginPerWorker) {
  const std::pair<const char*, const char*> servers[] = {
      {"POSTGRESQL", "SELECT 'sessione ' || pg_backend_pid()"},
      {"MYSQL", "SELECT CONCAT('sessione ', CONNECTION_ID())"}};
  for (const auto& [type, sql] : servers) {
    for (const int jobs : {1, 4}) {
      SCOPED_TRACE(std::string(type) + " jobs=" + std::to_string(jobs));
      const Settings settings = Native(type);
      const BlockQueryEnv env{
          .settings = settings,
          .connection = std::make_shared<const RunConnection>(settings, ConnectionLimits{})};
      const std::vector<Block> blocks(
          12, Block{.Title = "Sessione", .Sql = sql, .RenderMode = "TABLE"});
      PageOut out;
      RenderBlocksInOrder(env, blocks, BlockPoolOptions{.jobs = jobs}, out, [](size_t) {});
      const std::string page = out.TakeText();
      std::set<std::string> sessions;
      size_t boxes = 0;
      const std::regex session("sessione (\\d+)");
      for (auto it = std::sregex_iterator(page.begin(), page.end(), session);
           it != std::sregex_iterator(); ++it, ++boxes) {
        sessions.insert((*it)[1]);
      }
      EXPECT_EQ(boxes, blocks.size());
      EXPECT_GE(sessions.size(), 1u);
      EXPECT_LE(sessions.size(), static_cast<size_t>(jobs));
    }
  }
}

}  // namespace
}  // namespace panorello
