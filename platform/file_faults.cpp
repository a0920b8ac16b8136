#include "platform/file_faults.h"

namespace {

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
