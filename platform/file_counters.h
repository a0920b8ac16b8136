// Bytes moved by the successful reads and writes of the process so far, for a
// progress display in another thread. The file layers count them.
#pragma once

#include <cstdint>

enum class file_direction { read, write };

void file_count_bytes(file_direction direction, uint64_t n);
uint64_t file_bytes_moved(file_direction direction);
