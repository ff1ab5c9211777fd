#pragma once
// One maker of a copy at a time, among the threads of a run and among runs: the lock file
// "<copy>.lock" exists only while its holder makes the copy. The holder removes it before it lets
// go; a failed holder first writes its error into it, so that those who waited for that copy fail
// with the same error instead of trying again one after the other.
#include <chrono>
#include <optional>
#include <string>

#include "util/error.h"
#include "util/unique_fd.h"

namespace panorello {

class CopyLock {
 public:
  // Waits for the lock of copy_path until deadline. Returns a held lock; std::nullopt when another
  // holder let go after making the copy (look again); throws the holder's error when it failed,
  // and Error (kTimeout) when the deadline passed.
  static std::optional<CopyLock> Wait(const std::string& copy_path,
                                      std::chrono::steady_clock::time_point deadline);

  CopyLock(CopyLock&& other) noexcept;
  CopyLock& operator=(CopyLock&&) = delete;
  CopyLock(const CopyLock&) = delete;
  ~CopyLock();

  // Lets go after a failure: the waiters receive error.
  void Fail(const Error& error);

 private:
  CopyLock(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  void Release();

  std::string path_;
  UniqueFd fd_;
};

}  // namespace panorello
