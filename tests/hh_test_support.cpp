#include "tests/hh_test_support.h"

#include "handheld/hh_layout.h"
#include "handheld/record_reader.h"
#include "handheld/record_writer.h"
#include "hotsync/services/sync_manager_host.h"
#include "util/byte_order.h"

void HandheldTest::SetUp() {
  sync_manager_reset();
  sync_manager_use_folder(dir.path());
  reset_record_reader();
  reset_record_writer();
  insert_element(nullptr, nullptr);
}

void HandheldTest::TearDown() {
  sync_manager_reset();
}

std::vector<bytes> HandheldTest::stored_records() {
  pdb_database db;
  std::string why;
  EXPECT_EQ(read_pdb_file(pdb_path(), &db, &why), kPdbFileOk) << why;
  std::vector<bytes> out;
  for (const pdb_record& r : db.records)
    out.emplace_back(pdb_record_data(db, r), pdb_record_data(db, r) + pdb_record_size(r));
  return out;
}

void HandheldTest::store_records(const std::vector<bytes>& records) {
  pdb_database db;
  db.name = kHhDbName;
  db.type = kHhType;
  db.creator = kHhCreator;
  for (const bytes& r : records)
    db.records.push_back(pdb_record{0, 0, r});
  std::string why;
  ASSERT_EQ(write_pdb_file(pdb_path(), db, &why), kPdbFileOk) << why;
}

// Grown first and written in place: GCC 12 at -O3 takes an insert of a small
// array at the end for an overflow (-Wstringop-overflow) where there is none.
void append_be16(bytes* out, uint16_t v) {
  out->resize(out->size() + 2);
  put_be16(out->data() + out->size() - 2, v);
}

void append_be32(bytes* out, uint32_t v) {
  out->resize(out->size() + 4);
  put_be32(out->data() + out->size() - 4, v);
}

void append_text(bytes* out, const std::string& text) {
  out->insert(out->end(), text.begin(), text.end());
}

bytes element_bytes(uint32_t id, uint16_t tm_t_rpt, uint16_t ctgr, const std::string& q,
                    const std::string& a) {
  bytes out;
  append_be32(&out, id);
  for (uint16_t v : {tm_t_rpt, tm_t_rpt, ctgr, uint16_t{1}, uint16_t{2}, uint16_t{3}, uint16_t{4},
                     uint16_t{5}}) {
    append_be16(&out, v);
  }
  append_be16(&out, static_cast<uint16_t>(q.size()));
  append_be16(&out, static_cast<uint16_t>(a.size()));
  append_text(&out, q);
  append_text(&out, a);
  return out;
}

bytes header_bytes(uint16_t version, int32_t tm_strt, uint16_t categories) {
  bytes out;
  append_be16(&out, version);
  append_be32(&out, static_cast<uint32_t>(tm_strt));
  append_be16(&out, categories);
  return out;
}
