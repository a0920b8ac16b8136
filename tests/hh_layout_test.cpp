// The bytes the writer puts on the handheld, and how it cuts them into records.
#include <gtest/gtest.h>

#include <string>

#include "handheld/hh_layout.h"
#include "hotsync/services/sync_manager_host.h"
#include "platform/sync_manager.h"
#include "tests/hh_test_support.h"

namespace {

class HhLayout : public HandheldTest {
 protected:
  // A data set with category "c" (13 bytes of header and category) and one
  // element per question length, with empty answers.
  void fill_with_questions(std::initializer_list<size_t> lengths) {
    find_or_add_ctgr(db.get(), "c");
    uint32_t id = 1;
    for (size_t n : lengths) {
      add_element(db.get(), id, static_cast<uint16_t>(id), std::string(n, 'q').c_str(), "");
      ++id;
    }
  }
  test_db db;
};

TEST_F(HhLayout, EmptyDataSetIsOneRecordOfEightBytes) {
  db->tm_strt = 0x01020304;
  ASSERT_EQ(save(db.get()), kHhSaveOk);
  EXPECT_EQ(stored_records(), std::vector<bytes>({{0x00, 0x0B, 1, 2, 3, 4, 0, 0}}));
}

TEST_F(HhLayout, TheFortyOneByteRecord) {
  db->tm_strt = 1000000000;
  find_or_add_ctgr(db.get(), "ab");
  db->ctgrs[0]->bgcolor = 0x12345678;
  element* e = add_element(db.get(), 0x469A4B80, 100, "Q?", "A");
  e->stm_t_rpt = 100;
  e->l_ivl = 3;
  e->rl_l_ivl = 3;
  e->ivl = 5;
  e->rp = 2;
  e->gr = 4;
  ASSERT_EQ(save(db.get()), kHhSaveOk);
  const bytes expected = {0x00, 0x0B, 0x3B, 0x9A, 0xCA, 0x00, 0x00, 0x01,  // header
                          0x00, 0x02, 0x61, 0x62, 0x78, 0x56,              // category
                          0x46, 0x9A, 0x4B, 0x80, 0x00, 0x64, 0x00, 0x64, 0x00,
                          0x00, 0x00, 0x03, 0x00, 0x03, 0x00, 0x05, 0x00, 0x02,
                          0x00, 0x04, 0x00, 0x02, 0x00, 0x01, 0x51, 0x3F, 0x41};
  EXPECT_EQ(stored_records(), std::vector<bytes>({expected}));
}

TEST_F(HhLayout, DatabaseIsCreatedWithNameTypeCreatorAndNoFlags) {
  ASSERT_EQ(save(db.get()), kHhSaveOk);
  pdb_database pdb;
  std::string why;
  ASSERT_EQ(read_pdb_file(pdb_path(), &pdb, &why), kPdbFileOk);
  EXPECT_EQ(pdb.name, "QVelements");
  EXPECT_EQ(pdb.type, 0x44415441u);
  EXPECT_EQ(pdb.creator, 0x4E445645u);
  EXPECT_EQ(pdb.attributes, 0);
  EXPECT_EQ(pdb.version, 0);
  EXPECT_EQ(pdb.records[0].attributes, 0);
}

TEST_F(HhLayout, StreamBelowCapacityIsOneRecord) {
  fill_with_questions({64682});  // 13 + 24 + 64682 = 64719 bytes
  ASSERT_EQ(save(db.get()), kHhSaveOk);
  ASSERT_EQ(stored_records().size(), 1u);
  EXPECT_EQ(stored_records()[0].size(), 64719u);
}

TEST_F(HhLayout, TextThatWouldFillTheRecordToCapacityBeginsTheNext) {
  fill_with_questions({64683});  // 13 + 24 + 64683 = 64720
  ASSERT_EQ(save(db.get()), kHhSaveOk);
  auto records = stored_records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].size(), 37u);
  EXPECT_EQ(records[1].size(), 64683u);
}

TEST_F(HhLayout, ElementAtFill64700BeginsTheNextRecord) {
  fill_with_questions({64663, 0});  // 13 + 24 + 64663 = 64700
  ASSERT_EQ(save(db.get()), kHhSaveOk);
  auto records = stored_records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].size(), 64700u);
  EXPECT_EQ(records[1].size(), 24u);
  EXPECT_EQ(records[1][3], 2);  // the second element's id begins the record
}

TEST_F(HhLayout, ElementAtFill64699KeepsItsFixedPartAndMovesTheLengths) {
  fill_with_questions({64662, 0});  // F = 64699 when the second element begins
  ASSERT_EQ(save(db.get()), kHhSaveOk);
  auto records = stored_records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].size(), 64719u);
  EXPECT_EQ(records[1], bytes({0, 0, 0, 0}));
}

TEST_F(HhLayout, QuestionThatDoesNotFitBeginsARecordAfterItsLengths) {
  fill_with_questions({30000, 40000});
  ASSERT_EQ(save(db.get()), kHhSaveOk);
  auto records = stored_records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].size(), 13u + 24 + 30000 + 24);
  EXPECT_EQ(records[1].size(), 40000u);
}

