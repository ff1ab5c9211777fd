#include "db/deadline.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

#include "db/target/connection_target.h"

namespace panorello {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Rows travel from the worker in batches of about one grid block; at most kQueuedBatches wait,
// so a result far larger than memory streams through a few megabytes.
constexpr size_t kBatchCells = 16000;
constexpr size_t kBatchTextBytes = size_t{512} << 10;
constexpr size_t kQueuedBatches = 4;
// A worker collecting a whole result looks whether anybody still waits for it every this many rows.
constexpr size_t kCheckRows = 1024;
// After a cancel, the worker gets this long to close its connection before it is left behind.
constexpr auto kCancelGrace = std::chrono::milliseconds(1000);
// A database file's own errors (its lock, its copy) come at the limit: they get this long more.
constexpr auto kFileErrorGrace = std::chrono::seconds(2);
// How often the caller looks at the run's stop while it waits (a signal cannot wake it).
constexpr auto kStopPoll = std::chrono::milliseconds(50);

struct Batch {
  std::optional<std::vector<std::string>> names;  // Columns, before the rows
  ResultGrid rows;
};

// What the calling thread and the worker share; both hold it, so either may go first.
struct BlockJob {
  std::mutex mutex;
  std::condition_variable to_caller;
  std::condition_variable to_worker;
  std::deque<Batch> queue;
  bool connected = false;
  SteadyClock::time_point connected_at;
  bool results_complete = false;  // every row is in the queue
  bool done = false;              // the connection is closed too
  bool abandoned = false;         // the caller stopped listening
  bool left_behind = false;       // counted in stuck until the worker ends
  bool any = false;
  bool whole = false;  // set before the worker starts: the rows stay on the worker, in grid
  std::optional<ResultGrid> grid;
  std::exception_ptr error;
  std::shared_ptr<Connection> connection;    // for the cancel, while the statement runs
  std::shared_ptr<WorkerConnection> worker;  // where the connection waits for the next block
  std::shared_ptr<StuckWorkers> stuck;
  int road = 0;
};

// The worker's side: rows copied into batches and queued for the caller.
class ForwardingSink final : public RowSink {
 public:
  explicit ForwardingSink(BlockJob& job) : job_(job) {}

  void Columns(const std::vector<std::string>& names) override {
    names_ = names;
    grid_ = ResultGrid(names_);
    Push(Batch{names_, ResultGrid()});
  }
  void Row(const CellView* cells, size_t count) override {
    for (size_t c = 0; c < count; ++c) {
      grid_.Add(cells[c]);
      text_bytes_ += cells[c].text.size();
    }
    if (grid_.Rows() * count + count > kBatchCells || text_bytes_ > kBatchTextBytes) Flush();
  }
  void Flush() {
    if (grid_.Rows() == 0) return;
    Push(Batch{std::nullopt, std::exchange(grid_, ResultGrid(names_))});
    text_bytes_ = 0;
  }

 private:
  void Push(Batch batch) {
    std::unique_lock lock(job_.mutex);
    job_.to_worker.wait(lock,
                        [this] { return job_.queue.size() < kQueuedBatches || job_.abandoned; });
    if (job_.abandoned) throw Error("Lettura interrotta", ErrorKind::kCancelled);
    job_.queue.push_back(std::move(batch));
    job_.to_caller.notify_one();
  }

  BlockJob& job_;
  std::vector<std::string> names_;
  ResultGrid grid_;
  size_t text_bytes_ = 0;
};

// The worker's side of a whole result: each cell is copied once, from the driver into the grid
// that the caller takes at the end.
class CollectingSink final : public RowSink {
 public:
  explicit CollectingSink(BlockJob& job) : job_(job) {}

  void Columns(const std::vector<std::string>& names) override { grid_ = ResultGrid(names); }
  void Row(const CellView* cells, size_t count) override {
    for (size_t c = 0; c < count; ++c) grid_.Add(cells[c]);
    if (++rows_ % kCheckRows != 0) return;
    const std::lock_guard lock(job_.mutex);
    if (job_.abandoned) throw Error("Lettura interrotta", ErrorKind::kCancelled);
  }
  ResultGrid Take() { return std::move(grid_); }

