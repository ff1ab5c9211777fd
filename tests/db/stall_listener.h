// A loopback listener that stalls database connections (tests/db/stall_listener.py), started and
// stopped by the test that uses it.
#pragma once

#include <signal.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace panorello::testing {

class StallListener {
 public:
  // args: the helper's arguments (mode first), words without blanks. ok() is false when it could
  // not start.
  explicit StallListener(const std::vector<std::string>& args) {
    std::string command = "exec python3 " PANORELLO_SOURCE_DIR "/tests/db/stall_listener.py";
    for (const std::string& arg : args) command += " " + arg;
    pipe_ = popen(command.c_str(), "r");
    char line[256] = {};
    if (pipe_ == nullptr || fgets(line, sizeof line, pipe_) == nullptr) return;
    std::istringstream words(line);
    std::string ready;
    words >> ready >> host_ >> port_ >> pid_;
    if (ready != "READY") host_.clear();
  }
  // Ends the listener and every connection it holds.
  ~StallListener() {
    if (pid_ > 0) kill(pid_, SIGKILL);
    if (pipe_ != nullptr) pclose(pipe_);
  }
  StallListener(const StallListener&) = delete;
  StallListener& operator=(const StallListener&) = delete;

  bool ok() const { return pid_ > 0 && !host_.empty(); }
  // The next line the listener prints (without its line break); "" once it has ended.
  std::string NextLine() {
    char line[4096] = {};
    if (pipe_ == nullptr || fgets(line, sizeof line, pipe_) == nullptr) return "";
    std::string text = line;
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }
  const std::string& host() const { return host_; }
  const std::string& port() const { return port_; }

 private:
  FILE* pipe_ = nullptr;
  pid_t pid_ = -1;
  std::string host_;
  std::string port_;
};

}  // namespace panorello::testing
