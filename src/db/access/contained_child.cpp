#include "db/access/contained_child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "util/error.h"
#include "util/unique_fd.h"

extern char** environ;

namespace panorello {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr size_t kTailBytes = 8192;

// In the forked child: only async-signal-safe calls until exec. Reports a failure through
// report_fd (the errno) and ends.
[[noreturn]] void BecomeChild(const char* program, char* const argv[], int err_fd, int report_fd,
                              pid_t parent, const rlimit& memory) {
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(127);
  int err = 0;
  const int null_fd = ::open("/dev/null", O_RDWR);
  if (null_fd < 0 || ::dup2(null_fd, 0) < 0 || ::dup2(null_fd, 1) < 0 || ::dup2(err_fd, 2) < 0 ||
      ::setrlimit(RLIMIT_AS, &memory) != 0) {
    err = errno;
  } else {
    ::execve(program, argv, environ);
    err = errno;
  }
  [[maybe_unused]] const ssize_t n = ::write(report_fd, &err, sizeof err);
  ::_exit(127);
}

void KeepTail(std::string& tail, const char* bytes, size_t count) {
  tail.append(bytes, count);
  if (tail.size() > kTailBytes) tail.erase(0, tail.size() - kTailBytes);
}

std::pair<int, int> Pipe() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    throw Error("Impossibile avviare il programma di lettura: " +
                std::generic_category().message(errno));
  }
  return {fds[0], fds[1]};
}

}  // namespace

ChildOutcome RunContained(const std::string& program, const std::vector<std::string>& args,
                          const ChildLimits& limits) {
  std::vector<std::string> arg_copies = args;
  std::vector<char*> argv;
  for (std::string& arg : arg_copies) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const rlimit memory{limits.address_space_bytes, limits.address_space_bytes};
  const auto [err_read, err_write] = Pipe();
  UniqueFd err_in(err_read), err_out(err_write);
  const auto [report_read, report_write] = Pipe();
  UniqueFd report_in(report_read), report_out(report_write);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    throw Error("Impossibile avviare " + program + ": " + std::generic_category().message(errno));
  }
  if (pid == 0) {
    BecomeChild(program.c_str(), argv.data(), err_out.Get(), report_out.Get(), parent, memory);
  }
  err_out.Reset();
  report_out.Reset();

  ChildOutcome outcome;
  // The exec's outcome: end of file when it succeeded (close-on-exec), the errno otherwise.
  int err = 0;
  ssize_t got = 0;
  while ((got = ::read(report_in.Get(), &err, sizeof err)) < 0 && errno == EINTR) {
  }
  if (got == static_cast<ssize_t>(sizeof err)) outcome.start_errno = err;

  char buffer[4096];
  bool reading = true;
  for (;;) {
    const pid_t done = ::waitpid(pid, &outcome.status, WNOHANG);
    if (done == pid) break;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(limits.deadline - SteadyClock::now());
    if (left.count() <= 0) {
      ::kill(pid, SIGKILL);
      while (::waitpid(pid, &outcome.status, 0) < 0 && errno == EINTR) {
      }
      outcome.timed_out = true;
      break;
    }
    const int wait_ms = static_cast<int>(std::min<int64_t>(left.count(), reading ? 100 : 10));
    if (!reading) {
      ::poll(nullptr, 0, wait_ms);
      continue;
    }
    pollfd p{err_in.Get(), POLLIN, 0};
    if (::poll(&p, 1, wait_ms) <= 0) continue;
    const ssize_t n = ::read(err_in.Get(), buffer, sizeof buffer);
    if (n > 0) {
      KeepTail(outcome.stderr_tail, buffer, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      reading = false;
    }
  }
  // What the child wrote just before it ended.
  ::fcntl(err_in.Get(), F_SETFL, O_NONBLOCK);
  for (ssize_t n; reading && (n = ::read(err_in.Get(), buffer, sizeof buffer)) > 0;) {
    KeepTail(outcome.stderr_tail, buffer, static_cast<size_t>(n));
  }
  return outcome;
}

}  // namespace panorello
