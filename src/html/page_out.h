#pragma once
// Where page text goes: a growing string, or chunks handed on to the atomic file writer, so that
// a large result table never sits in memory twice.
#include <cstdint>
#include <string>
#include <string_view>

#include "util/error.h"
#include "util/files.h"

namespace panorello {

// A failure to write the page file itself (not a block's): it ends the run, it never becomes a
// block's error box.
class PageWriteError : public Error {
 public:
  using Error::Error;
};

class PageOut {
 public:
  // Without a file the whole text stays in Text().
  explicit PageOut(AtomicFileWriter* file = nullptr) : file_(file) {}
  PageOut(const PageOut&) = delete;
  PageOut& operator=(const PageOut&) = delete;

  void Append(std::string_view s) { buffer_.append(s); }
  // The buffer, for renderers that append piecewise (HtmlEncodeAppend).
  std::string& Buffer() { return buffer_; }
  // Hands the buffer on once it is large enough (only when writing to a file).
  void MaybeFlush() {
    if (file_ != nullptr && buffer_.size() >= kChunk) Flush();
  }
  void Flush();
  const std::string& Text() const { return buffer_; }
  std::string TakeText() { return std::move(buffer_); }

  // Bytes of page written so far, wherever they are now: a mark for TruncateTo.
  uint64_t Size() const { return (file_ != nullptr ? file_->Size() : 0) + buffer_.size(); }
  // Drops everything written after a mark taken with Size() (a body that failed half-way).
  void TruncateTo(uint64_t size);

 private:
  static constexpr size_t kChunk = 256 * 1024;
  AtomicFileWriter* file_;
  std::string buffer_;
};

}  // namespace panorello
