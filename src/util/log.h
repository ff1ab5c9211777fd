#pragma once
#include <string>
#include <string_view>

#include "util/clock.h"

namespace panorello {

// The log: log_file_setting, or panorello.log in app_folder when that setting is blank.
std::string LogFilePath(std::string_view log_file_setting, std::string_view app_folder);

// A line that could not be written: the log, the system's reason, and the whole line.
struct LogFailure {
  std::string path;
  std::string reason;
  std::string line;  // "dd/mm/yyyy hh:nn:ss - message", without the line end
};

// What standard error gets for a line the log refused: the line, preceded by one line naming the
// log and the reason when named_log is not that log yet (named_log then becomes it).
std::string LogFallbackText(const std::string& log_path, const std::string& reason,
                            const std::string& line, std::string& named_log);

// Appends "dd/mm/yyyy hh:nn:ss - message" + CR LF to the log with a single write. Creates missing
// folders. Control characters in the message are shown as escapes (VisibleControls), so one call
// is always one line. A line cut short by an earlier failed write is ended first. The log is
// opened with OpenForAppend (no untrusted link, no FIFO; root writes into another account's folder
// as that account). Never throws; returns false, and fills
// *failure when given, when the line could not be written.
bool WriteLog(std::string_view log_file_setting, std::string_view app_folder, const Clock& clock,
              std::string_view message, LogFailure* failure = nullptr) noexcept;

// The text with every control character but the tab (C0, DEL and the C1 range of UTF-8) shown as
// a visible escape: "\n", "\r", "\x1b", "\x7f", "\u009b". For the log and the terminal.
std::string VisibleControls(std::string_view text);

// One line for a person on a terminal or in cron's mail: line breaks become spaces, every other
// control character a visible escape (VisibleControls).
std::string ForTerminal(std::string_view text);

}  // namespace panorello
