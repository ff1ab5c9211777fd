#pragma once
// The connection a worker keeps between the blocks it runs: one login for all of them. Each
// engine cleans its session up before the next block's statement (or says that it cannot, and
// the next block opens a new connection).
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

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

  // A connection of this worker was opened (the login ended) now; the first time counts.
  void NoteOpened() noexcept;
  // When the worker's first connection was opened; std::nullopt while it has not been.
  std::optional<std::chrono::steady_clock::time_point> FirstOpenedAt() const noexcept;

 private:
  std::mutex mutex_;
  std::shared_ptr<Connection> idle_;
  std::atomic<int64_t> first_opened_{0};  // steady clock ticks; 0: not yet
};

}  // namespace panorello
