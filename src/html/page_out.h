#pragma once
// Where page text goes: a growing string, or chunks handed on to a file (the atomic replace of
// the page, or the spill file of a block that is not yet its turn), so that a large result
// table never sits in memory twice.
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

// A file that takes the chunks of a PageOut. Failures throw Error.
class ChunkFile {
 public:
  virtual ~ChunkFile() = default;
  virtual void Append(std::string_view text) = 0;
  virtual uint64_t Size() const = 0;
  virtual void TruncateTo(uint64_t size) = 0;
};

class PageOut {
 public:
  static constexpr size_t kChunk = 256 * 1024;

  // Without a file the whole text stays in the buffer (TakeText).
  explicit PageOut(AtomicFileWriter* file = nullptr);
  // Chunks of chunk_bytes (or more) go to file.
  PageOut(ChunkFile* file, size_t chunk_bytes) : file_(file), chunk_(chunk_bytes) {}
  PageOut(const PageOut&) = delete;
  PageOut& operator=(const PageOut&) = delete;

  void Append(std::string_view s) { buffer_.append(s); }
  // The buffer, for renderers that append piecewise (HtmlEncodeAppend).
  std::string& Buffer() { return buffer_; }
  // Hands the buffer on once it is large enough (only when writing to a file).
  void MaybeFlush() {
    if (file_ != nullptr && buffer_.size() >= chunk_) Flush();
  }
  void Flush();
  std::string TakeText() { return std::move(buffer_); }

  // Bytes of page written so far, wherever they are now: a mark for TruncateTo.
  uint64_t Size() const { return (file_ != nullptr ? file_->Size() : 0) + buffer_.size(); }
  // Drops everything written after a mark taken with Size() (a body that failed half-way).
  void TruncateTo(uint64_t size);

 private:
  // The atomic replace of the page as a ChunkFile.
  class PageFile final : public ChunkFile {
   public:
    explicit PageFile(AtomicFileWriter* file) : file_(file) {}
    void Append(std::string_view text) override { file_->Append(text); }
    uint64_t Size() const override { return file_->Size(); }
    void TruncateTo(uint64_t size) override { file_->TruncateTo(size); }

   private:
    AtomicFileWriter* file_;
  };

  PageFile page_file_{nullptr};
  ChunkFile* file_;
  size_t chunk_ = kChunk;
  std::string buffer_;
};

}  // namespace panorello
