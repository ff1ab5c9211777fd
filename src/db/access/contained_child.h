#pragma once
// A helper program run as a contained child: its address space capped, killed when the thread
// that started it ends (the whole program included), killed and reaped when its time is up.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace panorello {

struct ChildLimits {
  uint64_t address_space_bytes = 0;                  // RLIMIT_AS of the child
  std::chrono::steady_clock::time_point deadline{};  // killed (SIGKILL) and reaped after it
};

struct ChildOutcome {
  int start_errno = 0;      // the program could not be started (exec failed): its errno
  bool timed_out = false;   // killed at the deadline
  int status = 0;           // wait status otherwise
  std::string stderr_tail;  // the last 8 KiB of its standard error
};

// Runs program with args (args[0] is its name) and standard input and output on /dev/null; waits
// until it ends or the deadline passes. Always returns with the child reaped. Throws Error when no
// child can be made at all (pipe, fork).
ChildOutcome RunContained(const std::string& program, const std::vector<std::string>& args,
                          const ChildLimits& limits);

}  // namespace panorello
