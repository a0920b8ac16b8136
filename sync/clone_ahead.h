// Copies of elements made ahead of the merge, on a second thread.
//
// A copy takes fresh memory, and where a fresh page is dear (10 µs on some
// machines) the memory of 200,000 copies costs as much as the rest of a merge
// of 1,000,000 + 1,000,000 elements. So the copies a merge will make are made
// on a second core while the merge does the rest, in the order it takes them.
// The merge still makes any copy the second thread has not begun yet itself
// (whichever thread claims a copy first makes it), and one the second thread
// is held up in: the merge never waits for more than a moment.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

#include "model/element_db.h"
#include "platform/thread.h"

struct clone_ahead {
  std::vector<const element*> sources;  // what is copied, in the order the copies are taken
  std::vector<element*> made;           // by place in sources; null once taken
  std::unique_ptr<std::atomic<unsigned char>[]> state;  // kFree, kClaimed, kMade
  size_t taken = 0;
  std::atomic<bool> stop{false};
  bool running = false;
  os_thread thread;
};

// Fewer copies than this are made by the merge alone: a thread costs more
// than it saves there.
constexpr size_t kCloneAheadFrom = 4096;

// Starts making copies of sources, which must not change nor be freed until
// clone_ahead_finish. With few sources, without the memory to keep track or
// without a second thread, nothing starts and every copy is made when taken.
void clone_ahead_start(clone_ahead* ahead, std::vector<const element*> sources);
// The next copy (of the next source, as clone_element makes it), or null
// when the memory for it could not be had.
element* clone_ahead_take(clone_ahead* ahead, const element* source);
// Stops the second thread and frees the copies made and not taken.
void clone_ahead_finish(clone_ahead* ahead);
