#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>
#include <unistd.h>

static_assert(sizeof(pthread_t) <= sizeof(uintptr_t), "a pthread_t is kept in a uintptr_t");

namespace {

void* thread_entry(void* param) {
  os_thread* t = static_cast<os_thread*>(param);
  t->run(t->arg);
  return nullptr;
}

}  // namespace

int thread_start(os_thread* t, void (*run)(void* arg), void* arg) {
  t->run = run;
  t->arg = arg;
  pthread_t id;
  const int error = pthread_create(&id, nullptr, thread_entry, t);
  if (error == 0) t->handle = static_cast<uintptr_t>(id);
  return error;
}

void thread_join(os_thread* t) {
  pthread_join(static_cast<pthread_t>(t->handle), nullptr);
}

void thread_sleep(uint32_t ms) {
  timespec pause{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&pause, &pause) != 0) {
  }
}

void thread_yield() {
  sched_yield();
}

unsigned processor_count() {
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) == 0 && CPU_COUNT(&allowed) > 0)
    return static_cast<unsigned>(CPU_COUNT(&allowed));
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1;
}
