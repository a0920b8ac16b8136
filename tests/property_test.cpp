// Properties that hold for any data set, checked over random ones (seeded, so
// a failure can be replayed with its seed).
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "conduit/conduit_api.h"
#include "desktop/xml_reader.h"
#include "desktop/xml_writer.h"
#include "handheld/hh_store.h"
#include "hotsync/services/sync_manager_host.h"
#include "model/databases.h"
#include "tests/conduit_test_support.h"

namespace {

class random_data {
 public:
  explicit random_data(uint32_t seed) : rng_(seed) {}

  // A text of any bytes but NUL, without the sequences the format cannot carry.
  std::string text(size_t max_length) {
    std::string t;
    const size_t n = pick(0, max_length);
    static const std::string kSpecial = "<>&\"'\n\r\t]![CDATA ";
    for (size_t i = 0; i < n; ++i) {
      const int kind = static_cast<int>(pick(0, 9));
      if (kind == 0)
        t += kSpecial[pick(0, kSpecial.size() - 1)];
      else if (kind == 1)
        t += static_cast<char>(pick(0x80, 0xFF));  // UTF-8 bytes, or not
      else
        t += static_cast<char>(pick('a', 'z'));
    }
    for (const char* bad : {"</Q>", "</A>", "]]>"}) {
      for (size_t at; (at = t.find(bad)) != std::string::npos;)
        t.erase(at, 1);
    }
    return t;
  }
  // A category name: no quote, no line end, no '<' and no '=' (which the
  // line scanner takes for markup), not empty.
  std::string name() {
    std::string n;
    const size_t length = pick(1, 40);
    for (size_t i = 0; i < length; ++i)
      n += static_cast<char>(pick('A', 'Z'));
    return n + std::to_string(pick(0, 99999));
  }
  // Elements with distinct ids and, for the reader's sake, a first key that
  // no other element shares.
  void fill(element_db* db, int elements, int categories) {
    db->tm_strt = static_cast<int32_t>(pick(0, 0x7FFFFFFF));
    for (int c = 0; c < categories; ++c) {
      int32_t index = find_or_add_ctgr(db, name().c_str());
      db->ctgrs[index]->bgcolor = 0xFFFF0000u | static_cast<uint32_t>(pick(1, 0xFFFF));
    }
    insert_element(&db->head, nullptr);
    for (int i = 0; i < elements; ++i) {
      element* e = new_element();
      e->id = 1000000000u + static_cast<uint32_t>(i) * 7919u;
      e->tm_t_rpt = static_cast<uint16_t>(i == 0 ? 0 : pick(1, 2000));
      uint16_t* values[] = {&e->stm_t_rpt, &e->l_ivl, &e->rl_l_ivl, &e->ivl, &e->rp, &e->gr};
      for (uint16_t* v : values)
        *v = static_cast<uint16_t>(pick(0, 0xFFFF));
      e->ctgr = static_cast<uint16_t>(pick(0, static_cast<size_t>(categories - 1)));
      e->q = copy_text(text(120).c_str());
      e->a = copy_text(text(120).c_str());
      insert_element(&db->head, e);
    }
  }
  size_t pick(size_t low, size_t high) {
    return std::uniform_int_distribution<size_t>(low, high)(rng_);
  }

 private:
  std::mt19937 rng_;
};

// Everything a data set holds, keyed by id, with categories by name.
std::map<uint32_t, std::string> content(const element_db* db) {
  std::map<uint32_t, std::string> out;
  for (const element* e = db->head; e; e = e->next) {
    std::string v = std::string(db->ctgrs[e->ctgr]->name) + "|" + e->q + "|" + e->a;
    for (uint16_t x : {e->tm_t_rpt, e->stm_t_rpt, e->l_ivl, e->rl_l_ivl, e->ivl, e->rp, e->gr}) {
      v += "|" + std::to_string(x);
    }
    out.emplace(e->id, v);
  }
  return out;
}

class Property : public ConduitTest {};

TEST_F(Property, WriterReaderWriterIsByteIdentical) {
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    random_data r(seed);
    test_db original;
    r.fill(original.get(), static_cast<int>(r.pick(0, 60)), static_cast<int>(r.pick(1, 6)));
    const std::string a = dir.file("a.xml"), b = dir.file("b.xml");
    ASSERT_EQ(save_xml(original.get(), (a + ".tmp").c_str(), a.c_str()), kSaveXmlOk);
    test_db back;
    insert_element(&back->head, nullptr);
    ASSERT_EQ(load_db_from_pc(back.get(), a.c_str()), 1) << "seed " << seed;
    ASSERT_EQ(save_xml(back.get(), (b + ".tmp").c_str(), b.c_str()), kSaveXmlOk);
    ASSERT_EQ(read_file(a), read_file(b)) << "seed " << seed;
    EXPECT_EQ(content(original.get()), content(back.get())) << "seed " << seed;
  }
}

