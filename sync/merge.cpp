#include "sync/merge.h"

#include <cstdlib>
#include <map>
#include <new>

#include "conduit/data_dir.h"
#include "conduit/side_writers.h"
#include "model/databases.h"
#include "platform/trace.h"

namespace {

// Keyed by the id read as signed, so ids of 2^31 and above come first.
using id_map = std::map<int32_t, element*>;

// The first element of each id, in list order; later ones take no part.
void build_map(const element_db* db, id_map* map) {
  for (element* e = db->head; e; e = e->next)
    map->emplace(static_cast<int32_t>(e->id), e);
}

// The index in `to` of the category that `index` names in `from`, added with
// its colour when `to` lacks it. -1 when it cannot be added.
int32_t carry_category(element_db* to, const element_db* from, uint16_t index) {
  int32_t found = 0;
  if (index < from->ctgr_count) {
    const category* c = from->ctgrs[index];
    const int32_t before = to->ctgr_count;
    found = find_or_add_ctgr(to, c->name);
    if (found == kNoCategory) return -1;
    if (to->ctgr_count > before) to->ctgrs[found]->bgcolor = c->bgcolor;
  }
  if (to->ctgr_count == 0 && !add_root_ctgr(to)) return -1;
  return found;
}

// copy_element from one database's element into the other's, category by name.
bool copy_across(element_db* to_db, element* to, const element_db* from_db, const element* from) {
  int32_t ctgr = carry_category(to_db, from_db, from->ctgr);
  if (ctgr < 0 || !copy_element(to, from)) return false;
  to->ctgr = static_cast<uint16_t>(ctgr);
  return true;
}

// The rp rule: the element with more reviews gives its values to the other.
bool settle_pair(element* pc, element* hh) {
  if (pc->rp > hh->rp) return copy_across(&hh_db, hh, &pc_db, pc);
  if (hh->rp > pc->rp) return copy_across(&pc_db, pc, &hh_db, hh);
  return true;
}

// A new element of to_db with from's id, texts and values, placed by tm_t_rpt.
bool add_copy(element_db* to_db, const element_db* from_db, const element* from) {
  element* copy = new_element();
  if (!copy) return false;
  copy->id = from->id;
  if (!copy_across(to_db, copy, from_db, from)) {
    free_element_nodes(copy);
    return false;
  }
  insert_element(&to_db->head, nullptr);
  insert_element(&to_db->head, copy);
  return true;
}

bool deleted_since(uint32_t id, uint32_t last_sync) {
  return last_sync != 0 && id <= last_sync;
}

// One pass over `mine`: pairs settled, one-sided elements deleted from mine_db
// or copied to other_db.
bool merge_pass(const id_map& mine, const id_map& other, element_db* mine_db, element_db* other_db,
                uint32_t last_sync, bool first) {
  for (const auto& [id, el] : mine) {
    auto match = other.find(id);
    if (match != other.end()) {
      bool ok = first ? settle_pair(el, match->second) : settle_pair(match->second, el);
      if (!ok) return false;
      continue;
    }
    if (first) trace("(el_PC->id=%d, lastSyncTime=%d)\n", id, static_cast<int>(last_sync));
    if (deleted_since(el->id, last_sync)) {
      trace(first ? "...DELETING AN ELEMENT(1)" : "...DELETING AN ELEMENT(2)\n");
      delete_element(mine_db, el);
    } else {
      if (!add_copy(other_db, mine_db, el)) return false;
      trace(first ? "__ADDING AN ELEMENT(1)\n" : "__ADDING AN ELEMENT(2)\n");
    }
  }
  return true;
}

int write_older_side() {
  if (pc_db.tm_strt < hh_db.tm_strt) {
    trace("PC-DB is older than HH-DB\n");
    write_handheld_side(&pc_db);
  } else {
    trace("HH-DB is older than PC-DB\n");
    char* tmp = get_tmp_path();
    char* xml = get_xml_path();
    if (tmp && xml) write_desktop_side(&hh_db, tmp, xml);
    std::free(tmp);
    std::free(xml);
  }
  return kOlderSideWritten;
}

}  // namespace

int sync_dbs(uint32_t lastSyncTime) {
  trace("sync_dbs(lastSyncTime=%d)\n", static_cast<int>(lastSyncTime));
  try {
    id_map mPC, mHH;
    build_map(&pc_db, &mPC);
    build_map(&hh_db, &mHH);
    trace("sync_dbs(): mPC.size()=%d, mHH.size()=%d\n", static_cast<int>(mPC.size()),
          static_cast<int>(mHH.size()));
    if (pc_db.tm_strt != hh_db.tm_strt) return write_older_side();
    if (!merge_pass(mPC, mHH, &pc_db, &hh_db, lastSyncTime, true)) return kMergeFailed;
    if (!merge_pass(mHH, mPC, &hh_db, &pc_db, lastSyncTime, false)) return kMergeFailed;
  } catch (const std::bad_alloc&) {
    return kMergeFailed;
  }
  return kMergedWriteBoth;
}
