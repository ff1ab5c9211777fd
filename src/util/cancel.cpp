#include "util/cancel.h"

#include "util/interrupt.h"

namespace panorello {

bool CancelToken::Cancelled() const noexcept {
  return own_.load() || (flag_ != nullptr && flag_->load()) ||
         (parent_ != nullptr && parent_->Cancelled()) || InterruptRequested();
}

Error CancelToken::StopError() {
  return Error(InterruptRequested() ? kInterruptedMessage : kRunCancelledText,
               ErrorKind::kCancelled);
}

void StuckWorkers::Add(int road) {
  const std::lock_guard lock(mutex_);
  ++count_[road];
}

void StuckWorkers::Remove(int road) {
  const std::lock_guard lock(mutex_);
  if (--count_[road] <= 0) count_.erase(road);
}

bool StuckWorkers::Full(int road) const {
  const std::lock_guard lock(mutex_);
  const auto it = count_.find(road);
  return it != count_.end() && it->second >= cap_;
}

int StuckWorkers::Total() const {
  const std::lock_guard lock(mutex_);
  int total = 0;
  for (const auto& [road, count] : count_) total += count;
  return total;
}

}  // namespace panorello
