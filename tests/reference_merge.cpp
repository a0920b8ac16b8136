#include "tests/reference_merge.h"

#include <map>

#include "model/databases.h"
#include "model/element_db.h"

namespace {

using id_map = std::map<int32_t, element*>;

void build_map(const element_db* db, id_map* map) {
  for (element* e = db->head; e; e = e->next)
    map->emplace(static_cast<int32_t>(e->id), e);
}

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

bool copy_across(element_db* to_db, element* to, const element_db* from_db, const element* from) {
  int32_t ctgr = carry_category(to_db, from_db, from->ctgr);
  if (ctgr < 0 || !copy_element(to, from)) return false;
  to->ctgr = static_cast<uint16_t>(ctgr);
  return true;
}

bool settle_pair(element* pc, element* hh) {
  if (pc->rp > hh->rp) return copy_across(&hh_db, hh, &pc_db, pc);
  if (hh->rp > pc->rp) return copy_across(&pc_db, pc, &hh_db, hh);
  return true;
}

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

bool merge_pass(const id_map& mine, const id_map& other, element_db* mine_db, element_db* other_db,
                uint32_t last_sync, bool first) {
  for (const auto& [id, el] : mine) {
    auto match = other.find(id);
    if (match != other.end()) {
      if (!(first ? settle_pair(el, match->second) : settle_pair(match->second, el))) return false;
      continue;
    }
    if (last_sync != 0 && el->id <= last_sync) {
      delete_element(mine_db, el);
    } else if (!add_copy(other_db, mine_db, el)) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool reference_merge(uint32_t last_sync) {
  id_map pc, hh;
  build_map(&pc_db, &pc);
  build_map(&hh_db, &hh);
  return merge_pass(pc, hh, &pc_db, &hh_db, last_sync, true) &&
         merge_pass(hh, pc, &hh_db, &pc_db, last_sync, false);
}
