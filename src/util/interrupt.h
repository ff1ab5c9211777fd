#pragma once
// Interruption of a batch run by SIGINT, SIGTERM or SIGHUP: the handler only records the signal;
// the run's stop (util/cancel.h) reads it, so a running query is cancelled as a time-out cancels
// it; the run removes its temporary page and ends. A second signal of the same kind acts as if no
// handler were installed.
#include <signal.h>

namespace panorello {

inline constexpr const char* kInterruptedMessage = "Generazione interrotta";

// Installs the handlers for its lifetime; the previous dispositions come back afterwards.
class InterruptHandlers {
 public:
  InterruptHandlers();
  ~InterruptHandlers();
  InterruptHandlers(const InterruptHandlers&) = delete;
  InterruptHandlers& operator=(const InterruptHandlers&) = delete;

 private:
  struct sigaction saved_[3];  // SIGINT, SIGTERM, SIGHUP
};

// The signal that asked the process to stop, or 0.
int InterruptSignal() noexcept;
inline bool InterruptRequested() noexcept { return InterruptSignal() != 0; }

// Throws Error (kCancelled, kInterruptedMessage) once a stop was requested.
void ThrowIfInterrupted();

}  // namespace panorello
