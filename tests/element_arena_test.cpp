#include "model/element_arena.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/memory.h"

namespace {

// Elements outlive their arena, keep their texts whole across slabs (one too
// large for a slab takes an allocation of its own), take texts of their own
// from copy_element, and free in any order: the sanitizer build finds any
// slab freed too soon or never.
TEST(ElementArena, ElementsOutliveTheArenaAndFreeInAnyOrder) {
  element_arena* arena = element_arena_open(kElementArenaFrom);
  ASSERT_NE(arena, nullptr);
  std::vector<element*> made;
  for (uint32_t i = 0; i < 60000; ++i) {
    const std::string q(i == 777 ? (size_t{1} << 20) : i % 300, 'q');
    const std::string a = std::to_string(i);
    element* e = element_arena_new(arena, q.size(), a.size());
    ASSERT_NE(e, nullptr);
    std::memcpy(e->q, q.data(), q.size());
    std::memcpy(e->a, a.data(), a.size());
    e->id = i;
    made.push_back(e);
  }
  element_arena_close(arena);
  EXPECT_FALSE(made[777]->texts_in_block & kInSlab);
  ASSERT_EQ(copy_element(made[1], made[2]), 1);
  EXPECT_TRUE(made[1]->texts_in_block & kInSlab);
  std::shuffle(made.begin(), made.end(), std::mt19937(7));
  for (element* e : made) {
    EXPECT_EQ(std::strlen(e->q), e->id == 777 ? size_t{1} << 20 : (e->id == 1 ? 2 : e->id % 300));
    EXPECT_EQ(std::string(e->a), std::to_string(e->id == 1 ? 2 : e->id));
    free_element(e);
  }
}

// A system that stops giving blocks part way: the rest of the elements and
// copies come from the heap, whole, and everything frees in any order.
TEST(ElementArena, ElementsComeFromTheHeapOnceTheSystemGivesNoBlocks) {
  pages_refuse_from(2);
  element_arena* arena = element_arena_open(kElementArenaFrom, false);
  ASSERT_NE(arena, nullptr);
  std::vector<element*> made;
  for (uint32_t i = 0; i < 40000; ++i) {
    const std::string q(i % 300, 'q');
    element* e = element_arena_new(arena, q.size(), 0);
    ASSERT_NE(e, nullptr);
    std::memcpy(e->q, q.data(), q.size());
    e->id = i;
    made.push_back(e);
    made.push_back(element_arena_clone(arena, e));
    ASSERT_NE(made.back(), nullptr);
  }
  element_arena_close(arena);
  pages_refuse_from(0);
  EXPECT_TRUE(made.front()->texts_in_block & kInSlab);
  EXPECT_FALSE(made.back()->texts_in_block & kInSlab);
  std::shuffle(made.begin(), made.end(), std::mt19937(7));
  for (element* e : made) {
    EXPECT_EQ(std::strlen(e->q), e->id % 300);
    free_element(e);
  }
}

}  // namespace
