#include "model/element_db.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "model/databases.h"
#include "tests/test_support.h"

namespace {

class InsertElement : public ::testing::Test {
 protected:
  void SetUp() override { insert_element(&db->head, nullptr); }

  // Inserts one element per key, ids counting from 1 in insertion order.
  void insert_keys(std::vector<uint16_t> keys) {
    for (uint16_t k : keys)
      add_element(db.get(), ++next_id, k, "", "");
  }

  test_db db;
  uint32_t next_id = 0;
};

TEST_F(InsertElement, EqualKeysSecondGoesFirstWhenListHoldsOne) {
  insert_keys({5, 5});
  EXPECT_EQ(ids_of(db.get()), "2 1");
  insert_keys({5});
  EXPECT_EQ(ids_of(db.get()), "2 1 3");
}

TEST_F(InsertElement, EqualKeysKeepInsertionOrderInLongerLists) {
  insert_keys({3, 7, 7});
  EXPECT_EQ(keys_of(db->head), "3 7 7");
  EXPECT_EQ(ids_of(db.get()), "1 2 3");
}

TEST_F(InsertElement, AscendingInputIsReproducedButFirstEqualPairSwaps) {
  insert_keys({1, 2, 2, 3, 9, 9, 12});
  EXPECT_EQ(ids_of(db.get()), "1 2 3 4 5 6 7");

  test_db other;
  insert_element(&other->head, nullptr);
  for (uint32_t id = 1; id <= 4; ++id)
    add_element(other.get(), id, id <= 2 ? 4 : 8, "", "");
  EXPECT_EQ(ids_of(other.get()), "2 1 3 4");
}

TEST_F(InsertElement, SmallerThanHeadBecomesHeadAndLeavesHint) {
  insert_keys({10, 20, 30});
  element* hint = insert_hint;
  ASSERT_NE(hint, nullptr);
  insert_keys({5});
  EXPECT_EQ(keys_of(db->head), "5 10 20 30");
  EXPECT_EQ(insert_hint, hint);
}

TEST_F(InsertElement, HintAboveTheKeyIsIgnored) {
  insert_keys({10, 20, 30, 40});
  ASSERT_EQ(insert_hint->tm_t_rpt, 30);  // placed 40 after 30
  insert_keys({15});
  EXPECT_EQ(keys_of(db->head), "10 15 20 30 40");
  EXPECT_EQ(insert_hint->tm_t_rpt, 10);
}

TEST_F(InsertElement, UnsortedInputComesOutSorted) {
  insert_keys({50, 10, 40, 40, 0, 65535, 20, 10, 30});
  EXPECT_EQ(keys_of(db->head), "0 10 10 20 30 40 40 50 65535");
}

TEST_F(InsertElement, NullOnlyResetsTheHint) {
  insert_keys({1, 2, 3});
  ASSERT_NE(insert_hint, nullptr);
  element* head = db->head;
  insert_element(&db->head, nullptr);
  EXPECT_EQ(insert_hint, nullptr);
  EXPECT_EQ(db->head, head);
}

TEST(DeleteElement, HeadAndLastUnlinkAndResetHint) {
  test_db db;
  insert_element(&db->head, nullptr);
  for (uint32_t id = 1; id <= 4; ++id)
    add_element(db.get(), id, static_cast<uint16_t>(id), "q", "a");
  find_or_add_ctgr(db.get(), "one");
  ASSERT_NE(insert_hint, nullptr);

  delete_element(db.get(), db->head);
  EXPECT_EQ(ids_of(db.get()), "2 3 4");
  EXPECT_EQ(insert_hint, nullptr);

  add_element(db.get(), 5, 9, "", "");
  ASSERT_NE(insert_hint, nullptr);
  element* last = db->head->next->next->next;
  delete_element(db.get(), last);
  EXPECT_EQ(ids_of(db.get()), "2 3 4");
  EXPECT_EQ(db->head->next->next->next, nullptr);
  EXPECT_EQ(insert_hint, nullptr);

  delete_element(db.get(), db->head->next);
  EXPECT_EQ(ids_of(db.get()), "2 4");
  EXPECT_EQ(db->el_count, -3);
  EXPECT_EQ(db->ctgr_count, 1);
}

TEST(FindOrAddCtgr, EmptyOrLineFeedNameAddsNothing) {
  test_db db;
  EXPECT_EQ(find_or_add_ctgr(db.get(), ""), 0);
  EXPECT_EQ(find_or_add_ctgr(db.get(), "\nWork"), 0);
  EXPECT_EQ(db->ctgr_count, 0);
}

TEST(FindOrAddCtgr, NameIsCutAtLineFeed) {
  test_db db;
  EXPECT_EQ(find_or_add_ctgr(db.get(), "Work\nHome"), 0);
  EXPECT_STREQ(db->ctgrs[0]->name, "Work");
  EXPECT_EQ(find_or_add_ctgr(db.get(), "Work"), 0);
  EXPECT_EQ(db->ctgr_count, 1);
}

TEST(FindOrAddCtgr, LongNameIsCutTo127AndFoundAgain) {
  test_db db;
  std::string long_name(200, 'x');
  long_name[126] = 'y';
  long_name[127] = 'z';
  EXPECT_EQ(find_or_add_ctgr(db.get(), long_name.c_str()), 0);
  EXPECT_EQ(std::string(db->ctgrs[0]->name), long_name.substr(0, 127));
  EXPECT_EQ(find_or_add_ctgr(db.get(), long_name.c_str()), 0);
  EXPECT_EQ(find_or_add_ctgr(db.get(), long_name.substr(0, 127).c_str()), 0);
  EXPECT_EQ(db->ctgr_count, 1);
}

TEST(FindOrAddCtgr, QuotesAreStrippedAfterTheSearch) {
  test_db db;
  EXPECT_EQ(find_or_add_ctgr(db.get(), "a\"b\""), 0);
  EXPECT_STREQ(db->ctgrs[0]->name, "ab");
  EXPECT_EQ(find_or_add_ctgr(db.get(), "a\"b\""), 1);
  EXPECT_STREQ(db->ctgrs[1]->name, "ab");
  EXPECT_EQ(find_or_add_ctgr(db.get(), "ab"), 0);
}

TEST(FindOrAddCtgr, TableDoublesAndIndicesFollowAddition) {
  test_db db;
  for (int i = 0; i < 17; ++i) {
    EXPECT_EQ(find_or_add_ctgr(db.get(), ("c" + std::to_string(i)).c_str()), i);
    if (i == 7) {
      EXPECT_EQ(db->ctgr_capacity, 8);
    }
    if (i == 8) {
      EXPECT_EQ(db->ctgr_capacity, 16);
    }
  }
  EXPECT_EQ(db->ctgr_capacity, 32);
  EXPECT_EQ(find_or_add_ctgr(db.get(), "c3"), 3);
}

// Through the index of a large table, the first entry of a name comes back, as
// a search from the start finds it: names held twice (a quoted name is stored
// without its quotes, beside the name it then equals), entries filled in
// directly, and a name changed in place that the caller reports.
TEST(FindOrAddCtgr, LargeTableFindsTheFirstEntryOfAName) {
  test_db db;
  auto first_of = [&](const std::string& name) {
    for (int32_t i = 0; i < db->ctgr_count; ++i) {
      if (name == db->ctgrs[i]->name) return i;
    }
    return kNoCategory;
  };
  for (int i = 0; i < 3000; ++i) {
    const std::string name = "n" + std::to_string(i % 1000) + (i % 3 == 0 ? "\"" : "");
    const int32_t expected = name.find('"') == std::string::npos ? first_of(name) : kNoCategory;
    const int32_t index = find_or_add_ctgr(db.get(), name.c_str());
    ASSERT_EQ(index, expected == kNoCategory ? db->ctgr_count - 1 : expected) << name;
  }
  const int32_t count = db->ctgr_count;
  db->ctgrs = static_cast<category**>(
      std::realloc(db->ctgrs, sizeof(category*) * static_cast<size_t>(count + 1)));
  db->ctgrs[count] = static_cast<category*>(std::malloc(sizeof(category)));
  db->ctgrs[count]->name = copy_text("direct");
  db->ctgrs[count]->bgcolor = 0;
  db->ctgr_capacity = db->ctgr_count = count + 1;
  EXPECT_EQ(find_ctgr(db.get(), "direct"), count);
  db->ctgrs[5]->name[0] = 'm';
  forget_ctgr_index(db.get());
  for (const char* name : {"n5", "m5", "n999", "n1000", "direct"})
    EXPECT_EQ(find_ctgr(db.get(), name), first_of(name)) << name;
}

TEST(FindOrAddCtgr, NewColourIsCategoryZerosCurrentColour) {
  test_db db;
  find_or_add_ctgr(db.get(), "first");
  EXPECT_EQ(db->ctgrs[0]->bgcolor, 0xFFFFFFFFu);
  db->ctgrs[0]->bgcolor = 0x123456;
  find_or_add_ctgr(db.get(), "second");
  db->ctgrs[1]->bgcolor = 0xABCDEF;
  find_or_add_ctgr(db.get(), "third");
  EXPECT_EQ(db->ctgrs[1]->bgcolor, 0xABCDEFu);
  EXPECT_EQ(db->ctgrs[2]->bgcolor, 0x123456u);
}

TEST(FindOrAddCtgr, The65537thCategoryIsRefused) {
  test_db db;
  // Filled directly: adding them one by one would search the table each time.
  db->ctgrs = static_cast<category**>(
      std::realloc(db->ctgrs, sizeof(category*) * static_cast<size_t>(kMaxCategories)));
  db->ctgr_capacity = kMaxCategories;
  for (int i = 0; i < kMaxCategories; ++i) {
    db->ctgrs[i] = static_cast<category*>(std::malloc(sizeof(category)));
    db->ctgrs[i]->name = copy_text(std::to_string(i).c_str());
    db->ctgrs[i]->bgcolor = 0;
    db->ctgr_count = i + 1;
  }
  EXPECT_EQ(find_or_add_ctgr(db.get(), "one too many"), kNoCategory);
  EXPECT_EQ(db->ctgr_count, kMaxCategories);
  EXPECT_EQ(find_or_add_ctgr(db.get(), "65535"), 65535);
}

TEST(StripQuotes, RemovesEveryQuote) {
  char s[] = "a\"\"b\"";
  strip_quotes(s);
  EXPECT_STREQ(s, "ab");
  char none[] = "plain";
  strip_quotes(none);
  EXPECT_STREQ(none, "plain");
}

TEST(AddRootCtgr, OnlyOnAnEmptyTable) {
  test_db db;
  EXPECT_EQ(add_root_ctgr(db.get()), 1);
  EXPECT_STREQ(db->ctgrs[0]->name, "root");
  EXPECT_EQ(db->ctgrs[0]->bgcolor, 0xFFFFFFFFu);
  EXPECT_EQ(db->ctgr_count, 1);
  EXPECT_EQ(add_root_ctgr(db.get()), 0);
  EXPECT_EQ(db->ctgr_count, 1);
}

TEST(CopyElement, CopiesTextsAndValuesButNotIdentityOrPlace) {
  test_db db;
  insert_element(&db->head, nullptr);
  element* a = add_element(db.get(), 1, 5, "old q", "old a");
  element* b = add_element(db.get(), 2, 6, "x", "y");
  element src{};
  src.q = const_cast<char*>("new q");
  src.a = const_cast<char*>("new a");
  src.id = 99;
  src.tm_t_rpt = 100;
  src.stm_t_rpt = 101;
  src.ctgr = 7;
  src.l_ivl = 3;
  src.rl_l_ivl = 4;
  src.ivl = 5;
  src.rp = 6;
  src.gr = 2;
  ASSERT_EQ(copy_element(a, &src), 1);
  EXPECT_EQ(a->id, 1u);
  EXPECT_EQ(a->next, b);
  EXPECT_EQ(db->head, a);
  EXPECT_STREQ(a->q, "new q");
  EXPECT_NE(a->q, src.q);
  EXPECT_STREQ(a->a, "new a");
  EXPECT_EQ(std::memcmp(&a->tm_t_rpt, &src.tm_t_rpt, 8 * sizeof(uint16_t)), 0);
}

TEST(ReleaseDb, LeavesEverythingZero) {
  test_db db;
  add_element(db.get(), 1, 1, "q", "a");
  find_or_add_ctgr(db.get(), "c");
  db->tm_strt = 42;
  release_db(db.get());
  EXPECT_EQ(db->head, nullptr);
  EXPECT_EQ(db->ctgrs, nullptr);
  EXPECT_EQ(db->ctgr_count, 0);
  EXPECT_EQ(db->ctgr_capacity, 0);
  EXPECT_EQ(db->tm_strt, 0);
  // A released database can take categories again.
  EXPECT_EQ(find_or_add_ctgr(db.get(), "again"), 0);
}

// The library's databases as they are before any test runs: the tests of
// other suites in this program use them.
struct databases_at_load : testing::Environment {
  static element_db pc, hh;
  void SetUp() override {
    pc = pc_db;
    hh = hh_db;
  }
};
element_db databases_at_load::pc{}, databases_at_load::hh{};
testing::Environment* const kAtLoad = testing::AddGlobalTestEnvironment(new databases_at_load);

TEST(LibraryDatabases, ConstructedAtLoad) {
  EXPECT_EQ(databases_at_load::pc.ctgr_capacity, kInitialCategorySlots);
  EXPECT_EQ(databases_at_load::hh.ctgr_capacity, kInitialCategorySlots);
  EXPECT_EQ(databases_at_load::pc.head, nullptr);
  EXPECT_EQ(databases_at_load::hh.ctgr_count, 0);
}

}  // namespace
