// sync_dbs, with its index and deferred deletions, leaves both data sets
// exactly as the element-by-element merge does: the same elements with the
// same values in the same order, the same categories, the same counts and the
// same insert_hint, on sorted, nearly sorted, random and tie-heavy lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "model/databases.h"
#include "model/element_arena.h"
#include "model/element_db.h"
#include "sync/merge.h"
#include "tests/reference_merge.h"

namespace {

enum class shape { sorted, nearly_sorted, random, ties };

struct merge_case {
  shape pc_shape, hh_shape;
  int shared, pc_only, hh_only, duplicates;
  uint32_t last_sync;
};

const char* const kCategoryNames[] = {"root", "Deutsch", "Latin", "Maths", "\"quoted\""};

uint16_t key_for(shape s, int i, std::mt19937* rng) {
  std::uniform_int_distribution<int> any(0, 65535), few(0, 3), percent(0, 999);
  switch (s) {
    case shape::sorted:
      return static_cast<uint16_t>(i / 2);
    case shape::nearly_sorted: {
      const int p = percent(*rng);
      return static_cast<uint16_t>(i + (p < 10 ? 400 : 0) - (p == 10 && i > 150 ? 150 : 0));
    }
    case shape::random:
      return static_cast<uint16_t>(any(*rng));
    case shape::ties:
      return static_cast<uint16_t>(few(*rng));
  }
  return 0;
}

element* make(uint32_t id, uint16_t key, uint16_t rp, uint16_t ctgr, const std::string& text) {
  element* e = new_element();
  e->id = id;
  e->tm_t_rpt = key;
  e->stm_t_rpt = static_cast<uint16_t>(key + 1);
  e->rp = rp;
  e->ctgr = ctgr;
  e->ivl = static_cast<uint16_t>(id % 2048);
  e->q = copy_text(("q " + text).c_str());
  e->a = copy_text(("a " + text).c_str());
  return e;
}

// The two sides: shared ids (with rp and keys that differ now and then),
// elements only one side has on both sides of last_sync, repeated ids, and
// categories only one side knows.
void build_sides(const merge_case& plan, std::mt19937* rng, element_db* pc, element_db* hh) {
  construct_db(pc);
  construct_db(hh);
  pc->tm_strt = hh->tm_strt = 7;
  for (int c = 0; c < 4; ++c)
    find_or_add_ctgr(pc, kCategoryNames[c]);
  for (int c : {0, 2, 4, 1})
    find_or_add_ctgr(hh, kCategoryNames[c]);
  std::uniform_int_distribution<int> rp(0, 3), ctgr(0, 3), coin(0, 1), id_step(1, 3);
  std::vector<element*> pcs, hhs;
  uint32_t id = 0x7FFFFF00u;  // some ids read as negative
  for (int i = 0; i < plan.shared; ++i) {
    id += static_cast<uint32_t>(id_step(*rng));
    uint16_t key = key_for(plan.pc_shape, i, rng);
    pcs.push_back(make(id, key, static_cast<uint16_t>(rp(*rng)), static_cast<uint16_t>(ctgr(*rng)),
                       "shared pc " + std::to_string(i)));
    hhs.push_back(make(id, coin(*rng) ? key : key_for(plan.hh_shape, i, rng),
                       static_cast<uint16_t>(rp(*rng)), static_cast<uint16_t>(ctgr(*rng)),
                       "shared hh " + std::to_string(i)));
  }
  auto one_sided = [&](std::vector<element*>* side, int count, shape s, const char* what) {
    for (int i = 0; i < count; ++i) {
      id += static_cast<uint32_t>(id_step(*rng));
      side->push_back(make(coin(*rng) ? id : id - 0x80000000u, key_for(s, i, rng),
                           static_cast<uint16_t>(rp(*rng)), static_cast<uint16_t>(ctgr(*rng)),
                           std::string(what) + std::to_string(i)));
    }
  };
  one_sided(&pcs, plan.pc_only, plan.pc_shape, "pc only ");
  one_sided(&hhs, plan.hh_only, plan.hh_shape, "hh only ");
  for (int i = 0; i < plan.duplicates && !pcs.empty(); ++i) {
    std::vector<element*>* side = coin(*rng) ? &pcs : &hhs;
    const element* twin = (*side)[std::uniform_int_distribution<size_t>(0, side->size() - 1)(*rng)];
    side->push_back(make(twin->id, key_for(shape::random, i, rng), 9, 0, "twin"));
  }
  for (auto* side : {&pcs, &hhs}) {
    std::shuffle(side->begin(), side->end(), *rng);
    element_db* db = side == &pcs ? pc : hh;
    if ((side == &pcs ? plan.pc_shape : plan.hh_shape) == shape::sorted) {
      std::stable_sort(side->begin(), side->end(), [](const element* a, const element* b) {
        return a->tm_t_rpt < b->tm_t_rpt;
      });
    }
    element** tail = &db->head;
    for (element* e : *side) {
      *tail = e;
      tail = &e->next;
    }
    *tail = nullptr;
    db->el_count = static_cast<int32_t>(side->size());
  }
}

// From an arena's slabs, as a reader makes a large data set, or from the heap.
void clone_db(const element_db& from, element_db* to, element_arena* arena) {
  construct_db(to);
  to->tm_strt = from.tm_strt;
  to->el_count = from.el_count;
  for (int32_t c = 0; c < from.ctgr_count; ++c) {
    find_or_add_ctgr(to, from.ctgrs[c]->name);
    to->ctgrs[c]->bgcolor = from.ctgrs[c]->bgcolor;
  }
  element** tail = &to->head;
  for (const element* e = from.head; e; e = e->next) {
    element* copy = arena ? element_arena_clone(arena, e) : clone_element(e);
    *tail = copy;
    tail = &copy->next;
  }
}

// Everything a later step could see of a data set.
std::string dump(const element_db& db) {
  std::string out = "start " + std::to_string(db.tm_strt) + " count " + std::to_string(db.el_count);
  for (int32_t c = 0; c < db.ctgr_count; ++c)
    out += " [" + std::string(db.ctgrs[c]->name) + " " + std::to_string(db.ctgrs[c]->bgcolor) + "]";
  int pos = 0;
  for (const element* e = db.head; e; e = e->next, ++pos) {
    out += "\n" + std::to_string(e->id) + " " + std::to_string(e->tm_t_rpt) + " " +
           std::to_string(e->stm_t_rpt) + " " + std::to_string(e->ctgr) + " " +
           std::to_string(e->ivl) + " " + std::to_string(e->rp) + " " + e->q + " / " + e->a;
    if (e == insert_hint) out += " <- hint";
  }
  return out;
}

struct outcome {
  bool ok;
  std::string pc, hh;
  bool orders_hold;  // the orders the merge hands to the writers
};

list_order walked(const element_db& db) {
  list_order order;
  for (element* e = db.head; e; e = e->next)
    order.push_back(e);
  return order;
}

// The merge is given the lists' orders as their readers leave them, or (a
// stale order, as after a change to a list) the desktop's reversed.
outcome run(const element_db& pc, const element_db& hh, uint32_t last_sync, bool reference,
            bool stale_order = false, bool from_slabs = false) {
  release_db(&pc_db);
  release_db(&hh_db);
  element_arena* arena = from_slabs ? element_arena_open(kElementArenaFrom) : nullptr;
  clone_db(pc, &pc_db, arena);
  clone_db(hh, &hh_db, arena);
  element_arena_close(arena);
  insert_hint = nullptr;
  list_order pc_order = walked(pc_db), hh_order = walked(hh_db);
  if (stale_order) std::reverse(pc_order.begin(), pc_order.end());
  const bool ok = reference
                      ? reference_merge(last_sync)
                      : sync_dbs_in_order(last_sync, &pc_order, &hh_order) == kMergedWriteBoth;
  // The reference merge frees elements the orders still name.
  outcome o{ok, dump(pc_db), dump(hh_db),
            !reference && order_holds(pc_db.head, pc_order) && order_holds(hh_db.head, hh_order)};
  release_db(&pc_db);
  release_db(&hh_db);
  insert_hint = nullptr;
  return o;
}

void expect_same_merge(const merge_case& plan, uint32_t seed, bool from_slabs = false) {
  std::mt19937 rng(seed);
  element_db pc, hh;
  build_sides(plan, &rng, &pc, &hh);
  const outcome expected = run(pc, hh, plan.last_sync, true);
  const outcome got = run(pc, hh, plan.last_sync, false, seed % 2 == 1, from_slabs);
  release_db(&pc);
  release_db(&hh);
  ASSERT_TRUE(expected.ok);
  ASSERT_TRUE(got.ok);
  ASSERT_EQ(got.pc, expected.pc) << "seed " << seed;
  ASSERT_EQ(got.hh, expected.hh) << "seed " << seed;
  ASSERT_TRUE(got.orders_hold) << "seed " << seed;
}

TEST(MergeEquivalence, EveryShapeOfBothSides) {
  const shape shapes[] = {shape::sorted, shape::nearly_sorted, shape::random, shape::ties};
  uint32_t seed = 1;
  for (shape pc : shapes) {
    for (shape hh : shapes) {
      for (uint32_t last_sync : {0u, 0x7FFFFF80u, 0xFFFFFFFFu}) {
        expect_same_merge({pc, hh, 300, 120, 150, 6, last_sync}, seed++);
      }
    }
  }
}

TEST(MergeEquivalence, SmallAndLopsidedLists) {
  const shape shapes[] = {shape::sorted, shape::random, shape::ties};
  uint32_t seed = 1000;
  for (shape s : shapes) {
    for (int shared : {0, 1, 2, 3}) {
      for (int pc_only : {0, 1, 2, 40}) {
        for (int hh_only : {0, 1, 2, 40}) {
          for (uint32_t last_sync : {0u, 0x7FFFFF40u}) {
            expect_same_merge({s, s, shared, pc_only, hh_only, shared > 0 ? 1 : 0, last_sync},
                              seed++);
          }
        }
      }
    }
  }
}

TEST(MergeEquivalence, ManyOneSidedOnLargeLists) {
  uint32_t seed = 5000;
  for (shape s : {shape::nearly_sorted, shape::random, shape::ties}) {
    expect_same_merge({s, shape::random, 3000, 2000, 2000, 20, 0x7FFFFF00u + 4000}, seed++);
    expect_same_merge({s, shape::sorted, 3000, 2000, 2000, 20, 0}, seed++);
  }
}

// Elements from slabs, as a reader makes a large data set: with thousands of
// copies made on the second thread, they go where deleted elements were.
TEST(MergeEquivalence, CopiesInThePlacesOfDeletedElements) {
  uint32_t seed = 6000;
  for (shape s : {shape::nearly_sorted, shape::random}) {
    expect_same_merge({s, shape::random, 3000, 9000, 9000, 20, 0x7FFFFF00u + 12000}, seed++, true);
    expect_same_merge({s, shape::sorted, 3000, 12000, 2000, 0, 0x7FFFFF00u + 12000}, seed++, true);
  }
}

// Thousands of copies landing in a few places of a short list: blocks split
// again and again, and so do the segments that hold them.
TEST(MergeEquivalence, CopiesCrowdingIntoFewPlaces) {
  uint32_t seed = 7000;
  for (shape s : {shape::random, shape::ties}) {
    expect_same_merge({shape::sorted, s, 500, 12000, 200, 0, 0}, seed++);
    expect_same_merge({s, shape::nearly_sorted, 500, 200, 12000, 0, 0}, seed++);
  }
}

}  // namespace
