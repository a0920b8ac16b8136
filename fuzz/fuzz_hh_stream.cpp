// The handheld reader on any records: the input is cut into records, each
// preceded by its 16-bit length. No crash; an accepted data set is whole.
#include <string>

#include "fuzz/fuzz_target.h"
#include "handheld/hh_store.h"
#include "hotsync/services/pdb_file.h"
#include "hotsync/services/sync_manager_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pdb_database pdb;
  pdb.name = "QVelements";
  for (size_t at = 0; at + 2 <= size && pdb.records.size() < 64;) {
    size_t length = (static_cast<size_t>(data[at]) << 8) | data[at + 1];
    at += 2;
    if (length > size - at) length = size - at;
    pdb.records.push_back(pdb_record{0, 0, std::vector<uint8_t>(data + at, data + at + length)});
    at += length;
  }
  const std::string path = fuzz_scratch_path("QVelements.pdb");
  std::string why;
  if (write_pdb_file(path, pdb, &why) != kPdbFileOk) std::abort();
  sync_manager_map_database("QVelements", path);
  element_db db;
  construct_db(&db);
  const int loaded = load_db_from_hh(&db);
  if (!loaded) FUZZ_CHECK(db.head == nullptr);
  for (const element* e = db.head; e; e = e->next) {
    FUZZ_CHECK(e->q && e->a);
    FUZZ_CHECK(e->ctgr < db.ctgr_count);
  }
  release_db(&db);
  sync_manager_reset();
  return 0;
}
