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

void WorkerConnection::NoteOpened() noexcept {
  int64_t unset = 0;
  first_opened_.compare_exchange_strong(
      unset, std::chrono::steady_clock::now().time_since_epoch().count());
}

std::optional<std::chrono::steady_clock::time_point> WorkerConnection::FirstOpenedAt()
    const noexcept {
  const int64_t ticks = first_opened_.load();
  if (ticks == 0) return std::nullopt;
  return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(ticks));
}

}  // namespace panorello
