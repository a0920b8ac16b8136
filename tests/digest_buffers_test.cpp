#include "hotsync/digest_buffers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/thread.h"

namespace {

template <class T>
std::vector<T> with_room(size_t n) {
  std::vector<T> v;
  v.reserve(n);
  return v;
}

// What is kept is what the next reading takes, the largest first; taking
// finds the smallest that fits; anything beyond goes back to the system.
TEST(DigestBuffers, KeepTheLargestOfWhatTheNextReadingTakes) {
  digest_buffers buffers;
  for (const size_t room : {10, 30, 20}) {
    auto v = with_room<element_digest>(room);
    give_back(&buffers, &v);
    EXPECT_EQ(v.capacity(), 0u);
  }
  for (const size_t room : {5, 15, 10, 20}) {
    auto v = with_room<uint64_t>(room);
    give_back(&buffers, &v);
  }
  EXPECT_EQ(take_digests(&buffers, 31).capacity(), 0u);
  EXPECT_EQ(take_digests(&buffers, 25).capacity(), 30u);
  EXPECT_EQ(take_digests(&buffers, 1).capacity(), 0u);  // none left
  EXPECT_EQ(take_keys(&buffers, 12).capacity(), 15u);
  EXPECT_EQ(take_keys(&buffers, 12).capacity(), 20u);
  EXPECT_EQ(take_keys(&buffers, 1).capacity(), 0u);

  auto v = with_room<uint64_t>(8);
  give_back(&buffers, &v);
  release_buffers(&buffers);
  EXPECT_EQ(take_keys(&buffers, 1).capacity(), 0u);
  EXPECT_EQ(take_keys(nullptr, 1).capacity(), 0u);
  give_back(nullptr, &v);  // with no buffers, simply let go
}

// Two readings never put their digests in order at once: the second waits
// for the first's turn to end.
TEST(DigestBuffers, OneOrderingAtATime) {
  digest_buffers buffers;
  struct second_reading {
    digest_buffers* buffers;
    std::atomic<bool> ordering{false};
  } second{&buffers};
  os_thread thread;
  {
    const ordering_turn first(&buffers);
    ASSERT_EQ(thread_start(
                  &thread,
                  [](void* arg) {
                    auto* s = static_cast<second_reading*>(arg);
                    const ordering_turn turn(s->buffers);
                    s->ordering = true;
                  },
                  &second),
              0);
    thread_sleep(20);
    EXPECT_FALSE(second.ordering);
  }
  thread_join(&thread);
  EXPECT_TRUE(second.ordering);
  const ordering_turn without_buffers(nullptr);  // waits for nothing
}

}  // namespace
