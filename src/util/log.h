#pragma once
#include <string>
#include <string_view>

#include "util/clock.h"

namespace panorello {

// The log file: log_file_setting, or panorello.log in app_folder when that setting is blank.
std::string LogFilePath(std::string_view log_file_setting, std::string_view app_folder);

// Appends "dd/mm/yyyy hh:nn:ss - message" + CR LF to the log with a single write. Creates missing
// folders. Control characters in the message are shown as escapes (VisibleControls), so one call
// is always one line. A line cut short by an earlier failed write is ended first. The log is
// opened with OpenForAppend (no untrusted link, no FIFO). Never throws.
void WriteLog(std::string_view log_file_setting, std::string_view app_folder, const Clock& clock,
              std::string_view message) noexcept;

// The text with every control character but the tab (C0, DEL and the C1 range of UTF-8) shown as
// a visible escape: "\n", "\r", "\x1b", "\x7f", "\u009b". For the log and the terminal.
std::string VisibleControls(std::string_view text);

}  // namespace panorello
