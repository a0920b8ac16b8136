// Room that one reading of a side lets go of, kept for the next reading of
// the same HotSync: a side's digests and the keys that put them in id order
// take tens of megabytes. Where fresh memory is dear (a page can cost 10 µs
// to fault in), taking that room anew for each of a HotSync's four readings
// cost more than ordering the digests did.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "hotsync/change_report.h"

struct digest_buffers {
  std::atomic_flag busy = ATOMIC_FLAG_INIT;      // readings run on threads of their own
  std::atomic_flag ordering = ATOMIC_FLAG_INIT;  // see ordering_turn
  std::vector<std::vector<element_digest>> digests;
  std::vector<std::vector<uint64_t>> keys;

  digest_buffers() = default;
  digest_buffers(const digest_buffers&) = delete;
  digest_buffers& operator=(const digest_buffers&) = delete;
};

// An empty vector with room for at least `size`: the smallest kept one that
// has it, else a new one with no room yet. With no buffers (null), a new one.
std::vector<element_digest> take_digests(digest_buffers* buffers, size_t size);
std::vector<uint64_t> take_keys(digest_buffers* buffers, size_t size);

// Keeps v's room for a later taker; v is left empty. Of more than one
// reading takes (one vector of digests, two of keys), the smallest goes back
// to the system, as does all with no buffers or no memory to note it.
void give_back(digest_buffers* buffers, std::vector<element_digest>* v);
void give_back(digest_buffers* buffers, std::vector<uint64_t>* v);

// While one lives, no other reading of the same buffers puts its digests in
// order: the second takes the room the first lets go of rather than fresh
// memory, and two readings ending at once do not hold it twice. With no
// buffers (null), nothing is waited for.
class ordering_turn {
 public:
  explicit ordering_turn(digest_buffers* buffers);
  ~ordering_turn();
  ordering_turn(const ordering_turn&) = delete;
  ordering_turn& operator=(const ordering_turn&) = delete;

 private:
  digest_buffers* buffers_;
};

// Gives all the room kept back to the system, once no reading is to come.
void release_buffers(digest_buffers* buffers);
