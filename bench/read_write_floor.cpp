// The floor of a whole two-way HotSync as a process: both files read into
// memory of its own and written back, each replaced whole as hotsync replaces
// them (a temporary beside it, written, forced to disk, renamed over it).
//
//   read_write_floor DESKTOP_FILE HANDHELD_FILE
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

bool read_whole(const char* path, char** data, size_t* size) {
  const int fd = open(path, O_RDONLY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return false;
  *size = static_cast<size_t>(st.st_size);
  *data = static_cast<char*>(std::malloc(*size + 1));
  size_t got = 0;
  while (*data && got < *size) {
    const ssize_t n = read(fd, *data + got, *size - got);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  close(fd);
  return *data && got == *size;
}

bool replace_whole(const char* path, const char* data, size_t size) {
  const std::string tmp = std::string(path) + ".tmp";
  const int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  size_t put = 0;
  while (put < size) {
    const ssize_t n = write(fd, data + put, size - put);
    if (n <= 0) break;
    put += static_cast<size_t>(n);
  }
  const bool ok = put == size && fsync(fd) == 0;
  return close(fd) == 0 && ok && rename(tmp.c_str(), path) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: read_write_floor DESKTOP_FILE HANDHELD_FILE\n");
    return 2;
  }
  char *xml = nullptr, *pdb = nullptr;
  size_t xml_size = 0, pdb_size = 0;
  if (!read_whole(argv[1], &xml, &xml_size) || !read_whole(argv[2], &pdb, &pdb_size)) return 1;
  return replace_whole(argv[1], xml, xml_size) && replace_whole(argv[2], pdb, pdb_size) ? 0 : 1;
}
