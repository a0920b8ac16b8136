// Bytes moved by the successful reads and writes of the process so far, for a
// progress display in another thread. The file layers count them.
#pragma once

#include <cstdint>

enum class file_direction { read, write };

void file_count_bytes(file_direction direction, uint64_t n);
uint64_t file_bytes_moved(file_direction direction);

// While one lives, the reads and writes of the thread that made it are not
// counted: the host's own work beside a conduit's, which a progress display
// must not take for the conduit's.
class file_counting_off {
 public:
  file_counting_off();
  ~file_counting_off();
  file_counting_off(const file_counting_off&) = delete;
  file_counting_off& operator=(const file_counting_off&) = delete;

 private:
  bool outer_;
};
