#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "fuzz/fuzz_target.h"

const char* fuzz_scratch_path(const char* name) {
  static std::string folder;
  if (folder.empty()) {
    folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    folder += "/qvfuzz-" + std::to_string(getpid());
    mkdir(folder.c_str(), 0700);
  }
  static std::string path;
  path = folder + "/" + name;
  return path.c_str();
}

void fuzz_write_file(const char* path, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(path, "wb");
  if (!f) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}
