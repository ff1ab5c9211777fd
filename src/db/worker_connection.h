#pragma once
// The connection a worker keeps between the blocks it runs: one login for all of them. Each
// engine cleans its session up before the next block's statement (or says that it cannot, and
// the next block opens a new connection).
#include <memory>
#include <mutex>

#include "db/connection.h"

namespace panorello {

class WorkerConnection {
 public:
  WorkerConnection() = default;
  ~WorkerConnection() = default;  // closes the kept connection
  WorkerConnection(const WorkerConnection&) = delete;
  WorkerConnection& operator=(const WorkerConnection&) = delete;

  // The kept connection when it can take another statement; nullptr when there is none (one
  // that broke while it waited is closed here).
  std::shared_ptr<Connection> Take();
  // Keeps connection for the next block when it is reusable, or gives it back to be closed by
  // the caller (outside any lock: closing may wait for the network).
  std::shared_ptr<Connection> Keep(std::shared_ptr<Connection> connection);

 private:
  std::mutex mutex_;
  std::shared_ptr<Connection> idle_;
};

}  // namespace panorello
