#include "util/browser.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "util/error.h"

namespace panorello {

namespace {

[[noreturn]] void ReportAndExit(int pipe_fd, int error_number) {
  ssize_t written = ::write(pipe_fd, &error_number, sizeof error_number);
  (void)written;
  _exit(127);
}

std::string CannotStartMessage(const std::string& opener, int error_number) {
  return "Impossibile avviare " + opener + " per aprire la pagina nel browser (" +
         std::strerror(error_number) +
         "). Installare il pacchetto xdg-utils oppure impostare OPENBROWSER=0 in config.ini.";
}

}  // namespace

void OpenInBrowser(const std::string& path, const std::string& opener) {
  // A relative path that starts with "-" would be read as an option of the opener.
  const std::string argument = (!path.empty() && path[0] == '-') ? "./" + path : path;
  // Everything the children need is prepared before fork.
  std::vector<char*> argv = {const_cast<char*>(opener.c_str()), const_cast<char*>(argument.c_str()),
                             nullptr};
  int status_pipe[2];
  if (pipe2(status_pipe, O_CLOEXEC) != 0) {
    throw Error(CannotStartMessage(opener, errno));
  }
  pid_t child = fork();
  if (child < 0) {
    int error_number = errno;
    ::close(status_pipe[0]);
    ::close(status_pipe[1]);
    throw Error(CannotStartMessage(opener, error_number));
  }
  if (child == 0) {
    // Intermediate child: a new session, then the opener in a grandchild so that it is
    // re-parented at once and never becomes our zombie.
    ::close(status_pipe[0]);
    setsid();
    pid_t grandchild = fork();
    if (grandchild < 0) ReportAndExit(status_pipe[1], errno);
    if (grandchild > 0) _exit(0);
    int null_fd = ::open("/dev/null", O_RDWR);
    if (null_fd < 0) ReportAndExit(status_pipe[1], errno);
    dup2(null_fd, 0);
    dup2(null_fd, 1);
    dup2(null_fd, 2);
    if (null_fd > 2) ::close(null_fd);
    execvp(argv[0], argv.data());
    ReportAndExit(status_pipe[1], errno);
  }
  ::close(status_pipe[1]);
  int wait_status = 0;
  while (waitpid(child, &wait_status, 0) < 0 && errno == EINTR) {
  }
  // The pipe closes without data when exec succeeded (close-on-exec); otherwise it carries errno.
  int child_error = 0;
  ssize_t got;
  do {
    got = ::read(status_pipe[0], &child_error, sizeof child_error);
  } while (got < 0 && errno == EINTR);
  ::close(status_pipe[0]);
  if (got == static_cast<ssize_t>(sizeof child_error)) {
    throw Error(CannotStartMessage(opener, child_error));
  }
}

}  // namespace panorello
