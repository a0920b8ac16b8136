#include "platform/memory.h"

#include <windows.h>

// Windows gives large pages only to a process holding a privilege users do
// not have: small ones, on its own 64 KiB boundaries.
bool huge_pages_pay() {
  return false;
}

void* pages_take(size_t bytes) {
  if (pages_refused()) return nullptr;
  return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void pages_give_back(void* block, size_t bytes) {
  (void)bytes;
  if (block) VirtualFree(block, 0, MEM_RELEASE);
}
