#include "util/shared_library.h"

#include <dlfcn.h>

#include <utility>

#include "util/error.h"

namespace panorello {

SharedLibrary::SharedLibrary(const char* soname, std::string what, std::string package)
    : what_(std::move(what)), package_(std::move(package)) {
  handle_ = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = dlerror();
    throw Error(what_ + " non disponibile: installare il pacchetto " + package_ + " (" +
                (why != nullptr ? why : soname) + ")");
  }
}

void* SharedLibrary::Symbol(const char* name) const {
  void* symbol = dlsym(handle_, name);
  if (symbol == nullptr) {
    throw Error(what_ + " incompleta: manca " + name + " (aggiornare il pacchetto " + package_ +
                ")");
  }
  return symbol;
}

}  // namespace panorello
