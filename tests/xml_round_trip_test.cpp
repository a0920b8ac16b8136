// Writer and reader together: what the writer produces reads back to the same
// data set, and writing that again gives the same bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "desktop/xml_reader.h"
#include "desktop/xml_writer.h"
#include "model/element_arena.h"
#include "tests/test_support.h"

namespace {

class XmlRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override { insert_element(&original->head, nullptr); }

  // Writes db as name, reads it into a fresh database and writes that as name2.
  void write_read_write(element_db* db, test_db* back) {
    ASSERT_EQ(save_xml(db, dir.file("a.tmp").c_str(), dir.file("a.xml").c_str()), kSaveXmlOk);
    insert_element(&(*back)->head, nullptr);
    ASSERT_EQ(load_db_from_pc(back->get(), dir.file("a.xml").c_str()), 1);
    ASSERT_EQ(save_xml(back->get(), dir.file("b.tmp").c_str(), dir.file("b.xml").c_str()),
              kSaveXmlOk);
  }

  scratch_dir dir;
  test_db original;
};

TEST_F(XmlRoundTrip, VariedDataSetIsByteIdentical) {
  original->tm_strt = 1041379200;
  find_or_add_ctgr(original.get(), "Deutsch");
  find_or_add_ctgr(original.get(), "Français");
  find_or_add_ctgr(original.get(), std::string(127, 'L').c_str());
  original->ctgrs[1]->bgcolor = 4294954154u;
  original->ctgrs[2]->bgcolor = 1;
  add_element(original.get(), 1100000000, 0, "der Schlüssel", "the key", 0);
  add_element(original.get(), 1100000001, 3, "être", "je suis\ntu es\nil est", 1);
  add_element(original.get(), 1100000002, 3, "2 < 3 & 4", "", 2);
  add_element(original.get(), 4294967295u, 65535, "", "a > b, \"quoted\"", 1);
  add_element(original.get(), 0, 9, std::string(8000, 'x').c_str(), "tab\there", 0);
  for (element* e = original->head; e; e = e->next) {
    e->stm_t_rpt = static_cast<uint16_t>(e->tm_t_rpt + 1);
    e->l_ivl = 2048;
    e->rl_l_ivl = 17;
    e->ivl = 65535;
    e->rp = 128;
    e->gr = 5;
  }
  test_db back;
  write_read_write(original.get(), &back);
  EXPECT_EQ(read_file(dir.file("a.xml")), read_file(dir.file("b.xml")));
  EXPECT_EQ(ids_of(back.get()), ids_of(original.get()));
  EXPECT_EQ(back->tm_strt, original->tm_strt);
  ASSERT_EQ(back->ctgr_count, 3);
  EXPECT_EQ(back->ctgrs[1]->bgcolor, 4294954154u);
}

// A file large enough that its reader takes the elements from slabs; the
// copy of a text and the frees of the release go through them too.
TEST_F(XmlRoundTrip, LargeDataSetIsByteIdentical) {
  find_or_add_ctgr(original.get(), "large");
  const std::string filler(900, 'f');
  element** tail = &original->head;
  for (uint32_t id = 1; id <= 50000; ++id) {
    const std::string q = std::to_string(id) + filler.substr(id % 900);
    const std::string a = filler.substr(600 + id % 300) + "\n" + std::to_string(id * 7);
    element* e = new_element_with_room(q.size(), a.size());
    std::memcpy(e->q, q.data(), q.size());
    std::memcpy(e->a, a.data(), a.size());
    e->id = id;
    e->tm_t_rpt = static_cast<uint16_t>(id);  // in order, no two alike: linked at the end
    *tail = e;
    tail = &e->next;
  }
  test_db back;
  write_read_write(original.get(), &back);
  const std::string first = read_file(dir.file("a.xml"));
  ASSERT_GE(first.size(), kElementArenaFrom);
  EXPECT_TRUE(first == read_file(dir.file("b.xml")));
  ASSERT_TRUE(back->head && (back->head->texts_in_block & kInSlab));
  ASSERT_EQ(copy_element(back->head, back->head->next), 1);
  EXPECT_STREQ(back->head->q, back->head->next->q);
}

TEST_F(XmlRoundTrip, EqualFirstKeysTradePlacesOnEachRead) {
  find_or_add_ctgr(original.get(), "c");
  add_element(original.get(), 1, 5, "q", "a");
  add_element(original.get(), 2, 6, "q", "a");
  original->head->next->tm_t_rpt = 5;  // as the merge leaves it: equal, in place
  ASSERT_EQ(ids_of(original.get()), "1 2");
  test_db back;
  write_read_write(original.get(), &back);
  EXPECT_EQ(ids_of(back.get()), "2 1");
}

TEST_F(XmlRoundTrip, ColourZeroComesBackAsTheDefault) {
  find_or_add_ctgr(original.get(), "zero");
  original->ctgrs[0]->bgcolor = 0;
  test_db back;
  write_read_write(original.get(), &back);
  EXPECT_EQ(back->ctgrs[0]->bgcolor, 0xFFFFFFFFu);
}

// The writer refuses exactly the texts whose lines the reader could not
// gather: held to the reader itself over texts around the window's size, in
// lines of several lengths, plain and in CDATA.
TEST_F(XmlRoundTrip, TextsTooLongToReadBackAreRefusedExactly) {
  for (size_t line : {60u, 4000u, 8180u, 9000u, 16400u}) {
    for (size_t total :
         {8150u, 8170u, 8176u, 8178u, 8179u, 8180u, 8181u, 8186u, 8190u, 8200u, 12000u, 20000u}) {
      for (bool markup : {false, true}) {
        std::string text = markup ? "<" : "";
        while (text.size() < total) {
          if (!text.empty() && text.size() % (line + 1) == line) text += '\n';
          text += 'x';
        }
        const std::string where =
            std::to_string(line) + "/" + std::to_string(total) + (markup ? " in CDATA" : "");
        const std::string q = markup ? "<![CDATA[" + text + "]]>" : text;
        write_file(dir.file("hand.xml"), crlf(xml_file(1, xml_item(1, 1, "c", q, "a"))));
        test_db read;
        insert_element(&read->head, nullptr);
        const bool taken = load_db_from_pc(read.get(), dir.file("hand.xml").c_str()) == 1 &&
                           read->head && text == read->head->q;
        const bool fits = text_fits_reader_window(text.c_str(), text.size(), markup, true);
        EXPECT_EQ(fits, taken) << where;
        test_db db;
        find_or_add_ctgr(db.get(), "c");
        add_element(db.get(), 1, 1, text.c_str(), "a");
        xml_save_report report{nullptr, nullptr, true, 0, 0};
        EXPECT_EQ(save_xml(db.get(), dir.file("w.tmp").c_str(), dir.file("w.xml").c_str(), &report),
                  fits ? kSaveXmlOk : kSaveXmlTextTooLong)
            << where;
        EXPECT_EQ(report.element_id, fits ? 0u : 1u) << where;
      }
    }
  }
}

}  // namespace
