#pragma once
#include <string>

namespace panorello {

// Opens a file with the user's default application: `opener path`, started detached (own
// session, standard streams on /dev/null, never waited for), the path as one argument, no shell.
// Throws Error when the opener cannot be started at all.
void OpenInBrowser(const std::string& path, const std::string& opener = "xdg-open");

// What the generation run calls; tests substitute their own.
class Browser {
 public:
  virtual ~Browser() = default;
  virtual void Open(const std::string& path) = 0;
};

class SystemBrowser final : public Browser {
 public:
  void Open(const std::string& path) override { OpenInBrowser(path); }
};

}  // namespace panorello