 private:
  BlockJob& job_;
  ResultGrid grid_;
  size_t rows_ = 0;
};

bool RunStatement(BlockJob& job, Connection& connection, const std::string& sql) {
  if (job.whole) {
    CollectingSink sink(job);
    const bool any = connection.QueryRows(sql, sink);
    const std::lock_guard lock(job.mutex);
    job.grid = sink.Take();
    return any;
  }
  ForwardingSink sink(job);
  const bool any = connection.QueryRows(sql, sink);
  sink.Flush();
  return any;
}

void Work(const std::shared_ptr<BlockJob>& job, const ConnectionOpener& open,
          const std::string& sql) {
  std::shared_ptr<Connection> connection;
  try {
    if (job->worker) connection = job->worker->Take();
    if (!connection) {
      connection = open();
      if (job->worker) job->worker->NoteOpened();
    }
    {
      const std::lock_guard lock(job->mutex);
      job->connection = connection;
      job->connected = true;
      job->connected_at = SteadyClock::now();
      job->to_caller.notify_one();
    }
    const bool any = RunStatement(*job, *connection, sql);
    const std::lock_guard lock(job->mutex);
    job->any = any;
  } catch (...) {
    const std::lock_guard lock(job->mutex);
    job->error = std::current_exception();
  }
  {
    const std::lock_guard lock(job->mutex);
    // Kept before the caller hears of the end, so that its next block finds it; never after a
    // cancel (the caller gave up, and a late cancel must not reach the next statement).
    if (job->worker && !job->abandoned) connection = job->worker->Keep(std::move(connection));
    job->results_complete = true;
    job->connection.reset();
    job->to_caller.notify_one();
  }
  connection.reset();  // closed here, unless kept or a cancel still holds it
  const std::lock_guard lock(job->mutex);
  job->done = true;
  if (job->left_behind && job->stuck) job->stuck->Remove(job->road);
  job->to_caller.notify_one();
}

void Deliver(Batch& batch, RowSink& sink) {
  if (batch.names) sink.Columns(*batch.names);
  const size_t cols = batch.rows.Cols();
  std::vector<CellView> cells(cols);
  for (size_t r = 0; r < batch.rows.Rows(); ++r) {
    for (size_t c = 0; c < cols; ++c) cells[c] = batch.rows.At(r, c);
    sink.Row(cells.data(), cols);
  }
}

// The caller's side. Whatever way it leaves, the worker is told that nobody listens any more.
class JobWatch {
 public:
  JobWatch(std::shared_ptr<BlockJob> job, const ConnectionLimits& limits, const CancelToken* stop,
           OpenKind kind)
      : job_(std::move(job)), limits_(limits), stop_(stop), kind_(kind) {}
  ~JobWatch() {
    const std::lock_guard lock(job_->mutex);
    job_->abandoned = true;
    job_->to_worker.notify_all();
  }
  JobWatch(const JobWatch&) = delete;
  JobWatch& operator=(const JobWatch&) = delete;

  bool Run(RowSink& sink) {
    const auto start = SteadyClock::now();
    const auto open_limit =
        kind_.database_file
            ? std::chrono::seconds(limits_.connect_seconds + limits_.query_seconds) +
                  kFileErrorGrace
            : std::chrono::seconds(limits_.connect_seconds);
    std::unique_lock lock(job_->mutex);
    for (;;) {
      const auto deadline = job_->connected
                                ? job_->connected_at + std::chrono::seconds(limits_.query_seconds)
                                : start + open_limit;
      if (stop_ != nullptr && stop_->Cancelled()) GiveUp(lock, CancelToken::StopError());
      if (!job_->queue.empty()) {
        Batch batch = std::move(job_->queue.front());
        job_->queue.pop_front();
        job_->to_worker.notify_one();
        lock.unlock();
        Deliver(batch, sink);
        lock.lock();
        continue;
      }
      if (job_->results_complete) break;
      const auto now = SteadyClock::now();
      if (now >= deadline) GiveUp(lock, TimeOutError());
      job_->to_caller.wait_until(lock,
                                 stop_ != nullptr ? std::min(deadline, now + kStopPoll) : deadline);
    }
    // The worker closes the connection; a close that hangs is not waited for.
    job_->to_caller.wait_for(lock, kCancelGrace, [this] { return job_->done; });
    // Taken out under the lock: the exception object is then only ever released on this thread.
    if (const std::exception_ptr error = std::exchange(job_->error, nullptr)) {
      lock.unlock();
      std::rethrow_exception(error);
    }
    return job_->any;
  }

 private:
  Error TimeOutError() const {
    if (job_->connected) return QueryTimeoutError(limits_.query_seconds);
    if (kind_.database_file) {
      return FileOpenTimeoutError(limits_.connect_seconds + limits_.query_seconds);
    }
    return ConnectTimeoutError(limits_.connect_seconds);
  }

  // A time-out and a stop end the same way: the statement is cancelled and the worker gets a
  // moment to end; one that does not is left behind, counted, and named by the error's type.
  [[noreturn]] void GiveUp(std::unique_lock<std::mutex>& lock, const Error& error) {
    job_->abandoned = true;
    job_->to_worker.notify_all();
    if (job_->connection) {
      // Some drivers' cancel waits for the server: it gets a thread of its own.
      std::thread([connection = job_->connection] { connection->Cancel(); }).detach();
    }
    if (job_->to_caller.wait_for(lock, kCancelGrace, [this] { return job_->done; })) throw error;
    job_->left_behind = true;
    if (job_->stuck) job_->stuck->Add(job_->road);
    throw AbandonedQueryError(error.what(), error.kind());
  }

