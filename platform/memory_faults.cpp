#include <atomic>

#include "platform/memory.h"

namespace {

std::atomic<int> calls_left{0};  // > 0: calls until the first refused one
std::atomic<bool> refusing{false};

}  // namespace

void pages_refuse_from(int nth) {
  refusing = false;
  calls_left = nth;
}

bool pages_refused() {
  if (refusing.load(std::memory_order_relaxed)) return true;
  if (calls_left.load(std::memory_order_relaxed) <= 0) return false;
  if (calls_left.fetch_sub(1) != 1) return false;
  refusing = true;
  return true;
}
