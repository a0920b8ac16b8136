// Our Sync Manager's .pdb reader on any bytes: no crash, and what it accepts
// it writes back so that it reads the same again.
#include "fuzz/fuzz_target.h"
#include "hotsync/services/pdb_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pdb_database db;
  std::string why;
  if (!parse_pdb(data, size, &db, &why)) {
    FUZZ_CHECK(!why.empty());
    return 0;
  }
  for (const pdb_record& r : db.records)
    FUZZ_CHECK(pdb_record_size(r) <= kPdbMaxRecordSize);
  const std::vector<uint8_t> written = serialize_pdb(db);
  pdb_database again;
  FUZZ_CHECK(parse_pdb(written.data(), written.size(), &again, &why));
  FUZZ_CHECK(serialize_pdb(again) == written);
  return 0;
}
