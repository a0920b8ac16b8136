#include "sync/clone_ahead.h"

#include <new>

#include "model/element_arena.h"

namespace {

constexpr unsigned char kFree = 0, kClaimed = 1, kMade = 2;

// About what a copy takes, to tell when the copies are many enough for slabs.
constexpr uint64_t kCopyBytes = 512;

bool claim(clone_ahead* ahead, size_t i) {
  unsigned char expected = kFree;
  return ahead->state[i].compare_exchange_strong(expected, kClaimed, std::memory_order_acq_rel);
}

// Many copies come from slabs of this thread's own, whose pages it takes
// itself, as this thread is the second one: where a page costs 10 µs, the
// memory of 200,000 copies from malloc took this thread longer than making
// them.
void make_copies(void* arg) {
  clone_ahead* ahead = static_cast<clone_ahead*>(arg);
  element_arena* arena = element_arena_open(ahead->sources.size() * kCopyBytes, false);
  for (size_t i = 0; i < ahead->sources.size(); ++i) {
    if (ahead->stop.load(std::memory_order_relaxed)) break;
    if (!claim(ahead, i)) continue;  // the merge came first
    ahead->made[i] = element_arena_clone(arena, ahead->sources[i]);
    ahead->state[i].store(kMade, std::memory_order_release);
  }
  element_arena_close(arena);  // the copies stay until each is freed
}

}  // namespace

void clone_ahead_start(clone_ahead* ahead, std::vector<const element*> sources) {
  ahead->sources = std::move(sources);
  ahead->taken = 0;
  if (ahead->sources.size() < kCloneAheadFrom || processor_count() < 2) return;
  try {
    ahead->made.assign(ahead->sources.size(), nullptr);
    ahead->state.reset(new std::atomic<unsigned char>[ahead->sources.size()]);
  } catch (const std::bad_alloc&) {
    ahead->made.clear();
    return;
  }
  for (size_t i = 0; i < ahead->sources.size(); ++i)
    ahead->state[i].store(kFree, std::memory_order_relaxed);
  ahead->stop = false;
  ahead->running = thread_start(&ahead->thread, make_copies, ahead) == 0;
}

// How many copies ahead of the one taken the merge asks for a copy made: the
// copy lies in the second processor's cache, and a read of it waits for it
// to come across.
constexpr size_t kFetchAhead = 8;

element* clone_ahead_take(clone_ahead* ahead, const element* source) {
  const size_t i = ahead->taken++;
  if (!ahead->running || i >= ahead->sources.size() || ahead->sources[i] != source)
    return clone_element(source);
  const size_t next = i + kFetchAhead;
  if (next < ahead->sources.size() && ahead->state[next].load(std::memory_order_acquire) == kMade)
    __builtin_prefetch(ahead->made[next]);
  if (claim(ahead, i)) {
    ahead->state[i].store(kMade, std::memory_order_relaxed);
    return clone_element(source);
  }
  // The second thread has begun this one: a copy's time as a rule. Held up
  // longer (a page fault, another process on its processor), it is not
  // waited for: this thread makes its own copy, and the second thread's is
  // freed with those not taken.
  for (unsigned looks = 0; looks < 128; ++looks) {
    if (ahead->state[i].load(std::memory_order_acquire) == kMade) {
      element* copy = ahead->made[i];
      ahead->made[i] = nullptr;
      return copy;
    }
    if (looks >= 64) thread_yield();
  }
  return clone_element(source);
}

void clone_ahead_finish(clone_ahead* ahead) {
  if (ahead->running) {
    ahead->stop = true;
    thread_join(&ahead->thread);
    ahead->running = false;
    for (element*& copy : ahead->made) {
      if (copy) free_element_nodes(copy);
      copy = nullptr;
    }
  }
  ahead->made.clear();
  ahead->state.reset();
  ahead->sources.clear();
}
