#include "db/worker_connection.h"

#include <utility>

namespace panorello {

std::shared_ptr<Connection> WorkerConnection::Take() {
  std::shared_ptr<Connection> connection;
  {
    const std::lock_guard lock(mutex_);
    connection = std::exchange(idle_, nullptr);
  }
  if (connection && !connection->Reusable()) connection.reset();
  if (connection) connection->StartNewSession();
  return connection;
}

std::shared_ptr<Connection> WorkerConnection::Keep(std::shared_ptr<Connection> connection) {
  if (!connection || !connection->Reusable()) return connection;
  const std::lock_guard lock(mutex_);
  std::swap(idle_, connection);
  return connection;  // the one kept before, if any
}

}  // namespace panorello
