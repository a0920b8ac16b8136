// The elements.xml reader on any bytes: no crash, and a data set it accepts
// is whole: every element has both texts and a category of its table.
#include "desktop/xml_reader.h"
#include "fuzz/fuzz_target.h"
#include "hotsync/services/hotsync_log.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* path = fuzz_scratch_path("elements.xml");
  fuzz_write_file(path, data, size);
  element_db db;
  construct_db(&db);
  insert_element(&db.head, nullptr);
  const int loaded = load_db_from_pc(&db, path);
  if (!loaded) FUZZ_CHECK(db.head == nullptr);
  for (const element* e = db.head; e; e = e->next) {
    FUZZ_CHECK(e->q && e->a);
    FUZZ_CHECK(e->ctgr < db.ctgr_count);
  }
  for (int32_t i = 0; i < db.ctgr_count; ++i)
    FUZZ_CHECK(db.ctgrs[i] && db.ctgrs[i]->name[0]);
  release_db(&db);
  hotsync_log_reset();
  return 0;
}
