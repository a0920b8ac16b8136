#include "sync/clone_ahead.h"

#include <new>

#include "model/element_arena.h"

namespace {

constexpr size_t kSourceAhead = 12, kTextsAhead = 6;

// About what a copy takes, to tell when the copies are many enough for slabs.
constexpr uint64_t kCopyBytes = 512;

// Many copies come from slabs of this thread's own, whose pages it takes
// itself, as this thread is the second one: where a page costs 10 µs, the
// memory of 200,000 copies from malloc took this thread longer than making
// them.
void make_copies(void* arg) {
  clone_ahead* ahead = static_cast<clone_ahead*>(arg);
  element_arena* arena = element_arena_open(ahead->sources.size() * kCopyBytes, false);
  const size_t count = ahead->sources.size();
  while (!ahead->stop.load(std::memory_order_relaxed)) {
    const size_t i = ahead->next_claim.fetch_add(1, std::memory_order_acq_rel);
    if (i >= count) break;
    // The sources lie all over memory: each is asked for a few copies ahead,
    // and its texts once it is here.
    if (i + kSourceAhead < count) __builtin_prefetch(ahead->sources[i + kSourceAhead]);
    if (i + kTextsAhead < count) {
      const element* next = ahead->sources[i + kTextsAhead];
      __builtin_prefetch(next->q);
      __builtin_prefetch(next->a);
    }
    element* copy = element_arena_clone(arena, ahead->sources[i]);
    ahead->made[i] = copy;
    if (copy) ahead->facts[i] = copy_facts{copy->ctgr, copy->tm_t_rpt};
    ahead->made_upto.store(i + 1, std::memory_order_release);
  }
  element_arena_close(arena);  // the copies stay until each is freed
}

element* made_here(const element* source, copy_facts* facts) {
  element* copy = clone_element(source);
  if (copy) *facts = copy_facts{copy->ctgr, copy->tm_t_rpt};
  return copy;
}

}  // namespace

void clone_ahead_start(clone_ahead* ahead, std::vector<const element*> sources) {
  ahead->sources = std::move(sources);
  ahead->taken = 0;
  ahead->made_seen = 0;
  if (ahead->sources.size() < kCloneAheadFrom || processor_count() < 2) return;
  try {
    ahead->made.assign(ahead->sources.size(), nullptr);
    ahead->facts.resize(ahead->sources.size());
    ahead->abandoned.assign(ahead->sources.size(), false);
  } catch (const std::bad_alloc&) {
    ahead->made.clear();
    return;
  }
  ahead->next_claim = 0;
  ahead->made_upto = 0;
  ahead->stop = false;
  ahead->running = thread_start(&ahead->thread, make_copies, ahead) == 0;
}

element* clone_ahead_take(clone_ahead* ahead, const element* source, copy_facts* facts) {
  const size_t i = ahead->taken++;
  if (!ahead->running || i >= ahead->sources.size()) return made_here(source, facts);
  if (ahead->sources[i] != source) {
    ahead->abandoned[i] = true;
    return made_here(source, facts);
  }
  if (i >= ahead->made_seen) {
    // The second thread has not come this far: the place is claimed here.
    size_t next = ahead->next_claim.load(std::memory_order_acquire);
    while (next <= i) {
      if (ahead->next_claim.compare_exchange_weak(next, i + 1, std::memory_order_acq_rel))
        return made_here(source, facts);
    }
    // The second thread has begun this one: a copy's time as a rule. Held up
    // longer (a page fault, another process on its processor), it is not
    // waited for: this thread makes its own copy, and the second thread's is
    // freed with those not taken.
    for (unsigned looks = 0;
         (ahead->made_seen = ahead->made_upto.load(std::memory_order_acquire)) <= i; ++looks) {
      if (looks >= 128) {
        ahead->abandoned[i] = true;
        return made_here(source, facts);
      }
      if (looks >= 64) thread_yield();
    }
  }
  *facts = ahead->facts[i];
  return ahead->made[i];
}

void clone_ahead_finish(clone_ahead* ahead) {
  if (ahead->running) {
    ahead->stop = true;
    thread_join(&ahead->thread);
    ahead->running = false;
    for (size_t i = 0; i < ahead->made.size(); ++i) {
      if (ahead->made[i] && (i >= ahead->taken || ahead->abandoned[i]))
        free_element_nodes(ahead->made[i]);
    }
  }
  ahead->made.clear();
  ahead->facts.clear();
  ahead->abandoned.clear();
  ahead->sources.clear();
}
