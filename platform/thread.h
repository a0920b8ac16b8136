// A second thread of the process, for work that runs beside the caller's, such
// as handing a full buffer to the disk while the next one fills.
#pragma once

#include <cstdint>

struct os_thread {
  void (*run)(void* arg);
  void* arg;
  uintptr_t handle;  // the system's, valid between a start and its join
};

// Starts run(arg) in a new thread. t must stay in place until thread_join.
// Returns 0 or the system's error number; on failure nothing runs.
int thread_start(os_thread* t, void (*run)(void* arg), void* arg);
// Waits for a started thread to finish and lets it go.
void thread_join(os_thread* t);
// Lets the calling thread sleep for about ms milliseconds.
void thread_sleep(uint32_t ms);
// Lets another thread that is ready run first.
void thread_yield();
// How many processors the process can run on at once (at least 1).
unsigned processor_count();
