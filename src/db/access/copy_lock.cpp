#include "db/access/copy_lock.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace panorello {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int kPollMs = 25;

// The error a failed holder wrote: its kind as one digit, then its text.
std::optional<Error> RecordedError(int fd) {
  std::string text;
  char buffer[4096];
  for (off_t at = 0;;) {
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
    at += n;
  }
  if (text.size() < 2 || text[0] < '0' || text[0] > '9') return std::nullopt;
  return Error(text.substr(1), static_cast<ErrorKind>(text[0] - '0'));
}

bool SameFile(int fd, const std::string& path) {
  struct stat held {};
  struct stat named {};
  return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace

std::optional<CopyLock> CopyLock::Wait(const std::string& copy_path,
                                       SteadyClock::time_point deadline) {
  const std::string path = copy_path + ".lock";
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    throw Error("Impossibile creare " + path + ": " + std::generic_category().message(errno),
                ErrorKind::kFile);
  }
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) {
      const int err = errno;
      ::close(fd);
      throw Error("Impossibile bloccare " + path + ": " + std::generic_category().message(err),
                  ErrorKind::kFile);
    }
    if (SteadyClock::now() >= deadline) {
      ::close(fd);
      throw Error("Tempo scaduto: la copia " + copy_path +
                      " è ancora in preparazione (un'altra lettura dello stesso file è in corso)",
                  ErrorKind::kTimeout);
    }
    ::poll(nullptr, 0, kPollMs);
  }
  if (SameFile(fd, path)) return CopyLock(path, fd);
  // The holder we waited for has let go and removed the file.
  std::optional<Error> failed = RecordedError(fd);
  ::close(fd);
  if (failed) throw *failed;
  return std::nullopt;
}

CopyLock::CopyLock(CopyLock&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::move(other.fd_)) {}

CopyLock::~CopyLock() { Release(); }

void CopyLock::Fail(const Error& error) {
  if (!fd_.Valid()) return;
  const std::string record =
      std::string(1, static_cast<char>('0' + static_cast<int>(error.kind()))) + error.what();
  if (::ftruncate(fd_.Get(), 0) == 0) {
    [[maybe_unused]] const ssize_t n = ::pwrite(fd_.Get(), record.data(), record.size(), 0);
  }
  Release();
}

void CopyLock::Release() {
  if (!fd_.Valid()) return;
  ::unlink(path_.c_str());  // while still held: a newcomer creates a new file
  fd_.Reset();
}

}  // namespace panorello
