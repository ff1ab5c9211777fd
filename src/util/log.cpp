#include "util/log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "util/files.h"
#include "util/text.h"

namespace panorello {

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
           "seguono qui.\n";
  }
  return text + LineBreaksToSpaces(line) + "\n";
}

bool WriteLog(std::string_view log_file_setting, std::string_view app_folder, const Clock& clock,
              std::string_view message, LogFailure* failure) noexcept {
  try {
    std::string path = LogFilePath(log_file_setting, app_folder);
    try {
      EnsureFolder(ParentFolder(path));
    } catch (...) {
      // The open below fails too when the folder is really missing; the line is then lost.
    }
    std::string line = FormatTimestamp(clock.Now());
    line += " - ";
    line += message;
    line += "\r\n";
    int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    // One write per line: with O_APPEND two processes logging at once never mix their lines.
    const bool ok = fd >= 0 && ::write(fd, line.data(), line.size()) ==
                                   static_cast<ssize_t>(line.size());
    const int error = errno;
    if (fd >= 0) ::close(fd);
    if (!ok && failure != nullptr) {
      line.resize(line.size() - 2);
      *failure = LogFailure{path, std::strerror(error != 0 ? error : EIO), std::move(line)};
    }
    return ok;
  } catch (...) {
    // Logging never disturbs its caller.
    return false;
  }
}

}  // namespace panorello