TEST_F(HhLayout, AnswerMayBeginARecordOfItsOwn) {
  find_or_add_ctgr(db.get(), "c");
  add_element(db.get(), 1, 1, std::string(40000, 'q').c_str(), std::string(40000, 'a').c_str());
  ASSERT_EQ(save(db.get()), kHhSaveOk);
  auto records = stored_records();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1], bytes(40000, 'a'));
}

TEST_F(HhLayout, EmptyTextsTakeTwentyFourBytes) {
  find_or_add_ctgr(db.get(), "c");
  add_element(db.get(), 7, 1, "", "");
  ASSERT_EQ(save(db.get()), kHhSaveOk);
  EXPECT_EQ(stored_records()[0].size(), 13u + 24);
}

TEST_F(HhLayout, ColourLowHalfGoesLeastSignificantByteFirst) {
  find_or_add_ctgr(db.get(), "c");
  db->ctgrs[0]->bgcolor = 0x00123456;
  ASSERT_EQ(save(db.get()), kHhSaveOk);
  bytes record = stored_records()[0];
  EXPECT_EQ(bytes(record.begin() + 8, record.end()), bytes({0, 1, 'c', 0x56, 0x34}));
}

TEST_F(HhLayout, NoRecordIsLongerThan64719AndSaveNeverYields) {
  for (uint32_t i = 0; i < 3000; ++i) {
    add_element(db.get(), i, static_cast<uint16_t>(i),
                std::string(10 + (i * 7919) % 400, 'q').c_str(),
                std::string((i * 104729) % 300, 'a').c_str());
  }
  find_or_add_ctgr(db.get(), "c");
  int yields = sync_call_count(sync_call::yield);
  int writes = sync_call_count(sync_call::write_record);
  ASSERT_EQ(save(db.get()), kHhSaveOk);
  EXPECT_EQ(sync_call_count(sync_call::yield), yields);
  auto records = stored_records();
  EXPECT_GT(records.size(), 5u);
  EXPECT_EQ(sync_call_count(sync_call::write_record) - writes, static_cast<int>(records.size()));
  for (const bytes& r : records)
    EXPECT_LT(r.size(), kHhRecordCapacity);
}

TEST_F(HhLayout, TextTooLongIsRefusedBeforeAnythingIsDeleted) {
  find_or_add_ctgr(db.get(), "c");
  add_element(db.get(), 1, 1, "q", "a");
  ASSERT_EQ(save(db.get()), kHhSaveOk);
  const auto before = stored_records();
  add_element(db.get(), 42, 2, "", std::string(kHhRecordCapacity, 'a').c_str());
  EXPECT_EQ(save(db.get()), kHhSaveTextTooLong);
  EXPECT_EQ(save_report.element_id, 42u);
  EXPECT_EQ(stored_records(), before);
  EXPECT_EQ(sync_call_count(sync_call::delete_db), 1);
}

TEST_F(HhLayout, LongestTextThatFitsIsWritten) {
  find_or_add_ctgr(db.get(), "c");
  add_element(db.get(), 1, 1, std::string(kHhRecordCapacity - 1, 'q').c_str(), "");
  ASSERT_EQ(save(db.get()), kHhSaveOk);
  EXPECT_EQ(stored_records().back().size(), kHhRecordCapacity - 1);
}

TEST_F(HhLayout, CreateOrWriteFailureKeepsTheOldDatabase) {
  fill_with_questions({40000, 40000, 40000});
  ASSERT_EQ(save(db.get()), kHhSaveOk);
  const std::vector<bytes> before = stored_records();
  const struct {
    sync_call call;
    int status;
  } failures[] = {{sync_call::create_db, kHhSaveCreateFailed},
                  {sync_call::write_record, kHhSaveIncomplete}};
  for (const auto& f : failures) {
    sync_fault_arm(f.call, 1, kSyncErrIo);
    EXPECT_EQ(save(db.get()), f.status);
    sync_manager_reset();  // the HotSync ends
    sync_manager_use_folder(dir.path());
    EXPECT_EQ(stored_records(), before);
  }
}

TEST_F(HhLayout, DeleteFailureIsIgnored) {
  sync_fault_arm(sync_call::delete_db, 1, kSyncErrIo);
  EXPECT_EQ(save(db.get()), kHhSaveOk);
  EXPECT_EQ(stored_records().size(), 1u);
}

TEST_F(HhLayout, FailedRecordWriteRemovesTheIncompleteDatabase) {
  fill_with_questions({40000, 40000, 40000});
  sync_fault_arm(sync_call::write_record, 1, kSyncErrIo);
  EXPECT_EQ(save(db.get()), kHhSaveIncomplete);
  EXPECT_EQ(sync_call_count(sync_call::write_record), 3);
  EXPECT_FALSE(exists(pdb_path()));  // not a database with a gap in its stream
}

TEST_F(HhLayout, WriteOrCloseFailureIsReported) {
  add_element(db.get(), 1, 1, "q", "a");
  find_or_add_ctgr(db.get(), "c");
  sync_fault_arm(sync_call::write_record, 1, kSyncErrIo);
  EXPECT_EQ(save(db.get()), kHhSaveIncomplete);
  EXPECT_EQ(save_report.sync_error, kSyncErrIo);
  sync_fault_arm(sync_call::close_db, 1, kSyncErrIo);
  EXPECT_EQ(save(db.get()), kHhSaveCloseFailed);
}

}  // namespace
