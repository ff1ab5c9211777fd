#pragma once
// The stop of a run: one token that the run's owner (the window being closed), the process's
// signals (SIGINT, SIGTERM, SIGHUP) and a part of the run (the block pool) can raise, read by
// everything that waits, down to each block's deadline watcher. And the ledger of the workers
// that a stop or a time-out left behind in a driver that did not give its statement up.
#include <atomic>
#include <map>
#include <mutex>

#include "util/error.h"

namespace panorello {

// The text of the error that a run stopped by its owner ends with.
inline constexpr const char* kRunCancelledText = "generazione annullata dall'utente";

class CancelToken {
 public:
  // flag: the owner's request, set from any thread; parent: a wider stop that this one follows.
  explicit CancelToken(const std::atomic<bool>* flag = nullptr,
                       const CancelToken* parent = nullptr) noexcept
      : flag_(flag), parent_(parent) {}
  CancelToken(const CancelToken&) = delete;
  CancelToken& operator=(const CancelToken&) = delete;

  void Cancel() noexcept { own_.store(true); }
  // True once this token, its flag, its parent or a signal to the process asked to stop.
  bool Cancelled() const noexcept;
  // The error of a stop (ErrorKind::kCancelled): "Generazione interrotta" after a signal,
  // kRunCancelledText otherwise.
  static Error StopError();
  void ThrowIfCancelled() const {
    if (Cancelled()) throw StopError();
  }

 private:
  std::atomic<bool> own_{false};
  const std::atomic<bool>* flag_;
  const CancelToken* parent_;
};

// Workers still inside a driver after their block gave up on them, counted by road (the kind of
// connection). Shared by every run of the process; any thread.
class StuckWorkers {
 public:
  // New blocks of a road that holds cap_per_road workers fail at once instead of adding threads.
  explicit StuckWorkers(int cap_per_road = 4) : cap_(cap_per_road) {}

  void Add(int road);
  void Remove(int road);
  bool Full(int road) const;
  int Cap() const { return cap_; }
  int Total() const;

 private:
  const int cap_;
  mutable std::mutex mutex_;
  std::map<int, int> count_;
};

}  // namespace panorello
