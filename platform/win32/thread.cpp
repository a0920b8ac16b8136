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
  // The thread calls no C runtime function that keeps per-thread state, so
  // CreateThread is enough.
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
