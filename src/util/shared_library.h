#pragma once
// A shared library opened when a feature first needs it, so that runs without that feature never
// load it (nor the libraries it brings). Never closed: its code may still run at process exit.
#include <string>

namespace panorello {

class SharedLibrary {
 public:
  // Opens `soname`; throws Error naming `what` and the Debian `package` that holds it.
  SharedLibrary(const char* soname, std::string what, std::string package);
  ~SharedLibrary() = default;
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // Sets `function` to the library's function `name`; throws Error when it has none.
  template <typename F>
  void Load(F& function, const char* name) const {
    function = reinterpret_cast<F>(Symbol(name));
  }

 private:
  void* Symbol(const char* name) const;

  void* handle_ = nullptr;
  std::string what_;
  std::string package_;
};

}  // namespace panorello
