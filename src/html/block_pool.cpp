#include "html/block_pool.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "util/error.h"
#include "util/unique_fd.h"

namespace panorello {

namespace {

using SteadyClock = std::chrono::steady_clock;

// Blocks that end sooner than this (small queries on a near server, a local file) are not worth
// another connection: a login costs about as much as a few dozen of them.
constexpr auto kJoinAfter = std::chrono::milliseconds(10);
constexpr auto kSlowLogin = std::chrono::milliseconds(30);
constexpr auto kJoinPoll = std::chrono::milliseconds(2);

std::string SpillFailure(const std::string& folder, int error) {
  return "Impossibile scrivere il file temporaneo di un blocco nella cartella \"" + folder +
         "\": " + std::strerror(error) +
         ". Controllare lo spazio libero e i permessi della cartella della pagina.";
}

// A body kept for its turn in a file without a name (it vanishes when closed, also after a crash),
// in the page's own folder.
class SpillFile final : public ChunkFile {
 public:
  explicit SpillFile(std::string folder) : folder_(std::move(folder)) {}
  ~SpillFile() override = default;
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;

  void Append(std::string_view text) override {
    Open();
    while (!text.empty()) {
      const ssize_t n = ::pwrite(fd_.Get(), text.data(), text.size(), static_cast<off_t>(size_));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw Error(SpillFailure(folder_, n < 0 ? errno : ENOSPC));
      size_ += static_cast<uint64_t>(n);
      text.remove_prefix(static_cast<size_t>(n));
    }
  }
  uint64_t Size() const override { return size_; }
  void TruncateTo(uint64_t size) override {
    if (fd_.Valid() && ::ftruncate(fd_.Get(), static_cast<off_t>(size)) != 0) {
      throw Error(SpillFailure(folder_, errno));
    }
    size_ = size;
  }

  // The whole body, appended to out chunk by chunk.
  void CopyTo(PageOut& out) const {
    std::string chunk(PageOut::kChunk, '\0');
    for (uint64_t at = 0; at < size_;) {
      const size_t want = static_cast<size_t>(std::min<uint64_t>(chunk.size(), size_ - at));
      const ssize_t n = ::pread(fd_.Get(), chunk.data(), want, static_cast<off_t>(at));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw PageWriteError(SpillFailure(folder_, n < 0 ? errno : EIO));
      out.Append(std::string_view(chunk.data(), static_cast<size_t>(n)));
      out.MaybeFlush();
      at += static_cast<uint64_t>(n);
    }
  }

 private:
  void Open() {
    if (fd_.Valid()) return;
    fd_.Reset(OpenAnonymousFileIn(folder_));
    if (!fd_.Valid()) throw Error(SpillFailure(folder_, errno));
  }

  std::string folder_;
  UniqueFd fd_;
  uint64_t size_ = 0;
};

// One block's finished body, waiting for its turn.
struct Slot {
  std::string text;
  std::unique_ptr<SpillFile> spill;  // the body, when it grew past the spill size
  BlockOutcome outcome;
  std::exception_ptr error;  // the page or a spill file could not be written
  bool direct = false;       // the body went straight into the page
  bool done = false;
};

// Worker threads that take the blocks in page order, never more than a few blocks ahead of the
// page, and leave each body in its slot. A block whose turn has come when a worker takes it (every
// box above it is in the page) is written straight into the page: the page's thread only waits
// for it then. The destructor stops the workers' queries and joins them.
class Pool {
 public:
  Pool(const BlockQueryEnv& env, const std::vector<Block>& blocks, const BlockPoolOptions& options,
       PageOut& page)
      : cancel_(nullptr, options.cancel),
        env_(env),
        blocks_(blocks),
        options_(options),
        page_(page),
        slots_(blocks.size()),
        ahead_(static_cast<size_t>(std::max(4 * options.jobs, 16))) {
    env_.stop.cancel = &cancel_;
    const size_t threads = std::min(static_cast<size_t>(options.jobs), blocks.size());
    try {
      for (size_t t = 0; t < threads; ++t) threads_.emplace_back([this, t] { Work(t); });
    } catch (...) {
      Stop();
      throw;
    }
  }
  ~Pool() { Stop(); }
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;

  // Waits for block i's body and takes it; the next blocks may then start. Appended(i) must
  // follow once the body is in the page.
  Slot Take(size_t i) {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      // The stop is polled: it is raised from another thread (or a signal) without the lock.
      cancel_.ThrowIfCancelled();
      if (slots_[i].done) break;
      changed_.wait_for(lock, std::chrono::milliseconds(50));
    }
    Slot slot = std::move(slots_[i]);
    taken_ = i + 1;
    lock.unlock();
    changed_.notify_all();
    if (slot.error) std::rethrow_exception(slot.error);
    return slot;
  }

  // The outcomes of the blocks from i on whose bodies are ready and not taken, in page order.
  std::vector<std::pair<size_t, BlockOutcome>> Finished(size_t i) {
    std::vector<std::pair<size_t, BlockOutcome>> finished;
    const std::lock_guard<std::mutex> lock(mutex_);
    for (size_t j = std::max(i, taken_); j < slots_.size(); ++j) {
      if (slots_[j].done) finished.emplace_back(j, slots_[j].outcome);
    }
    return finished;
  }

