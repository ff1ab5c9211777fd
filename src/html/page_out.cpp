#include "html/page_out.h"

namespace panorello {

PageOut::PageOut(AtomicFileWriter* file)
    : page_file_(file), file_(file != nullptr ? &page_file_ : nullptr) {}

void PageOut::Flush() {
  if (file_ == nullptr || buffer_.empty()) return;
  try {
    file_->Append(buffer_);
  } catch (const Error& e) {
    throw PageWriteError(e.what());
  }
  buffer_.clear();
}

void PageOut::TruncateTo(uint64_t size) {
  const uint64_t in_file = file_ != nullptr ? file_->Size() : 0;
  if (size >= in_file) {
    if (size - in_file < buffer_.size()) buffer_.resize(static_cast<size_t>(size - in_file));
    return;
  }
  buffer_.clear();
  try {
    file_->TruncateTo(size);
  } catch (const Error& e) {
    throw PageWriteError(e.what());
  }
}

}  // namespace panorello
