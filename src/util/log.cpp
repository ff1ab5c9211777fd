#include "util/log.h"

#include <fcntl.h>
#include <unistd.h>

#include "util/files.h"
#include "util/text.h"

namespace panorello {

void WriteLog(std::string_view log_file_setting, std::string_view app_folder, const Clock& clock,
              std::string_view message) noexcept {
  try {
    std::string path = Trim(log_file_setting).empty() ? AppFile(app_folder, "panorello.log")
                                                      : std::string(log_file_setting);
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
    if (fd < 0) return;
    // One write per line: with O_APPEND two processes logging at once never mix their lines.
    ssize_t written = ::write(fd, line.data(), line.size());
    (void)written;
    ::close(fd);
  } catch (...) {
    // Logging never disturbs its caller.
  }
}

}  // namespace panorello
