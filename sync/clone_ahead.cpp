#include "sync/clone_ahead.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "model/element_arena.h"

namespace {

constexpr size_t kSourceAhead = 12, kTextsAhead = 6;

// About what a copy takes, to tell when the copies are many enough for slabs.
constexpr uint64_t kCopyBytes = 512;

// Donors by their room for texts, in steps of 8 bytes; the last shelf holds
// every larger one. A copy takes a donor from the first shelf up that has one,
// at most kShelvesUp shelves up (the rest of a place is given up with it).
constexpr size_t kShelfStep = 8, kShelves = 512, kShelvesUp = 32;

struct donor_shelves {
  std::vector<std::vector<uint32_t>> by_room;  // places in ahead->donors
  bool usable = false;
};

// Shelves donors [from, to), reading each one's room: elements all over
// memory, each asked for some places ahead, and its answer after it.
void shelve(const clone_ahead& ahead, size_t from, size_t to, donor_shelves* shelves) {
  constexpr size_t kElementAhead = 16, kAnswerAhead = 8;
  try {
    shelves->by_room.resize(kShelves);
    for (size_t i = from; i < to; ++i) {
      if (i + kElementAhead < to) __builtin_prefetch(ahead.donors[i + kElementAhead]);
      if (i + kAnswerAhead < to) __builtin_prefetch(ahead.donors[i + kAnswerAhead]->a);
      const size_t room = element_arena_room(ahead.donors[i]);
      if (room == 0) continue;
      shelves->by_room[std::min(room / kShelfStep, kShelves - 1)].push_back(
          static_cast<uint32_t>(i));
    }
    shelves->usable = true;
  } catch (const std::bad_alloc&) {
    // Those shelved may still be taken; the rest are freed at the finish.
  }
}

// A donor with room for `texts` bytes, taken off its shelf; null for none.
element* take_donor(clone_ahead* ahead, donor_shelves* shelves, size_t texts) {
  if (!shelves->usable) return nullptr;
  const size_t first = (texts + kShelfStep - 1) / kShelfStep;
  if (first >= kShelves - 1) return nullptr;  // the last shelf's rooms are not known
  for (size_t shelf = first; shelf <= std::min(first + kShelvesUp, kShelves - 2); ++shelf) {
    std::vector<uint32_t>& on = shelves->by_room[shelf];
    if (on.empty()) continue;
    element* donor = ahead->donors[on.back()];
    ahead->donors[on.back()] = nullptr;
    on.pop_back();
    return donor;
  }
  return nullptr;
}

element* make_copy(clone_ahead* ahead, element_arena* arena, donor_shelves* shelves,
                   const element* source) {
  const size_t q_length = std::strlen(source->q ? source->q : "");
  const size_t a_length = std::strlen(source->a ? source->a : "");
  element* donor = take_donor(ahead, shelves, q_length + 1 + a_length + 1);
  if (donor) return element_arena_clone_into(donor, source, q_length, a_length);
  return element_arena_clone(arena, source);
}

// Many copies come from slabs of this thread's own, whose pages it takes
// itself, as this thread is the second one: where a page costs 10 µs, the
// memory of 200,000 copies from malloc took this thread longer than making
// them. Most go where donors were, where there are any.
void make_copies(void* arg) {
  clone_ahead* ahead = static_cast<clone_ahead*>(arg);
  element_arena* arena = element_arena_open(ahead->sources.size() * kCopyBytes, false);
  const size_t count = ahead->sources.size();
  donor_shelves shelves;
  shelve(*ahead, 0, ahead->donors_early, &shelves);
  bool late_shelved = ahead->donors.size() == ahead->donors_early;
  while (!ahead->stop.load(std::memory_order_relaxed)) {
    if (!late_shelved && ahead->donors_late_given.load(std::memory_order_acquire)) {
      shelve(*ahead, ahead->donors_early, ahead->donors.size(), &shelves);
      late_shelved = true;
    }
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
    element* copy = make_copy(ahead, arena, &shelves, ahead->sources[i]);
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

bool clone_ahead_start(clone_ahead* ahead, std::vector<const element*> sources,
                       std::vector<element*> donors, size_t early) {
  ahead->sources = std::move(sources);
  ahead->taken = 0;
  ahead->made_seen = 0;
  if (ahead->sources.size() < kCloneAheadFrom || processor_count() < 2) return false;
  try {
    ahead->made.assign(ahead->sources.size(), nullptr);
    ahead->facts.resize(ahead->sources.size());
    ahead->abandoned.assign(ahead->sources.size(), false);
  } catch (const std::bad_alloc&) {
    ahead->made.clear();
    return false;
  }
  ahead->donors = std::move(donors);
  ahead->donors_early = std::min(early, ahead->donors.size());
  ahead->donors_late_given = false;
  ahead->next_claim = 0;
  ahead->made_upto = 0;
  ahead->stop = false;
  ahead->running = thread_start(&ahead->thread, make_copies, ahead) == 0;
  if (!ahead->running) ahead->donors.clear();
  return ahead->running;
}

void clone_ahead_give_late_donors(clone_ahead* ahead) {
  if (ahead->running) ahead->donors_late_given.store(true, std::memory_order_release);
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
    const size_t given = ahead->donors_late_given ? ahead->donors.size() : ahead->donors_early;
    for (size_t i = 0; i < given; ++i) {
      if (ahead->donors[i]) free_element(ahead->donors[i]);
    }
  }
  ahead->made.clear();
  ahead->facts.clear();
  ahead->abandoned.clear();
  ahead->sources.clear();
  ahead->donors.clear();
}
