#include "platform/file_faults.h"

#include <atomic>

namespace {

std::atomic<uint64_t> bytes_read{0}, bytes_written{0};

struct armed_fault {
  int calls;
  int fail_at;  // 0: none armed
  int error;
};

armed_fault faults[static_cast<int>(file_op::count)];

}  // namespace

int file_fault_injected(file_op op) {
  armed_fault& f = faults[static_cast<int>(op)];
  f.calls += 1;
  if (f.fail_at != 0 && f.calls == f.fail_at) {
    f.fail_at = 0;
    return f.error;
  }
  return 0;
}

void file_fault_arm(file_op op, int nth, int error) {
  armed_fault& f = faults[static_cast<int>(op)];
  f.fail_at = f.calls + nth;
  f.error = error;
}

void file_fault_reset() {
  for (armed_fault& f : faults)
    f = armed_fault{0, 0, 0};
}

int file_fault_calls(file_op op) {
  return faults[static_cast<int>(op)].calls;
}

void file_count_bytes(file_op op, uint64_t n) {
  (op == file_op::write ? bytes_written : bytes_read).fetch_add(n, std::memory_order_relaxed);
}

uint64_t file_bytes_moved(file_op op) {
  return (op == file_op::write ? bytes_written : bytes_read).load(std::memory_order_relaxed);
}
