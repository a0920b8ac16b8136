// Reading the handheld database: round trips, damaged streams and every
// failure of the Sync Manager.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "handheld/hh_layout.h"
#include "handheld/record_reader.h"
#include "hotsync/services/sync_manager_host.h"
#include "model/element_arena.h"
#include "tests/hh_test_support.h"

namespace {

class LoadDbFromHh : public HandheldTest {
 protected:
  test_db db;
};

void expect_same_elements(const element_db* a, const element_db* b) {
  const element* x = a->head;
  const element* y = b->head;
  for (; x && y; x = x->next, y = y->next) {
    EXPECT_EQ(x->id, y->id);
    EXPECT_EQ(std::memcmp(&x->tm_t_rpt, &y->tm_t_rpt, 8 * sizeof(uint16_t)), 0) << x->id;
    EXPECT_STREQ(x->q, y->q);
    EXPECT_STREQ(x->a, y->a);
  }
  EXPECT_EQ(x, nullptr);
  EXPECT_EQ(y, nullptr);
}

TEST_F(LoadDbFromHh, SaveThenLoadGivesTheDataSetBackAcrossRecords) {
  test_db original;
  original->tm_strt = -12345;
  for (int c = 0; c < 20; ++c)
    find_or_add_ctgr(original.get(), ("cat" + std::to_string(c)).c_str());
  original->ctgrs[3]->bgcolor = 0x00123456;
  for (uint32_t i = 0; i < 4000; ++i) {
    element* e =
        add_element(original.get(), 1000000000u + i, static_cast<uint16_t>(i % 97),
                    std::string(1 + (i * 31) % 500, 'q').c_str(),
                    ("answer\n" + std::to_string(i)).c_str(), static_cast<uint16_t>(i % 20));
    e->gr = static_cast<uint16_t>(i % 6);
    e->rp = static_cast<uint16_t>(i);
  }
  ASSERT_EQ(save(original.get()), kHhSaveOk);
  ASSERT_GT(stored_records().size(), 10u);

  int yields = sync_call_count(sync_call::yield);
  list_order order;
  ASSERT_EQ(load_db_from_hh(db.get(), &load_report, nullptr, &order), 1);
  EXPECT_EQ(sync_call_count(sync_call::yield) - yields, 4000);
  EXPECT_TRUE(order_holds(db->head, order));
  EXPECT_EQ(db->tm_strt, -12345);
  ASSERT_EQ(db->ctgr_count, 20);
  EXPECT_STREQ(db->ctgrs[19]->name, "cat19");
  EXPECT_EQ(db->ctgrs[3]->bgcolor, 0xFFFF3456u);
  expect_same_elements(original.get(), db.get());
}

// Records enough for the reader to take its elements from slabs.
TEST_F(LoadDbFromHh, LargeDatabaseComesBackWhole) {
  test_db original;
  find_or_add_ctgr(original.get(), "large");
  element** tail = &original->head;
  for (uint32_t i = 0; i < 50000; ++i) {
    const std::string q(1 + (i * 31) % 1400, 'q'), a = "answer " + std::to_string(i);
    element* e = new_element_with_room(q.size(), a.size());
    std::memcpy(e->q, q.data(), q.size());
    std::memcpy(e->a, a.data(), a.size());
    e->id = i + 1;
    e->rp = static_cast<uint16_t>(i);
    *tail = e;
    tail = &e->next;
  }
  ASSERT_EQ(save(original.get()), kHhSaveOk);
  ASSERT_GE(uint64_t{stored_records().size()} * kHhRecordCapacity, kElementArenaFrom);
  ASSERT_EQ(load_db_from_hh(db.get(), &load_report), 1);
  ASSERT_TRUE(db->head && (db->head->texts_in_block & kInSlab));
  expect_same_elements(original.get(), db.get());
}

TEST_F(LoadDbFromHh, StoredOrderIsKeptEvenWhenUnsorted) {
  store_records({header_bytes(11, 5, 0), element_bytes(1, 30, 0, "a", ""),
                 element_bytes(2, 10, 0, "b", ""), element_bytes(3, 20, 0, "c", "")});
  ASSERT_EQ(load(db.get()), 1);
  EXPECT_EQ(ids_of(db.get()), "1 2 3");
}

TEST_F(LoadDbFromHh, VersionIsNotChecked) {
  for (uint16_t version : {10, 12, 0xFFFF}) {
    test_db fresh;
    store_records({header_bytes(version, 7, 0)});
    EXPECT_EQ(load(fresh.get()), 1) << version;
    EXPECT_EQ(fresh->tm_strt, 7);
  }
}

TEST_F(LoadDbFromHh, HeaderOnlyIsADataSetWithoutElements) {
  store_records({header_bytes(11, 99, 0)});
  ASSERT_EQ(load(db.get()), 1);
  EXPECT_EQ(db->tm_strt, 99);
  EXPECT_EQ(db->ctgr_count, 0);
  EXPECT_EQ(db->head, nullptr);
}

TEST_F(LoadDbFromHh, ColoursComeBackWithAFullHighHalf) {
  bytes stream = header_bytes(11, 0, 2);
  for (const char* name : {"a", "b"}) {
    append_be16(&stream, 1);
    append_text(&stream, name);
    stream.push_back(0x34);
    stream.push_back(0x12);
  }
  store_records({stream});
  ASSERT_EQ(load(db.get()), 1);
  EXPECT_EQ(db->ctgrs[0]->bgcolor, 0xFFFF1234u);
  EXPECT_EQ(db->ctgrs[1]->bgcolor, 0xFFFF1234u);
}

TEST_F(LoadDbFromHh, UnitsAreTakenAcrossEveryRecordBoundary) {
  // A foreign writer may cut after any unit: here after every one of them.
  std::vector<bytes> records;
  auto unit = [&](const bytes& b) { records.push_back(b); };
  unit({0x00, 0x0B});
  unit({0, 0, 0, 1});
  unit({0, 1});
  unit({0, 1});
  unit({'c'});
  unit({0xFF, 0xFF});
  bytes e = element_bytes(77, 5, 0, "qq", "aaa");
  size_t at = 0;
  for (size_t size : {4, 2, 2, 2, 2, 2, 2, 2, 2, 4, 2, 3}) {
    unit(bytes(e.begin() + at, e.begin() + at + size));
    at += size;
  }
  store_records(records);
  ASSERT_EQ(load(db.get()), 1);
  ASSERT_NE(db->head, nullptr);
  EXPECT_EQ(db->head->id, 77u);
  EXPECT_STREQ(db->head->q, "qq");
  EXPECT_STREQ(db->head->a, "aaa");
  EXPECT_EQ(db->head->gr, 5);
}

TEST_F(LoadDbFromHh, TextEndsAtItsFirstNul) {
  bytes stream = header_bytes(11, 0, 0);
  bytes e = element_bytes(1, 1, 0, std::string("ab\0cd", 5), "x");
  stream.insert(stream.end(), e.begin(), e.end());
  store_records({stream});
  ASSERT_EQ(load(db.get()), 1);
  EXPECT_STREQ(db->head->q, "ab");
  EXPECT_STREQ(db->head->a, "x");
}

// --- categories a foreign writer may store -----------------------------------

TEST_F(LoadDbFromHh, LongStoredNameKeepsItsFirstBytesAndTheStreamStaysInStep) {
  bytes stream = header_bytes(11, 0, 1);
  append_be16(&stream, 300);
  append_text(&stream, std::string(300, 'n'));
  stream.push_back(0x01);
  stream.push_back(0x02);
  bytes e = element_bytes(9, 1, 0, "q", "a");
  stream.insert(stream.end(), e.begin(), e.end());
  store_records({stream});
  ASSERT_EQ(load(db.get()), 1);
  EXPECT_EQ(std::string(db->ctgrs[0]->name), std::string(127, 'n'));
  EXPECT_EQ(db->ctgrs[0]->bgcolor, 0xFFFF0201u);
  ASSERT_NE(db->head, nullptr);
  EXPECT_EQ(db->head->id, 9u);
}

TEST_F(LoadDbFromHh, EmptyFirstNameLosesItsColourAndElementsGetRoot) {
  bytes stream = header_bytes(11, 0, 1);
  append_be16(&stream, 0);
  stream.push_back(0x01);
  stream.push_back(0x02);
  bytes e = element_bytes(9, 1, 0, "q", "a");
  stream.insert(stream.end(), e.begin(), e.end());
  store_records({stream});
  ASSERT_EQ(load(db.get()), 1);
  ASSERT_EQ(db->ctgr_count, 1);
  EXPECT_STREQ(db->ctgrs[0]->name, "root");
  EXPECT_EQ(db->head->ctgr, 0);
}

TEST_F(LoadDbFromHh, OutOfRangeAndDuplicateCategoriesGiveValidIndices) {
  bytes stream = header_bytes(11, 0, 3);
  for (const char* name : {"a", "a", "b"}) {
    append_be16(&stream, 1);
    append_text(&stream, name);
    stream.push_back(0);
    stream.push_back(0);
  }
  for (uint16_t ctgr : {0, 1, 2, 3, 500}) {
    bytes e = element_bytes(ctgr, 1, ctgr, "q", "a");
    stream.insert(stream.end(), e.begin(), e.end());
  }
  store_records({stream});
  ASSERT_EQ(load(db.get()), 1);
  ASSERT_EQ(db->ctgr_count, 2);
  for (const element* e = db->head; e; e = e->next)
    EXPECT_LT(e->ctgr, db->ctgr_count) << e->id;
  EXPECT_EQ(db->head->next->ctgr, 1);        // stored 1 is within the table: kept
  EXPECT_EQ(db->head->next->next->ctgr, 0);  // stored 2 is not
}

// --- no data, or data that cannot be read --------------------------------------

TEST_F(LoadDbFromHh, MissingDatabaseCallsNeitherCountNorClose) {
  db->tm_strt = 5;
  EXPECT_EQ(load(db.get()), 0);
  EXPECT_EQ(load_report.status, kHhLoadNotFound);
  EXPECT_TRUE(hh_load_found_no_data(load_report.status));
  EXPECT_EQ(sync_call_count(sync_call::record_count), 0);
  EXPECT_EQ(sync_call_count(sync_call::close_db), 0);
  EXPECT_EQ(db->tm_strt, 5);
}

TEST_F(LoadDbFromHh, OtherOpenFailureEndsAtOnce) {
  store_records({header_bytes(11, 0, 0)});
  sync_fault_arm(sync_call::open_db, 1, kSyncErrIo);
  EXPECT_EQ(load(db.get()), 0);
  EXPECT_EQ(load_report.status, kHhLoadOpenFailed);
  EXPECT_FALSE(hh_load_found_no_data(load_report.status));
  EXPECT_EQ(sync_call_count(sync_call::record_count), 0);
  EXPECT_EQ(sync_call_count(sync_call::close_db), 0);
}

TEST_F(LoadDbFromHh, CountFailureClosesWithoutReadingAndNextLoadStartsAfresh) {
  store_records({header_bytes(11, 3, 0)});
  sync_fault_arm(sync_call::record_count, 1, kSyncErrIo);
  EXPECT_EQ(load(db.get()), 0);
  EXPECT_EQ(load_report.status, kHhLoadCountFailed);
  EXPECT_EQ(sync_call_count(sync_call::read_record), 0);
  EXPECT_EQ(sync_call_count(sync_call::close_db), 1);
  EXPECT_EQ(load(db.get()), 1);
  EXPECT_EQ(db->tm_strt, 3);
}

TEST_F(LoadDbFromHh, DatabaseWithoutRecordsHoldsNoData) {
  store_records({});
  EXPECT_EQ(load(db.get()), 0);
  EXPECT_EQ(load_report.status, kHhLoadNoRecords);
  EXPECT_TRUE(hh_load_found_no_data(load_report.status));
  EXPECT_EQ(sync_call_count(sync_call::close_db), 1);
}

TEST_F(LoadDbFromHh, UnreadableFirstRecordIsNotNoData) {
  store_records({header_bytes(11, 3, 0)});
  sync_fault_arm(sync_call::read_record, 1, kSyncErrIo);
  EXPECT_EQ(load(db.get()), 0);
  EXPECT_EQ(load_report.status, kHhLoadReadFailed);
  EXPECT_FALSE(hh_load_found_no_data(load_report.status));
  EXPECT_FALSE(hh_reader.started);
  EXPECT_EQ(sync_call_count(sync_call::close_db), 1);
}

TEST_F(LoadDbFromHh, RecordThatCannotBeReadAtAnIdFailsTheLoad) {
  store_records(
      {header_bytes(11, 0, 0), element_bytes(1, 1, 0, "q", "a"), element_bytes(2, 2, 0, "q", "a")});
  sync_fault_arm(sync_call::read_record, 3, kSyncErrIo);
  EXPECT_EQ(load(db.get()), 0);
  EXPECT_EQ(load_report.status, kHhLoadReadFailed);
  EXPECT_EQ(load_report.record, 2);
  EXPECT_EQ(db->head, nullptr);
}

TEST_F(LoadDbFromHh, StreamEndingInsideAUnitIsDamaged) {
  auto joined = [](bytes a, const bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  bytes cat = header_bytes(11, 0, 1);
  append_be16(&cat, 3);
  append_text(&cat, "abc");
  bytes elem = element_bytes(1, 1, 0, "question", "answer");
  const std::vector<bytes> cut_streams = {
      bytes({0x00, 0x0B, 0, 0}),                            // inside the header
      bytes(cat.begin(), cat.end()),                        // before the colour
      bytes(elem.begin(), elem.begin() + 6),                // after the id
      bytes(elem.begin(), elem.begin() + 23),               // inside the lengths
      bytes(elem.begin(), elem.end() - 1),                  // inside the answer
      joined(elem, bytes(elem.begin(), elem.begin() + 2)),  // inside the next one's id
  };
  for (size_t i = 0; i < cut_streams.size(); ++i) {
    bytes stream = i < 2 ? cut_streams[i] : header_bytes(11, 0, 0);
    if (i >= 2) stream.insert(stream.end(), cut_streams[i].begin(), cut_streams[i].end());
    store_records({stream});
    test_db fresh;
    EXPECT_EQ(load(fresh.get()), 0) << i;
    EXPECT_EQ(load_report.status, kHhLoadDamaged) << i;
    EXPECT_EQ(fresh->head, nullptr) << i;
  }
}

TEST_F(LoadDbFromHh, RecordShorterThanItsFirstUnitIsDamaged) {
  bytes e = element_bytes(1, 1, 0, "q", "a");
  store_records(
      {header_bytes(11, 0, 0), bytes(e.begin(), e.begin() + 2), bytes(e.begin() + 2, e.end())});
  EXPECT_EQ(load(db.get()), 0);
  EXPECT_EQ(load_report.status, kHhLoadDamaged);
  store_records({header_bytes(11, 0, 0), bytes(), e});
  EXPECT_EQ(load(db.get()), 0);
  EXPECT_EQ(load_report.status, kHhLoadDamaged);
}

TEST_F(LoadDbFromHh, EmptyFirstRecordIsReadPastAnEmptyLaterOneIsDamaged) {
  bytes stream = header_bytes(11, 0, 0);
  bytes e = element_bytes(7, 1, 0, "q", "a");
  stream.insert(stream.end(), e.begin(), e.end());
  store_records({bytes(), stream});
  ASSERT_EQ(load(db.get()), 1);
  ASSERT_NE(db->head, nullptr);
  EXPECT_EQ(db->head->id, 7u);
  test_db other;
  store_records({header_bytes(11, 0, 0), e, bytes(), e});
  EXPECT_EQ(load(other.get()), 0);
  EXPECT_EQ(load_report.status, kHhLoadDamaged);
}

TEST_F(LoadDbFromHh, RecordLongerThan65535MakesTheDatabaseUnreadable) {
  store_records({header_bytes(11, 0, 0), bytes(65536, 0)});
  EXPECT_EQ(load(db.get()), 0);
  EXPECT_EQ(load_report.status, kHhLoadOpenFailed);
  EXPECT_EQ(load_report.sync_error, kSyncErrDamaged);
}

TEST_F(LoadDbFromHh, RecordOf65535BytesIsAccepted) {
  bytes stream = header_bytes(11, 0, 0);
  bytes e = element_bytes(1, 1, 0, std::string(65535 - 8 - 24, 'q'), "");
  stream.insert(stream.end(), e.begin(), e.end());
  ASSERT_EQ(stream.size(), 65535u);
  store_records({stream});
  ASSERT_EQ(load(db.get()), 1);
  EXPECT_EQ(std::strlen(db->head->q), 65535u - 32);
}

}  // namespace
