#include "hotsync/digest_buffers.h"

#include <gtest/gtest.h>

#include <vector>

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

}  // namespace
