#include "sync/merge.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <string>

#include "model/databases.h"
#include "model/element_arena.h"
#include "tests/conduit_test_support.h"

namespace {

class SyncDbs : public ConduitTest {
 protected:
  void SetUp() override {
    ConduitTest::SetUp();
    reset(&pc_db);
    reset(&hh_db);
  }
  void TearDown() override {
    reset(&pc_db);
    reset(&hh_db);
    ConduitTest::TearDown();
  }
  static void reset(element_db* db) {
    release_db(db);
    construct_db(db);
  }
  void sides(const std::string& pc_body, const std::string& hh_body, int32_t pc_start = 1,
             int32_t hh_start = 1) {
    load_text(&pc_db, xml_file(pc_start, pc_body));
    load_text(&hh_db, xml_file(hh_start, hh_body));
  }
  static element* find(const element_db& db, uint32_t id) {
    for (element* e = db.head; e; e = e->next) {
      if (e->id == id) return e;
    }
    return nullptr;
  }
  static std::string category_of(const element_db& db, uint32_t id) {
    element* e = find(db, id);
    return e ? db.ctgrs[e->ctgr]->name : "(none)";
  }
};

TEST_F(SyncDbs, MoreReviewsWinThePair) {
  sides(xml_item(100, 1, "c", "pc q", "pc a", 3) + xml_item(200, 2, "c", "x", "y", 1),
        xml_item(100, 9, "c", "hh q", "hh a", 5));
  ASSERT_EQ(sync_dbs(0), kMergedWriteBoth);
  element* e = find(pc_db, 100);
  ASSERT_NE(e, nullptr);
  EXPECT_STREQ(e->q, "hh q");
  EXPECT_STREQ(e->a, "hh a");
  EXPECT_EQ(e->rp, 5);
  EXPECT_EQ(e->tm_t_rpt, 9);
  EXPECT_EQ(pc_db.head, e);  // keeps its place though its key is now the larger
}

TEST_F(SyncDbs, EqualReviewsChangeNothing) {
  sides(xml_item(100, 1, "c", "desktop text", "a", 4),
        xml_item(100, 1, "c", "handheld text", "a", 4));
  ASSERT_EQ(sync_dbs(0), kMergedWriteBoth);
  EXPECT_STREQ(find(pc_db, 100)->q, "desktop text");
  EXPECT_STREQ(find(hh_db, 100)->q, "handheld text");
}

TEST_F(SyncDbs, OneSidedElementsAtOrBeforeLastSyncAreDeletedLaterOnesCopied) {
  sides(xml_item(900, 1, "c", "pc old", "a") + xml_item(1000, 2, "c", "pc at", "a") +
            xml_item(1100, 3, "c", "pc new", "a") + xml_item(5, 4, "c", "both", "a"),
        xml_item(5, 4, "c", "both", "a") + xml_item(950, 5, "c", "hh old", "a") +
            xml_item(1000, 6, "c", "hh at", "a") + xml_item(1001, 7, "c", "hh new", "a"));
  ASSERT_EQ(sync_dbs(1000), kMergedWriteBoth);
  // 1000 is on both sides; 900 and 950 were deleted on the other side; the
  // new ones are placed by their keys 3 and 7.
  EXPECT_EQ(ids_of(&pc_db), "1000 1100 5 1001");
  EXPECT_EQ(ids_of(&hh_db), "1100 5 1000 1001");
  EXPECT_EQ(pc_db.el_count, -1);
  EXPECT_EQ(hh_db.el_count, -1);
}

TEST_F(SyncDbs, LastSyncZeroDeletesNothing) {
  sides(xml_item(1, 1, "c", "q", "a"), xml_item(2, 2, "c", "q", "a"));
  ASSERT_EQ(sync_dbs(0), kMergedWriteBoth);
  EXPECT_EQ(ids_of(&pc_db), "1 2");
  EXPECT_EQ(ids_of(&hh_db), "1 2");
}

TEST_F(SyncDbs, OlderDesktopIsWrittenOverTheHandheldWhole) {
  sides(xml_item(1, 1, "c", "q", "a", 1), xml_item(1, 1, "c", "other", "a", 9), 10, 20);
  ASSERT_EQ(sync_dbs(0), kOlderSideWritten);
  EXPECT_STREQ(pc_db.head->q, "q");  // nothing compared
  test_db back;
  ASSERT_TRUE(read_handheld(back.get()));
  EXPECT_EQ(back->tm_strt, 10);
  EXPECT_STREQ(back->head->q, "q");
}

TEST_F(SyncDbs, OlderHandheldIsWrittenOverTheDesktopWhole) {
  sides(xml_item(1, 1, "c", "q", "a", 9), xml_item(2, 1, "c", "hh", "a"), 20, 10);
  ASSERT_EQ(sync_dbs(0), kOlderSideWritten);
  EXPECT_EQ(desktop_ids(), "2");
  EXPECT_EQ(ids_of(&pc_db), "1");
}

TEST_F(SyncDbs, OnlyTheFirstOfDuplicateIdsTakesPart) {
  sides(xml_item(7, 1, "c", "first", "a") + xml_item(7, 2, "c", "second", "a"),
        xml_item(8, 1, "c", "q", "a"));
  ASSERT_EQ(sync_dbs(100), kMergedWriteBoth);
  EXPECT_EQ(ids_of(&pc_db), "7");
  EXPECT_STREQ(pc_db.head->q, "second");
  EXPECT_EQ(ids_of(&hh_db), "");
}

TEST_F(SyncDbs, CopiesWithEqualKeysComeInSignedIdOrder) {
  sides(xml_item(1, 5, "c", "q", "a") + xml_item(3000000000u, 5, "c", "q", "a") +
            xml_item(2, 5, "c", "q", "a"),
        xml_item(9, 1, "c", "q", "a") + xml_item(10, 2, "c", "q", "a"));
  ASSERT_EQ(sync_dbs(0), kMergedWriteBoth);
  EXPECT_EQ(ids_of(&hh_db), "9 10 3000000000 1 2");
}

TEST_F(SyncDbs, CopyIntoAOneElementListWithTheSameKeyGoesFirst) {
  sides(xml_item(1, 5, "c", "q", "a"), xml_item(2, 5, "c", "q", "a"));
  ASSERT_EQ(sync_dbs(0), kMergedWriteBoth);
  EXPECT_EQ(ids_of(&hh_db), "1 2");
  EXPECT_EQ(ids_of(&pc_db), "2 1");
}

TEST_F(SyncDbs, DesktopEmptiedByDeletionsIsRefilled) {
  sides(xml_item(1, 5, "c", "q", "a") + xml_item(2, 6, "c", "q", "a"),
        xml_item(20, 5, "c", "q", "a") + xml_item(21, 5, "c", "q", "a"));
  ASSERT_EQ(ids_of(&hh_db), "21 20");  // the reader's single-element rule
  ASSERT_EQ(sync_dbs(10), kMergedWriteBoth);
  EXPECT_EQ(ids_of(&pc_db), "21 20");
  EXPECT_EQ(ids_of(&hh_db), "21 20");
}

TEST_F(SyncDbs, ElementsCarryTheirCategoryByName) {
  sides("<category name=\"Words\" bgcolor=\"1\"/>\n" + xml_item(1, 1, "Words", "q", "a", 1) +
            xml_item(3, 3, "Words", "q", "a"),
        "<category name=\"Maths\" bgcolor=\"4294901760\"/>\n"
        "<category name=\"Words\" bgcolor=\"1\"/>\n" +
            xml_item(1, 1, "Maths", "q", "a", 2) + xml_item(2, 2, "Maths", "new", "a"));
  ASSERT_EQ(sync_dbs(0), kMergedWriteBoth);
  EXPECT_EQ(category_of(pc_db, 1), "Maths");  // the winner's category, by name
  EXPECT_EQ(category_of(pc_db, 2), "Maths");  // a new element, likewise
  EXPECT_EQ(category_of(hh_db, 3), "Words");
  ASSERT_EQ(pc_db.ctgr_count, 2);
  EXPECT_EQ(pc_db.ctgrs[1]->bgcolor, 4294901760u);  // a category new here keeps its colour
  EXPECT_EQ(hh_db.ctgr_count, 2);
}

TEST_F(SyncDbs, CategoryBeyondAFullTableFailsTheMergeAsSuch) {
  sides(xml_item(1, 1, "c", "q", "a"), "<category name=\"New\" bgcolor=\"1\"/>\n" +
                                           xml_item(1, 1, "c", "q", "a") +
                                           xml_item(2, 2, "New", "q", "a"));
  // Filled directly: adding 65536 names one by one searches the table each time.
  pc_db.ctgrs = static_cast<category**>(
      std::realloc(pc_db.ctgrs, sizeof(category*) * static_cast<size_t>(kMaxCategories)));
  ASSERT_NE(pc_db.ctgrs, nullptr);
  pc_db.ctgr_capacity = kMaxCategories;
  for (int32_t i = pc_db.ctgr_count; i < kMaxCategories; ++i) {
    category* c = static_cast<category*>(std::malloc(sizeof(category)));
    c->name = copy_text(("k" + std::to_string(i)).c_str());
    c->bgcolor = 0;
    pc_db.ctgrs[i] = c;
  }
  pc_db.ctgr_count = kMaxCategories;
  EXPECT_EQ(sync_dbs(0), kMergeTooManyCategories);
}

// Copies made where deleted elements were, the merge failing part way in
// either pass (the other side's category table is full): both lists stay
// whole, no element in both, and insert_hint names none freed (the sanitizer
// build checks the frees). Copies' ids come first, as read signed.
TEST_F(SyncDbs, MergeFailingAmongCopiesInDeletedPlacesLeavesWholeLists) {
  constexpr uint32_t kEach = 6000, kCopied = 0x80000000u, kDeleted = 1, kShared = 100000;
  for (const bool first_pass : {true, false}) {
    for (const uint32_t failing_copy : {0u, 4000u}) {
      SCOPED_TRACE(std::to_string(first_pass) + " " + std::to_string(failing_copy));
      reset(&pc_db);
      reset(&hh_db);
      pc_db.tm_strt = hh_db.tm_strt = 7;
      element_db* from = first_pass ? &pc_db : &hh_db;
      element_db* to = first_pass ? &hh_db : &pc_db;
      add_root_ctgr(&pc_db);
      add_root_ctgr(&hh_db);
      for (int c = 1; c < kMaxCategories; ++c)
        find_or_add_ctgr(to, ("c" + std::to_string(c)).c_str());
      find_or_add_ctgr(from, "only here");
      element_arena* arena = element_arena_open(kElementArenaFrom);
      for (element_db* db : {&pc_db, &hh_db}) {
        element** tail = &db->head;
        for (const uint32_t first : {kCopied, kDeleted, kShared}) {
          for (uint32_t i = 0; i < kEach; ++i) {
            element* e = element_arena_new(arena, 3, 5);
            e->id = first + i + (first == kShared ? 0 : (db == &pc_db ? 0 : kEach));
            e->tm_t_rpt = static_cast<uint16_t>(e->id * 7919u);
            if (db == from && first == kCopied && i == failing_copy) e->ctgr = 1;
            *tail = e;
            tail = &e->next;
          }
        }
      }
      element_arena_close(arena);
      insert_hint = find(pc_db, kDeleted);
      EXPECT_EQ(sync_dbs(kShared - 1), kMergeTooManyCategories);
      std::set<const element*> seen;
      for (const element_db* db : {&pc_db, &hh_db}) {
        for (const element* e = db->head; e; e = e->next)
          ASSERT_TRUE(seen.insert(e).second);
      }
      EXPECT_TRUE(!insert_hint || seen.count(insert_hint));
    }
  }
  insert_hint = nullptr;
}

TEST_F(SyncDbs, BothSidesHoldTheSameIdsAfterwards) {
  std::string pc, hh;
  for (uint32_t id = 1; id <= 200; ++id) {
    if (id % 3 != 0) pc += xml_item(id, static_cast<int>(id % 17), "c", "q", "a", id % 5);
    if (id % 4 != 0) hh += xml_item(id, static_cast<int>(id % 13), "c", "q", "a", id % 7);
  }
  sides(pc, hh);
  ASSERT_EQ(sync_dbs(0), kMergedWriteBoth);
  std::set<uint32_t> pc_ids, hh_ids;
  for (element* e = pc_db.head; e; e = e->next)
    pc_ids.insert(e->id);
  for (element* e = hh_db.head; e; e = e->next)
    hh_ids.insert(e->id);
  EXPECT_EQ(pc_ids, hh_ids);
  EXPECT_EQ(pc_ids.size(), 200u - 200 / 12);  // those on neither side
}

}  // namespace
