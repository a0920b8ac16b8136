// Copies of elements made ahead of the merge, on a second thread.
//
// A copy takes fresh memory, and where a fresh page is dear (10 µs on some
// machines) the memory of 200,000 copies costs as much as the rest of a merge
// of 1,000,000 + 1,000,000 elements. So the copies a merge will make are made
// on a second core while the merge does the rest, in the order it takes them.
// The merge still makes any copy the second thread has not begun yet itself
// (whichever thread claims a copy first makes it), and one the second thread
// is held up in: the merge never waits for more than a moment.
//
// The memory of the elements the merge deletes is at hand, its pages long
// taken: the second thread makes copies in their places where they fit
// ("donors"), rather than in fresh pages, and the merge leaves them to it
// rather than freeing them.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

#include "model/element_db.h"
#include "platform/thread.h"

// What the merge needs of a copy besides the copy: read from the copy itself,
// they would come from the second processor's cache one copy at a time.
struct copy_facts {
  uint16_t ctgr;
  uint16_t tm_t_rpt;
};

// The two threads share little but two counters, each on a line of its own:
// a flag per copy, read and set by both, bounced its line between the two
// processors at every copy.
struct clone_ahead {
  std::vector<const element*> sources;  // what is copied, in the order the copies are taken
  std::vector<element*> made;           // by place in sources: the second thread's copies
  std::vector<copy_facts> facts;        // by place in sources, beside made
  std::vector<bool> abandoned;          // places whose copy the merge made itself after all
  size_t taken = 0;
  size_t made_seen = 0;  // made_upto when the merge last looked
  // Places below it are claimed, by the second thread or (one at a time, when
  // it comes to a place first) by the merge.
  alignas(64) std::atomic<size_t> next_claim{0};
  // Every place below it that the second thread claimed has its copy.
  alignas(64) std::atomic<size_t> made_upto{0};
  std::atomic<bool> stop{false};
  bool running = false;
  os_thread thread;
  // Elements being deleted whose places copies may take: the first
  // `donors_early` from the start, the rest once donors_late_given is set.
  // The second thread sets the ones it takes to null; the rest given are
  // freed at the finish.
  std::vector<element*> donors;
  size_t donors_early = 0;
  alignas(64) std::atomic<bool> donors_late_given{false};
};

// Fewer copies than this are made by the merge alone: a thread costs more
// than it saves there.
constexpr size_t kCloneAheadFrom = 4096;

// Starts making copies of sources, which must not change nor be freed until
// clone_ahead_finish. With few sources, without the memory to keep track or
// without a second thread, nothing starts and every copy is made when taken.
// Donors, the first `early` of them free to take at once: only while it
// runs do they go to the second thread (true); otherwise they stay the
// caller's, to free itself.
bool clone_ahead_start(clone_ahead* ahead, std::vector<const element*> sources,
                       std::vector<element*> donors = {}, size_t early = 0);
// The donors after the early ones are the second thread's now: nothing else
// reads them again.
void clone_ahead_give_late_donors(clone_ahead* ahead);
// The next copy (of the next source, as clone_element makes it), with its
// category and tm_t_rpt in *facts; null when the memory for it could not be
// had.
element* clone_ahead_take(clone_ahead* ahead, const element* source, copy_facts* facts);
// Stops the second thread and frees the copies made and not taken, and the
// donors given and not taken.
void clone_ahead_finish(clone_ahead* ahead);