  void Appended(size_t i) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      appended_ = i + 1;
    }
    changed_.notify_all();
  }

 private:
  void Stop() noexcept {
    cancel_.Cancel();  // the queries still running end as on a time-out
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_) {
      if (t.joinable()) t.join();
    }
  }

  // Each worker keeps its own connection between its blocks. The first one starts at once; the
  // others join it when AwaitJoin says so.
  void Work(size_t worker) {
    if (worker > 0 && !AwaitJoin()) return;
    BlockQueryEnv env = env_;
    env.worker = worker == 0 ? first_worker_ : std::make_shared<WorkerConnection>();
    for (;;) {
      size_t i = 0;
      bool direct = false;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(
            lock, [this] { return stop_ || next_ >= blocks_.size() || next_ < taken_ + ahead_; });
        if (stop_ || next_ >= blocks_.size() || cancel_.Cancelled()) return;
        i = next_++;
        direct = i == appended_;
        if (worker == 0) first_busy_since_ = SteadyClock::now();
      }
      Slot slot = direct ? RenderIntoPage(env, blocks_[i]) : Render(env, blocks_[i]);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        slots_[i] = std::move(slot);
        slots_[i].done = true;
        if (worker == 0) first_busy_since_.reset();
      }
      changed_.notify_all();
    }
  }

  // Waits until the other workers are worth their logins; false when the run ends first. They
  // are once a block keeps the first worker for kJoinAfter. A server on this machine logs in with
  // the same cores the blocks need: its login is left out of that time, unless it takes longer
  // than kSlowLogin (the server is busy, or the address leads on to a network).
  bool AwaitJoin() {
    const bool near = env_.connection->ServerOnThisMachine();
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      if (stop_ || next_ >= blocks_.size()) return false;
      if (joined_) return true;
      if (first_busy_since_) {
        const auto now = SteadyClock::now();
        const auto opened = first_worker_->FirstOpenedAt();
        const bool join = !near    ? now - *first_busy_since_ >= kJoinAfter
                          : opened ? now - std::max(*first_busy_since_, *opened) >= kJoinAfter
                                   : now - *first_busy_since_ >= kSlowLogin;
        if (join) {
          joined_ = true;
          return true;
        }
      }
      changed_.wait_for(lock, kJoinPoll);
    }
  }

  // Only while the page's thread waits for this block: it touches the page only after it.
  Slot RenderIntoPage(const BlockQueryEnv& env, const Block& block) const {
    Slot slot;
    slot.direct = true;
    try {
      slot.outcome = RenderBlock(env, block, page_);
      page_.MaybeFlush();
    } catch (...) {
      slot.error = std::current_exception();
    }
    return slot;
  }

  Slot Render(const BlockQueryEnv& env, const Block& block) const {
    Slot slot;
    try {
      const bool may_spill = !options_.spill_folder.empty();
      auto spill = may_spill ? std::make_unique<SpillFile>(options_.spill_folder) : nullptr;
      PageOut body(spill.get(), may_spill ? options_.spill_bytes : SIZE_MAX);
      slot.outcome = RenderBlock(env, block, body);
      if (spill != nullptr && spill->Size() > 0) {
        body.Flush();
        slot.spill = std::move(spill);
      } else {
        slot.text = body.TakeText();
      }
    } catch (...) {
      slot.error = std::current_exception();
    }
    return slot;
  }

  CancelToken cancel_;  // the run's stop, and the pool's own when it ends early
  BlockQueryEnv env_;   // the caller's, with the stop above
  const std::vector<Block>& blocks_;
  const BlockPoolOptions& options_;
  PageOut& page_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Slot> slots_;
  size_t next_ = 0;      // the next block a worker takes
  size_t taken_ = 0;     // blocks whose bodies the page's thread has taken
  size_t appended_ = 0;  // blocks whose boxes are in the page
  const size_t ahead_;
  const std::shared_ptr<WorkerConnection> first_worker_ = std::make_shared<WorkerConnection>();
  std::optional<SteadyClock::time_point> first_busy_since_;  // the first worker's block began
  bool joined_ = false;                                      // every worker takes blocks
  bool stop_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace

std::vector<BlockOutcome> RenderBlocksInOrder(const BlockQueryEnv& env,
                                              const std::vector<Block>& blocks,
                                              const BlockPoolOptions& options, PageOut& out,
                                              const BlockTurn& turn, const BlockEnded& ended) {
  std::vector<BlockOutcome> outcomes;
  outcomes.reserve(blocks.size());
  // A block stopped by the run ends the run, after the caller heard of it.
  auto end_block = [&](size_t i, BlockOutcome outcome) {
    if (ended) ended(i, outcome);
    if (outcome.stopped) throw CancelToken::StopError();
    outcomes.push_back(std::move(outcome));
  };
  if (options.jobs <= 1 || blocks.size() <= 1) {
    const CancelToken cancel(nullptr, options.cancel);
    BlockQueryEnv run_env = env;
    run_env.stop.cancel = &cancel;
    run_env.worker = std::make_shared<WorkerConnection>();
    for (size_t i = 0; i < blocks.size(); ++i) {
      cancel.ThrowIfCancelled();
      turn(i);
      BlockOutcome outcome = RenderBlock(run_env, blocks[i], out);
      out.MaybeFlush();
      end_block(i, std::move(outcome));
    }
    return outcomes;
  }
  Pool pool(env, blocks, options, out);
  for (size_t i = 0; i < blocks.size(); ++i) {
    try {
      turn(i);
      Slot slot = pool.Take(i);
      if (slot.spill != nullptr) {
        slot.spill->CopyTo(out);
      } else if (!slot.direct) {
        out.Append(slot.text);
      }
      out.MaybeFlush();
      pool.Appended(i);
      end_block(i, std::move(slot.outcome));
    } catch (...) {
      // The run ends here: the blocks below whose bodies were ready are still heard of.
      if (ended) {
        for (const auto& [j, outcome] : pool.Finished(i)) ended(j, outcome);
      }
      throw;
    }
  }
  return outcomes;
}

}  // namespace panorello
