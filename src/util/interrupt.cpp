#include "util/interrupt.h"

#include <atomic>
#include <csignal>

#include "util/error.h"

namespace panorello {

namespace {

// The one piece of mutable process state: written by the signal handler only, read by any thread.
std::atomic<int> g_interrupt_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler may only store lock-free");

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

extern "C" void RecordSignal(int signal_number) { g_interrupt_signal.store(signal_number); }

}  // namespace

InterruptHandlers::InterruptHandlers() : saved_{} {
  struct sigaction action {};
  action.sa_handler = RecordSignal;
  sigemptyset(&action.sa_mask);
  // Restarted system calls keep the database drivers out of EINTR paths; the one-shot handler
  // lets a second Ctrl-C end a run that is stuck inside a driver.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &action, &saved_[i]);
}

InterruptHandlers::~InterruptHandlers() {
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &saved_[i], nullptr);
}

int InterruptSignal() noexcept { return g_interrupt_signal.load(); }

void ThrowIfInterrupted() {
  if (InterruptRequested()) throw Error(kInterruptedMessage, ErrorKind::kCancelled);
}

}  // namespace panorello
