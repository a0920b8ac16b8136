// The merge of two data sets decoded from the bytes: both lists end with the
// same ids (but for ids given twice in a list, which the merge leaves alone),
// every element names a category of its own table, nothing is freed twice.
#include <set>
#include <string>

#include "fuzz/fuzz_target.h"
#include "model/databases.h"
#include "sync/merge.h"

namespace {

void fill(element_db* db, const uint8_t** at, const uint8_t* end, int count, int name_offset,
          std::set<uint32_t>* twice) {
  release_db(db);
  construct_db(db);
  db->tm_strt = 1;
  const int categories = 1 + (*at < end ? **at % 3 : 0);
  for (int c = 0; c < categories; ++c) {
    find_or_add_ctgr(db, ("c" + std::to_string(c + name_offset)).c_str());
  }
  std::set<uint32_t> seen;
  insert_element(&db->head, nullptr);
  for (int i = 0; i < count && *at + 4 <= end; ++i, *at += 4) {
    const uint8_t* b = *at;
    element* e = new_element();
    e->id = 1000u + b[0] % 40;
    e->tm_t_rpt = b[1] % 8;
    e->rp = b[2] % 4;
    e->ctgr = static_cast<uint16_t>(b[3] % categories);
    e->q = copy_text(std::to_string(b[1]).c_str());
    e->a = copy_text("");
    if (!seen.insert(e->id).second) twice->insert(e->id);
    insert_element(&db->head, e);
  }
}

std::set<uint32_t> ids(const element_db& db, const std::set<uint32_t>& leave_out) {
  std::set<uint32_t> out;
  for (const element* e = db.head; e; e = e->next) {
    FUZZ_CHECK(e->ctgr < db.ctgr_count);
    if (!leave_out.count(e->id)) out.insert(e->id);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const uint32_t last_sync = data[0] & 1 ? 0 : 1000u + data[1] % 45;
  const int pc_count = data[2] % 48, hh_count = data[3] % 48;
  const uint8_t* at = data + 4;
  const uint8_t* end = data + size;
  std::set<uint32_t> twice;
  fill(&pc_db, &at, end, pc_count, 0, &twice);
  fill(&hh_db, &at, end, hh_count, 1, &twice);
  FUZZ_CHECK(sync_dbs(last_sync) == kMergedWriteBoth);
  FUZZ_CHECK(ids(pc_db, twice) == ids(hh_db, twice));
  release_db(&pc_db);
  construct_db(&pc_db);
  release_db(&hh_db);
  construct_db(&hh_db);
  return 0;
}
