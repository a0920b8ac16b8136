#include "sync/clone_ahead.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "model/element_db.h"

namespace {

// Copies taken are the sources' own, whichever thread made them (from the
// heap, or from slabs for many), for a merge that takes them all and for one
// that stops halfway (the rest are freed: the sanitizer build finds any left).
void copies_taken_match(uint32_t count) {
  std::vector<element*> elements;
  std::vector<const element*> sources;
  for (uint32_t i = 0; i < count; ++i) {
    const std::string q = "q" + std::to_string(i), a = "answer " + std::to_string(i);
    element* e = new_element_with_room(q.size(), a.size());
    std::memcpy(e->q, q.data(), q.size());
    std::memcpy(e->a, a.data(), a.size());
    e->id = i + 1;
    e->rp = static_cast<uint16_t>(i);
    e->ctgr = static_cast<uint16_t>(i % 7);
    e->tm_t_rpt = static_cast<uint16_t>(i * 31);
    elements.push_back(e);
    sources.push_back(e);
  }
  for (size_t taken : {sources.size(), sources.size() / 2}) {
    clone_ahead ahead;
    clone_ahead_start(&ahead, sources);
    for (size_t i = 0; i < taken; ++i) {
      copy_facts facts{};
      element* copy = clone_ahead_take(&ahead, sources[i], &facts);
      ASSERT_NE(copy, nullptr);
      EXPECT_EQ(facts.ctgr, sources[i]->ctgr);
      EXPECT_EQ(facts.tm_t_rpt, sources[i]->tm_t_rpt);
      EXPECT_NE(copy, sources[i]);
      EXPECT_EQ(copy->id, sources[i]->id);
      EXPECT_EQ(copy->rp, sources[i]->rp);
      EXPECT_EQ(copy->ctgr, sources[i]->ctgr);
      EXPECT_STREQ(copy->q, sources[i]->q);
      EXPECT_STREQ(copy->a, sources[i]->a);
      free_element_nodes(copy);
    }
    clone_ahead_finish(&ahead);
  }
  for (element* e : elements)
    free_element_nodes(e);
}

TEST(CloneAhead, CopiesTakenMatchTheirSourcesAndTheRestAreFreed) {
  for (const uint32_t count : {2 * uint32_t{kCloneAheadFrom}, uint32_t{100000}}) {
    SCOPED_TRACE(count);
    copies_taken_match(count);
  }
}

}  // namespace