TEST_F(Property, HandheldStreamGivesTheDataSetBack) {
  for (uint32_t seed = 100; seed <= 130; ++seed) {
    random_data r(seed);
    test_db original;
    r.fill(original.get(), static_cast<int>(r.pick(0, 800)), static_cast<int>(r.pick(1, 30)));
    ASSERT_EQ(save_db_to_hh(original.get()), kHhSaveOk);
    test_db back;
    ASSERT_EQ(load_db_from_hh(back.get()), 1) << "seed " << seed;
    EXPECT_EQ(back->tm_strt, original->tm_strt);
    EXPECT_EQ(ids_of(back.get()), ids_of(original.get())) << "stored order kept";
    EXPECT_EQ(content(original.get()), content(back.get())) << "seed " << seed;
    ASSERT_EQ(back->ctgr_count, original->ctgr_count);
    for (int32_t c = 0; c < back->ctgr_count; ++c) {
      EXPECT_EQ(back->ctgrs[c]->bgcolor, original->ctgrs[c]->bgcolor) << "high half 0xFFFF";
    }
  }
}

TEST_F(Property, DesktopToHandheldAndBackGivesTheSameFile) {
  for (uint32_t seed = 200; seed <= 215; ++seed) {
    random_data r(seed);
    test_db original;
    r.fill(original.get(), static_cast<int>(r.pick(1, 200)), static_cast<int>(r.pick(1, 5)));
    const std::string tmp = dir.file("desk/elements.tmp");
    ASSERT_EQ(save_xml(original.get(), tmp.c_str(), xml_path().c_str()), kSaveXmlOk);
    const std::string before = read_file(xml_path());
    ASSERT_EQ(sync(kSyncTypePCToHH), 0);
    ASSERT_EQ(sync(kSyncTypeHHToPC), 0);
    EXPECT_EQ(read_file(xml_path()), before) << "seed " << seed;
  }
}

TEST_F(Property, SecondTwoWayHotSyncChangesNothing) {
  for (uint32_t seed = 300; seed <= 315; ++seed) {
    random_data r(seed);
    test_db desk, hand;
    r.fill(desk.get(), static_cast<int>(r.pick(1, 100)), 3);
    r.fill(hand.get(), static_cast<int>(r.pick(1, 100)), 2);
    hand->tm_strt = desk->tm_strt;
    // Some elements on both sides with different review counts.
    for (element* e = hand->head; e; e = e->next)
      e->rp = static_cast<uint16_t>(r.pick(0, 9));
    const std::string tmp = dir.file("desk/elements.tmp");
    ASSERT_EQ(save_xml(desk.get(), tmp.c_str(), xml_path().c_str()), kSaveXmlOk);
    ASSERT_EQ(save_db_to_hh(hand.get()), kHhSaveOk);
    set_last_sync(static_cast<uint32_t>(r.pick(0, 1000700000)));

    ASSERT_EQ(sync(0), 0);
    test_db d1, h1;
    ASSERT_TRUE(read_desktop(d1.get()));
    ASSERT_TRUE(read_handheld(h1.get()));
    EXPECT_EQ(content(d1.get()), content(h1.get())) << "seed " << seed;
    ASSERT_EQ(sync(0), 0);
    test_db d2, h2;
    ASSERT_TRUE(read_desktop(d2.get()));
    ASSERT_TRUE(read_handheld(h2.get()));
    EXPECT_EQ(content(d1.get()), content(d2.get())) << "seed " << seed;
    EXPECT_EQ(content(h1.get()), content(h2.get())) << "seed " << seed;
  }
}

}  // namespace
