#include "platform/file_counters.h"

#include <atomic>

namespace {

// Read by another thread while the file layers add to them; nothing else
// hangs on their order.
std::atomic<uint64_t> bytes_read{0}, bytes_written{0};

thread_local bool counting_off = false;

std::atomic<uint64_t>& counter(file_direction direction) {
  return direction == file_direction::write ? bytes_written : bytes_read;
}

}  // namespace

void file_count_bytes(file_direction direction, uint64_t n) {
  if (!counting_off) counter(direction).fetch_add(n, std::memory_order_relaxed);
}

uint64_t file_bytes_moved(file_direction direction) {
  return counter(direction).load(std::memory_order_relaxed);
}

file_counting_off::file_counting_off() : outer_(counting_off) {
  counting_off = true;
}

file_counting_off::~file_counting_off() {
  counting_off = outer_;
}
