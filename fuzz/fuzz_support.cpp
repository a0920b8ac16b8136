#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "fuzz/fuzz_target.h"

namespace {

std::string folder;

// The scratch folder goes with the process, whatever the targets left in it.
void remove_scratch_folder() {
  if (DIR* d = opendir(folder.c_str())) {
    while (dirent* entry = readdir(d)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") unlink((folder + "/" + name).c_str());
    }
    closedir(d);
  }
  rmdir(folder.c_str());
}

}  // namespace

const char* fuzz_scratch_path(const char* name) {
  if (folder.empty()) {
    folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    folder += "/qvfuzz-" + std::to_string(getpid());
    mkdir(folder.c_str(), 0700);
    std::atexit(remove_scratch_folder);
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
