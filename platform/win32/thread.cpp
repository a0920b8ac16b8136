#include "platform/thread.h"

#include <windows.h>

namespace {

DWORD WINAPI thread_entry(LPVOID param) {
  os_thread* t = static_cast<os_thread*>(param);
  t->run(t->arg);
  return 0;
}

}  // namespace

int thread_start(os_thread* t, void (*run)(void* arg), void* arg) {
  t->run = run;
  t->arg = arg;
  // The C runtime is the DLL (msvcrt), which sets up and frees its per-thread
  // state (malloc's too) as threads come and go, so CreateThread is enough.
  HANDLE h = CreateThread(nullptr, 0, thread_entry, t, 0, nullptr);
  if (!h) return static_cast<int>(GetLastError());
  t->handle = reinterpret_cast<uintptr_t>(h);
  return 0;
}

void thread_join(os_thread* t) {
  HANDLE h = reinterpret_cast<HANDLE>(t->handle);
  WaitForSingleObject(h, INFINITE);
  CloseHandle(h);
}

void thread_sleep(uint32_t ms) {
  Sleep(ms);
}

void thread_yield() {
  SwitchToThread();
}

unsigned processor_count() {
  DWORD_PTR process_mask = 0, system_mask = 0;
  unsigned count = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask)) {
    for (; process_mask; process_mask &= process_mask - 1)
      ++count;
  }
  return count > 0 ? count : 1;
}
