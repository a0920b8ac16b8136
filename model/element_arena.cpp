#include "model/element_arena.h"

#include <atomic>
#include <cstring>
#include <new>

#include "platform/memory.h"
#include "platform/thread.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define QV_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define QV_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define QV_POISON(p, n) ((void)(p), (void)(n))
#define QV_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace {

constexpr size_t kSlabBytes = 2 * kPagesBlock;
constexpr size_t kPage = 4096;
constexpr size_t kReadyAhead = 2;  // slabs the second thread keeps ready
// An element larger than this takes an allocation of its own.
constexpr size_t kLargestInSlab = kSlabBytes / 8;

// What the arena holds of a slab while it fills it, in the live count: the
// count reaches 0 only once the arena has left the slab and every element
// taken from it is freed.
constexpr uint64_t kArenaHold = uint64_t{1} << 48;

// At the start of each slab; its size keeps the elements after it 8-byte
// aligned.
struct slab {
  std::atomic<uint64_t> live;
};
static_assert(sizeof(slab) % 8 == 0, "elements follow the header");

// Each element is preceded by its slab, for free_element to find.
struct alignas(8) element_prefix {
  slab* home;
};

size_t round_up(size_t n, size_t to) {
  return (n + to - 1) / to * to;
}

// The texts of an element of a slab, each with its end, right after it.
void lay_out_texts(element* e, size_t q_length, size_t a_length) {
  e->q = reinterpret_cast<char*>(e + 1);
  e->a = e->q + q_length + 1;
  e->q[q_length] = '\0';
  e->a[a_length] = '\0';
  e->texts_in_block = kQuestionInBlock | kAnswerInBlock | kInSlab;
}

// src's id, values and texts (of these lengths) into e, its texts laid out.
void copy_from(element* e, const element* src, size_t q_length, size_t a_length) {
  std::memcpy(e->q, src->q ? src->q : "", q_length);
  std::memcpy(e->a, src->a ? src->a : "", a_length);
  e->id = src->id;
  std::memcpy(&e->tm_t_rpt, &src->tm_t_rpt, kElementValuesSize);
}

}  // namespace

struct element_arena {
  slab* current = nullptr;
  char* next = nullptr;
  char* end = nullptr;
  uint64_t made_here = 0;  // elements taken from current
  // Slabs with their pages taken, from the second thread.
  slab* ready[kReadyAhead] = {};
  std::atomic<uint64_t> readied{0}, taken{0};
  std::atomic<bool> stop{false};
  bool running = false;
  bool no_slabs = false;  // the system gave none: elements come from the heap
  os_thread thread;
};

namespace {

// Slabs come from the system in whole blocks (platform/memory.h), not from
// malloc: where it gives huge pages, a slab is two of them.
slab* new_slab() {
  return static_cast<slab*>(pages_take(kSlabBytes));
}

void free_slab(slab* s) {
  pages_give_back(s, kSlabBytes);
}

void release_slab(slab* s, uint64_t count) {
  if (s->live.fetch_sub(count, std::memory_order_acq_rel) == count) free_slab(s);
}

// Takes each page of the slab now, so that the reader does not wait for it.
void touch_pages(slab* s) {
  volatile char* p = reinterpret_cast<volatile char*>(s);
  for (size_t at = 0; at < kSlabBytes; at += kPage)
    p[at] = 0;
}

void make_slabs_ready(void* arg) {
  element_arena* arena = static_cast<element_arena*>(arg);
  for (;;) {
    const uint64_t readied = arena->readied.load(std::memory_order_relaxed);
    while (readied - arena->taken.load(std::memory_order_acquire) >= kReadyAhead) {
      if (arena->stop.load(std::memory_order_acquire)) return;
      thread_sleep(1);
    }
    if (arena->stop.load(std::memory_order_acquire)) return;
    slab* s = new_slab();
    if (!s) return;  // the reader takes its own, or finds no memory either
    touch_pages(s);
    arena->ready[readied % kReadyAhead] = s;
    arena->readied.store(readied + 1, std::memory_order_release);
  }
}

// Leaves the current slab for a new one; false without the memory.
bool next_slab(element_arena* arena) {
  slab* s = nullptr;
  const uint64_t taken = arena->taken.load(std::memory_order_relaxed);
  if (arena->running && taken < arena->readied.load(std::memory_order_acquire)) {
    s = arena->ready[taken % kReadyAhead];
    arena->taken.store(taken + 1, std::memory_order_release);
  } else {
    s = new_slab();
    if (!s) return false;
  }
  if (arena->current) release_slab(arena->current, kArenaHold - arena->made_here);
  new (s) slab;
  s->live.store(kArenaHold, std::memory_order_relaxed);
  arena->current = s;
  arena->next = reinterpret_cast<char*>(s) + sizeof(slab);
  arena->end = reinterpret_cast<char*>(s) + kSlabBytes;
  arena->made_here = 0;
  QV_POISON(arena->next, static_cast<size_t>(arena->end - arena->next));
  return true;
}

}  // namespace

