// A handheld in a scratch folder, served by our Sync Manager, for the tests of
// the handheld store.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "handheld/hh_store.h"
#include "hotsync/services/pdb_file.h"
#include "tests/test_support.h"

using bytes = std::vector<uint8_t>;

class HandheldTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string pdb_path() const { return dir.file("QVelements.pdb"); }
  // The records of QVelements as they stand on disk.
  std::vector<bytes> stored_records();
  // Puts a QVelements holding exactly these records on the handheld.
  void store_records(const std::vector<bytes>& records);
  int save(element_db* db) { return save_db_to_hh(db, &save_report); }
  int load(element_db* db) { return load_db_from_hh(db, &load_report); }

  scratch_dir dir;
  hh_save_report save_report{};
  hh_load_report load_report{};
};

// Big-endian helpers for building streams by hand.
void append_be16(bytes* out, uint16_t v);
void append_be32(bytes* out, uint32_t v);
void append_text(bytes* out, const std::string& text);
// An element's stored form: id, the eight values, both lengths and texts.
bytes element_bytes(uint32_t id, uint16_t tm_t_rpt, uint16_t ctgr, const std::string& q,
                    const std::string& a);
// The 8-byte header: version, start time, category count.
bytes header_bytes(uint16_t version, int32_t tm_strt, uint16_t categories);
