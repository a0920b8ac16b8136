#include "hotsync/digest_buffers.h"

#include <algorithm>
#include <new>
#include <utility>

#include "platform/thread.h"

namespace {

// Held only to move a vector in or out of the lists.
class held {
 public:
  explicit held(std::atomic_flag* busy) : busy_(busy) {
    while (busy_->test_and_set(std::memory_order_acquire))
      thread_yield();
  }
  ~held() { busy_->clear(std::memory_order_release); }
  held(const held&) = delete;
  held& operator=(const held&) = delete;

 private:
  std::atomic_flag* busy_;
};

template <class T>
std::vector<T> take(digest_buffers* buffers, std::vector<std::vector<T>>* kept, size_t size) {
  std::vector<T> taken;
  const held lock(&buffers->busy);
  size_t best = kept->size();
  for (size_t k = 0; k < kept->size(); ++k) {
    const size_t room = (*kept)[k].capacity();
    if (room >= size && (best == kept->size() || room < (*kept)[best].capacity())) best = k;
  }
  if (best < kept->size()) {
    taken.swap((*kept)[best]);
    (*kept)[best].swap(kept->back());
    kept->pop_back();
  }
  return taken;
}

// At most `most` kept, the largest: as many as the next reading takes (one
// for its digests, whose ordering finds its second in the reading before,
// or two for its keys). Two readings ending at once leave more, which kept
// would be held through the conduit's largest need of memory for nothing.
template <class T>
void keep(digest_buffers* buffers, std::vector<std::vector<T>>* kept, size_t most,
          std::vector<T>* v) {
  v->clear();
  if (v->capacity() == 0) return;
  const held lock(&buffers->busy);
  try {
    kept->emplace_back();
    kept->back().swap(*v);
  } catch (const std::bad_alloc&) {
    return;  // then it goes back to the system
  }
  if (kept->size() > most) {
    auto smallest = std::min_element(kept->begin(), kept->end(),
                                     [](const std::vector<T>& x, const std::vector<T>& y) {
                                       return x.capacity() < y.capacity();
                                     });
    v->swap(*smallest);  // for the caller to let go of, outside the lock
    smallest->swap(kept->back());
    kept->pop_back();
  }
}

}  // namespace

std::vector<element_digest> take_digests(digest_buffers* buffers, size_t size) {
  return buffers ? take(buffers, &buffers->digests, size) : std::vector<element_digest>();
}

std::vector<uint64_t> take_keys(digest_buffers* buffers, size_t size) {
  return buffers ? take(buffers, &buffers->keys, size) : std::vector<uint64_t>();
}

void give_back(digest_buffers* buffers, std::vector<element_digest>* v) {
  if (buffers) keep(buffers, &buffers->digests, 1, v);
  std::vector<element_digest>().swap(*v);
}

void give_back(digest_buffers* buffers, std::vector<uint64_t>* v) {
  if (buffers) keep(buffers, &buffers->keys, 2, v);
  std::vector<uint64_t>().swap(*v);
}

ordering_turn::ordering_turn(digest_buffers* buffers) : buffers_(buffers) {
  // An ordering takes tens of milliseconds: the wait sleeps.
  while (buffers_ && buffers_->ordering.test_and_set(std::memory_order_acquire))
    thread_sleep(1);
}

ordering_turn::~ordering_turn() {
  if (buffers_) buffers_->ordering.clear(std::memory_order_release);
}

void release_buffers(digest_buffers* buffers) {
  const held lock(&buffers->busy);
  std::vector<std::vector<element_digest>>().swap(buffers->digests);
  std::vector<std::vector<uint64_t>>().swap(buffers->keys);
}
