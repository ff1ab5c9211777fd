#include "util/log.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util/files.h"
#include "util/folder_cause.h"
#include "util/text.h"
#include "util/unique_fd.h"

namespace panorello {

namespace {

// True when a regular file holds bytes and its last one does not end a line: an earlier line was
// cut short (a full disk), so the next one must not be glued to it.
bool EndsInsideALine(int fd) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) return false;
  char last = '\n';
  return ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n';
}

void AppendHex(std::string& out, unsigned value, int digits) {
  static constexpr char kDigits[] = "0123456789abcdef";
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 15];
}

}  // namespace

std::string LogFilePath(std::string_view log_file_setting, std::string_view app_folder) {
  return Trim(log_file_setting).empty() ? AppFile(app_folder, "panorello.log")
                                        : std::string(log_file_setting);
}

std::string LogFallbackText(const std::string& log_path, const std::string& reason,
                            const std::string& line, std::string& named_log) {
  std::string text;
  if (log_path != named_log) {
    named_log = log_path;
    text = "Impossibile scrivere il log " + log_path + ": " + reason +
           ". Controllare LOGFILE in config.ini e i permessi della cartella; le righe del log "
           "seguono qui.";
    text = ForTerminal(text) + "\n";
  }
  return text + ForTerminal(line) + "\n";
}

std::string VisibleControls(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if ((c < 0x20 && c != '\t') || c == 0x7f) {
      out += "\\x";
      AppendHex(out, c, 2);
    } else if (c == 0xc2 && next >= 0x80 && next <= 0x9f) {
      out += "\\u00";  // U+0080 to U+009F in UTF-8
      AppendHex(out, next, 2);
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string ForTerminal(std::string_view text) { return VisibleControls(LineBreaksToSpaces(text)); }

bool WriteLog(std::string_view log_file_setting, std::string_view app_folder, const Clock& clock,
              std::string_view message, LogFailure* failure) noexcept {
  try {
    const std::string path = LogFilePath(log_file_setting, app_folder);
    std::string line = FormatTimestamp(clock.Now());
    line += " - ";
    line += VisibleControls(message);
    line += "\r\n";
    const auto fail = [&](const std::string& reason) {
      if (failure != nullptr) {
        line.resize(line.size() - 2);
        *failure = LogFailure{path, reason, std::move(line)};
      }
      return false;
    };
    int opened = -1;
    try {
      opened = OpenForAppend(path);
    } catch (const std::exception& e) {
      return fail(e.what() + FolderWriteCause(path));
    }
    UniqueFd fd(opened);
    if (EndsInsideALine(fd.Get())) line.insert(0, "\r\n");
    // One write per line: with O_APPEND two processes logging at once never mix their lines. A
    // short write leaves a line without its end: the next call ends it.
    const ssize_t written = ::write(fd.Get(), line.data(), line.size());
    if (written == static_cast<ssize_t>(line.size())) return true;
    return fail(std::strerror(written < 0 ? errno : ENOSPC));
  } catch (...) {
    // Logging never disturbs its caller.
    return false;
  }
}

}  // namespace panorello
