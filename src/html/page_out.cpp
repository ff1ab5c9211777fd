#include "html/page_out.h"

namespace panorello {

void PageOut::Flush() {
  if (file_ == nullptr || buffer_.empty()) return;
  file_->Append(buffer_);
  buffer_.clear();
}

}  // namespace panorello
