// A loopback listener that stalls database connections (tests/db/stall_listener.py), started and
// stopped by the test that uses it.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace panorello::testing {

class StallListener {
 public:
  // args: the helper's arguments (mode first). ok() is false when it could not start.
  explicit StallListener(const std::vector<std::string>& args) {
    int out[2];
    if (pipe(out) != 0) return;
    std::vector<std::string> all = {
        "python3", std::string(PANORELLO_SOURCE_DIR) + "/tests/db/stall_listener.py"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const int rc = posix_spawnp(&pid_, "python3", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (rc != 0) {
      pid_ = -1;
      close(out[0]);
      return;
    }
    FILE* in = fdopen(out[0], "r");
    char line[256] = {};
    if (in != nullptr && fgets(line, sizeof line, in) != nullptr) {
      std::istringstream words(line);
      std::string ready;
      words >> ready >> host_ >> port_;
      if (ready != "READY") host_.clear();
    }
    if (in != nullptr) fclose(in);
  }
  ~StallListener() { Stop(); }
  StallListener(const StallListener&) = delete;
  StallListener& operator=(const StallListener&) = delete;

  bool ok() const { return pid_ > 0 && !host_.empty(); }
  const std::string& host() const { return host_; }
  const std::string& port() const { return port_; }
  // Ends the listener and every connection it holds.
  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  std::string host_;
  std::string port_;
};

}  // namespace panorello::testing
