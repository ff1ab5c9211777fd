#pragma once
// The one owner of a file descriptor: closed when its owner goes.
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace panorello {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) noexcept : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const noexcept { return fd_; }
  bool Valid() const noexcept { return fd_ >= 0; }
  // The descriptor, no longer owned.
  int Release() noexcept { return std::exchange(fd_, -1); }
  // Closes the one held (if any) and takes fd.
  void Reset(int fd = -1) noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now and tells how: 0, or the errno of close (a written file's late write error).
  int Close() noexcept {
    const int fd = Release();
    if (fd < 0 || ::close(fd) == 0) return 0;
    return errno;
  }

 private:
  int fd_ = -1;
};

}  // namespace panorello
