#include "platform/library_loader.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>

library_handle library_open(const std::string& path, std::string* why) {
  library_handle library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    const char* error = dlerror();
    *why = error ? error : "cannot be loaded";
  }
  return library;
}

void* library_symbol(library_handle library, const char* name) {
  return dlsym(library, name);
}

void library_close(library_handle library) {
  dlclose(library);
}

std::string program_folder() {
  char path[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return ".";
  std::string self(path, static_cast<size_t>(n));
  size_t slash = self.rfind('/');
  return slash == std::string::npos ? "." : self.substr(0, slash == 0 ? 1 : slash);
}