element_arena* element_arena_open(uint64_t bytes, bool pages_ahead) {
  if (bytes < kElementArenaFrom) return nullptr;
  element_arena* arena = new (std::nothrow) element_arena;
  if (!arena) return nullptr;
  if (pages_ahead && processor_count() >= 2)
    arena->running = thread_start(&arena->thread, make_slabs_ready, arena) == 0;
  return arena;
}

element* element_arena_new(element_arena* arena, size_t q_length, size_t a_length) {
  const size_t texts = q_length + 1 + a_length + 1;
  if (!arena || arena->no_slabs || q_length > kLargestInSlab || a_length > kLargestInSlab ||
      texts > kLargestInSlab)
    return new_element_with_room(q_length, a_length);
  const size_t bytes = round_up(sizeof(element_prefix) + sizeof(element) + texts, 8);
  if ((!arena->current || static_cast<size_t>(arena->end - arena->next) < bytes) &&
      !next_slab(arena)) {
    // The heap may still have room where the system gives no whole blocks.
    arena->no_slabs = true;
    return new_element_with_room(q_length, a_length);
  }
  char* block = arena->next;
  arena->next += bytes;
  arena->made_here += 1;
  QV_UNPOISON(block, bytes);
  reinterpret_cast<element_prefix*>(block)->home = arena->current;
  element* e = reinterpret_cast<element*>(block + sizeof(element_prefix));
  std::memset(e, 0, sizeof(element));
  lay_out_texts(e, q_length, a_length);
  return e;
}

element* element_arena_clone(element_arena* arena, const element* src) {
  const size_t q_length = std::strlen(src->q ? src->q : "");
  const size_t a_length = std::strlen(src->a ? src->a : "");
  element* e = element_arena_new(arena, q_length, a_length);
  if (e) copy_from(e, src, q_length, a_length);
  return e;
}

size_t element_arena_room(const element* e) {
  constexpr uint8_t kWhole = kQuestionInBlock | kAnswerInBlock | kInSlab;
  if ((e->texts_in_block & kWhole) != kWhole) return 0;
  // As element_arena_new laid it out: the question right after the element,
  // the answer right after the question, the block rounded up after both.
  const size_t texts = static_cast<size_t>(e->a - e->q) + std::strlen(e->a) + 1;
  return round_up(sizeof(element_prefix) + sizeof(element) + texts, 8) - sizeof(element_prefix) -
         sizeof(element);
}

element* element_arena_clone_into(element* place, const element* src, size_t q_length,
                                  size_t a_length) {
  place->next = nullptr;
  lay_out_texts(place, q_length, a_length);
  copy_from(place, src, q_length, a_length);
  return place;
}

void element_arena_close(element_arena* arena) {
  if (!arena) return;
  if (arena->running) {
    arena->stop.store(true, std::memory_order_release);
    thread_join(&arena->thread);
    for (uint64_t i = arena->taken; i < arena->readied; ++i)
      free_slab(arena->ready[i % kReadyAhead]);
  }
  if (arena->current) release_slab(arena->current, kArenaHold - arena->made_here);
  delete arena;
}

void element_arena_free(element* e) {
  element_prefix* prefix =
      reinterpret_cast<element_prefix*>(reinterpret_cast<char*>(e) - sizeof(element_prefix));
  slab* home = prefix->home;
  QV_POISON(prefix, sizeof(element_prefix) + sizeof(element));
  release_slab(home, 1);
}