  std::shared_ptr<BlockJob> job_;
  ConnectionLimits limits_;
  const CancelToken* stop_;
  OpenKind kind_;
};

Error TooManyStuckError(int count) {
  return Error("Blocco non eseguito: " + std::to_string(count) +
                   " query precedenti verso questo database non sono state annullate dal driver "
                   "e sono ancora in corso. Controllare il server e la rete; se il problema "
                   "resta, riavviare il programma.",
               ErrorKind::kDatabase);
}

}  // namespace

Error ConnectTimeoutError(int seconds) {
  return Error("Tempo scaduto: la connessione al database non è riuscita entro " +
                   std::to_string(seconds) +
                   " secondi. Controllare che il server sia acceso e raggiungibile (nome del "
                   "server, porta, rete, firewall).",
               ErrorKind::kTimeout);
}

Error FileOpenTimeoutError(int seconds) {
  return Error("Tempo scaduto: il file di database non è stato aperto entro " +
                   std::to_string(seconds) +
                   " secondi. Controllare che il file non sia bloccato da un altro programma e che "
                   "il disco risponda.",
               ErrorKind::kTimeout);
}

Error QueryTimeoutError(int seconds) {
  return Error("Tempo scaduto: la query non è terminata entro " + std::to_string(seconds) +
                   " secondi ed è stata interrotta. Controllare la query (filtri, indici) e il "
                   "carico del server.",
               ErrorKind::kTimeout);
}

namespace {

// The worker of one statement, started unless the run has stopped or the road holds as many
// workers left behind as it may. whole: the rows stay on the worker, collected in its grid.
std::shared_ptr<BlockJob> StartJob(const ConnectionOpener& open, const std::string& sql,
                                   const QueryStop& stop, bool whole,
                                   std::shared_ptr<WorkerConnection> worker) {
  if (stop.cancel != nullptr) stop.cancel->ThrowIfCancelled();
  if (stop.stuck && stop.stuck->Full(stop.road)) throw TooManyStuckError(stop.stuck->Cap());
  auto job = std::make_shared<BlockJob>();
  job->whole = whole;
  job->stuck = stop.stuck;
  job->road = stop.road;
  job->worker = std::move(worker);
  std::thread([job, open, sql] { Work(job, open, sql); }).detach();
  return job;
}

}  // namespace

bool QueryRowsWithDeadline(const ConnectionOpener& open, const std::string& sql, RowSink& sink,
                           const ConnectionLimits& limits, const QueryStop& stop, OpenKind kind,
                           std::shared_ptr<WorkerConnection> worker) {
  JobWatch watch(StartJob(open, sql, stop, false, std::move(worker)), limits, stop.cancel, kind);
  return watch.Run(sink);
}

std::optional<ResultGrid> QueryWithDeadline(const ConnectionOpener& open, const std::string& sql,
                                            const ConnectionLimits& limits, const QueryStop& stop,
                                            OpenKind kind,
                                            std::shared_ptr<WorkerConnection> worker) {
  const std::shared_ptr<BlockJob> job = StartJob(open, sql, stop, true, std::move(worker));
  GridSink unused;  // nothing is queued for a whole result
  if (!JobWatch(job, limits, stop.cancel, kind).Run(unused)) return std::nullopt;
  const std::lock_guard lock(job->mutex);
  return std::move(job->grid);
}

namespace {

QueryStop OnRoadOf(const RunConnection& connection, QueryStop stop) {
  stop.road = static_cast<int>(connection.Road());
  return stop;
}

}  // namespace

bool BlockQueryRows(const std::shared_ptr<const RunConnection>& connection,
                    const ConnectionLimits& limits, const std::string& sql, RowSink& sink,
                    const QueryStop& stop, std::shared_ptr<WorkerConnection> worker) {
  return QueryRowsWithDeadline([connection] { return connection->Open(); }, sql, sink, limits,
                               OnRoadOf(*connection, stop), {connection->OpensFile()},
                               std::move(worker));
}

std::optional<ResultGrid> BlockQuery(const std::shared_ptr<const RunConnection>& connection,
                                     const ConnectionLimits& limits, const std::string& sql,
                                     const QueryStop& stop,
                                     std::shared_ptr<WorkerConnection> worker) {
  return QueryWithDeadline([connection] { return connection->Open(); }, sql, limits,
                           OnRoadOf(*connection, stop), {connection->OpensFile()},
                           std::move(worker));
}

}  // namespace panorello
