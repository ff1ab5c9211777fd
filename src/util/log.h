#pragma once
#include <string>
#include <string_view>

#include "util/clock.h"

namespace panorello {

// Appends "dd/mm/yyyy hh:nn:ss - message" + CR LF to the log with a single write. The log is
// log_file_setting, or panorello.log in app_folder when that setting is blank. Creates missing
// folders. Never throws.
void WriteLog(std::string_view log_file_setting, std::string_view app_folder, const Clock& clock,
              std::string_view message) noexcept;

}  // namespace panorello
