#include "platform/memory.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// A block is zeroed, writable to its last byte, aligned as the platform
// promises (huge page boundaries where it has them), and goes back.
TEST(Pages, BlocksAreZeroedAlignedAndGoBack) {
  for (int round = 0; round < 3; ++round) {
    const size_t bytes = 2 * kPagesBlock;
    auto* block = static_cast<unsigned char*>(pages_take(bytes));
    ASSERT_NE(block, nullptr);
#ifdef __linux__
    EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % kPagesBlock, 0u);
#endif
    for (size_t at = 0; at < bytes; at += 4096)
      ASSERT_EQ(block[at], 0) << at;
    block[0] = 1;
    block[bytes - 1] = 1;
    pages_give_back(block, bytes);
  }
}

}  // namespace
