#include "platform/file_faults.h"

#include <atomic>

namespace {

// Counted from any thread: a process may read two files side by side.
struct armed_fault {
  std::atomic<int> calls;
  std::atomic<int> fail_at;  // 0: none armed
  std::atomic<int> error;
};

armed_fault faults[static_cast<int>(file_op::count)];

}  // namespace

int file_fault_injected(file_op op) {
  armed_fault& f = faults[static_cast<int>(op)];
  const int call = f.calls.fetch_add(1, std::memory_order_relaxed) + 1;
  int armed = f.fail_at.load(std::memory_order_relaxed);
  if (armed != 0 && call == armed &&
      f.fail_at.compare_exchange_strong(armed, 0, std::memory_order_relaxed)) {
    return f.error.load(std::memory_order_relaxed);
  }
  return 0;
}

void file_fault_arm(file_op op, int nth, int error) {
  armed_fault& f = faults[static_cast<int>(op)];
  f.error.store(error, std::memory_order_relaxed);
  f.fail_at.store(f.calls.load(std::memory_order_relaxed) + nth, std::memory_order_relaxed);
}

void file_fault_reset() {
  for (armed_fault& f : faults) {
    f.calls.store(0, std::memory_order_relaxed);
    f.fail_at.store(0, std::memory_order_relaxed);
    f.error.store(0, std::memory_order_relaxed);
  }
}

int file_fault_calls(file_op op) {
  return faults[static_cast<int>(op)].calls.load(std::memory_order_relaxed);
}
