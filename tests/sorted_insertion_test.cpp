// sort_as_inserted gives exactly the order of one insert_element after the
// other into an empty list, on every kind of input: sorted, nearly sorted,
// random and full of ties.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "desktop/xml_reader.h"
#include "hotsync/services/hotsync_log.h"
#include "model/element_db.h"
#include "model/insertion_order.h"
#include "tests/test_support.h"

namespace {

enum class shape { sorted, nearly_sorted, random, ties };

std::vector<uint16_t> keys_of_shape(shape s, size_t n, std::mt19937* rng) {
  std::vector<uint16_t> keys(n);
  std::uniform_int_distribution<int> any(0, 65535), few(0, 3), percent(0, 999);
  for (size_t i = 0; i < n; ++i) {
    switch (s) {
      case shape::sorted:
        keys[i] = static_cast<uint16_t>(i / 3);
        break;
      case shape::nearly_sorted: {
        const int p = percent(*rng);
        keys[i] = static_cast<uint16_t>(i + (p < 10 ? 500 : 0) - (p == 10 && i > 200 ? 200 : 0));
        break;
      }
      case shape::random:
        keys[i] = static_cast<uint16_t>(any(*rng));
        break;
      case shape::ties:
        keys[i] = static_cast<uint16_t>(few(*rng));
        break;
    }
  }
  return keys;
}

// The ids in list order after building the list both ways.
void build_both(const std::vector<uint16_t>& keys, std::string* by_insertion, std::string* sorted) {
  test_db reference, fast;
  insert_element(&reference->head, nullptr);
  element* chain = nullptr;
  element** tail = &chain;
  for (size_t i = 0; i < keys.size(); ++i) {
    add_element(reference.get(), static_cast<uint32_t>(i), keys[i], "", "");
    element* e = new_element();
    e->id = static_cast<uint32_t>(i);
    e->tm_t_rpt = keys[i];
    e->q = copy_text("");
    e->a = copy_text("");
    *tail = e;
    tail = &e->next;
  }
  insert_element(&reference->head, nullptr);
  fast->head = sort_as_inserted(chain);
  *by_insertion = ids_of(reference.get());
  *sorted = ids_of(fast.get());
}

TEST(SortAsInserted, SameOrderAsInsertingOneByOne) {
  std::mt19937 rng(20261207);
  for (shape s : {shape::sorted, shape::nearly_sorted, shape::random, shape::ties}) {
    for (size_t n : {0, 1, 2, 3, 5, 17, 64, 1000, 3001}) {
      for (int round = 0; round < 3; ++round) {
        const std::vector<uint16_t> keys = keys_of_shape(s, n, &rng);
        std::string expected, got;
        build_both(keys, &expected, &got);
        ASSERT_EQ(got, expected) << "shape " << static_cast<int>(s) << ", " << n << " keys";
      }
    }
  }
}

TEST(SortAsInserted, ReaderGivesTheOrderOfOneInsertionAfterTheOther) {
  std::mt19937 rng(7);
  scratch_dir dir;
  for (shape s : {shape::sorted, shape::nearly_sorted, shape::random, shape::ties}) {
    const std::vector<uint16_t> keys = keys_of_shape(s, 2500, &rng);
    std::string body;
    for (size_t i = 0; i < keys.size(); ++i) {
      body += xml_item(static_cast<uint32_t>(i), keys[i], "c", "q", "a");
    }
    write_file(dir.file("e.xml"), crlf(xml_file(1, body)));
    test_db read;
    insert_element(&read->head, nullptr);
    list_order order;
    ASSERT_EQ(load_db_from_pc(read.get(), dir.file("e.xml").c_str(), nullptr, nullptr, &order), 1);
    std::string expected, unused;
    build_both(keys, &expected, &unused);
    EXPECT_EQ(ids_of(read.get()), expected) << "shape " << static_cast<int>(s);
    EXPECT_TRUE(order_holds(read->head, order)) << "shape " << static_cast<int>(s);
  }
}

TEST(SortAsInserted, FirstTwoEqualKeysTradePlaces) {
  std::string expected, got;
  build_both({5, 5, 5, 1, 5}, &expected, &got);
  EXPECT_EQ(got, "3 1 0 2 4");
  EXPECT_EQ(got, expected);
}

}  // namespace
