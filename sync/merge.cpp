#include "sync/merge.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

#include "conduit/data_dir.h"
#include "desktop/xml_writer.h"
#include "handheld/hh_store.h"
#include "model/databases.h"
#include "platform/trace.h"
#include "sync/clone_ahead.h"
#include "sync/list_index.h"
#include "sync/side_writers.h"

namespace {

// The first element of an id in its list, with its place there. Sorted by the
// id read as signed, so ids of 2^31 and above come first; later elements of
// the same id take no part.
struct id_entry {
  int32_t id;
  uint32_t pos;  // the element's place in its list (its order), counted from 0
  uint16_t rp;   // the element's rp, kept here so that most pairs are settled without a visit
};

// Where the categories of one side went on the other in this merge: the
// tables only grow, so a name once found keeps its index.
struct category_map {
  std::vector<int32_t> to_index;  // by index in `from`; -1: not looked up yet
};

constexpr uint32_t kDeleted = 0xFFFFFFFFu;

// An element the other side has no partner for, in the order of ids.
struct lone_entry {
  element* el;
  uint32_t id;
  uint32_t pos;  // its place in the order, as id_entry's
};

struct merge_side {
  element_db* db;
  std::vector<element*> order;  // the list, element by element: walked once
  std::vector<id_entry> ids;
  // The elements of ids the other side has no partner for, found in one go
  // rather than through order as the pass comes to each.
  std::vector<lone_entry> lone;
  // By place in order: kDeleted for an element the pass deleted (freed at
  // once, unlinked at the end of the pass), then each other's new place.
  std::vector<uint32_t> place;
  int32_t deleted = 0;
  category_map categories_from_other;
};

// Stable sort by id as signed: a counting sort per 11 bits, lowest first,
// which keeps the list order of equal ids. Digits all ids share cost a count.
void sort_by_id(std::vector<id_entry>* ids, std::vector<id_entry>* spare) {
  spare->resize(ids->size());
  for (int shift = 0; shift < 32; shift += 11) {
    auto digit = [shift](const id_entry& e) {
      return ((static_cast<uint32_t>(e.id) ^ 0x80000000u) >> shift) & 0x7FFu;
    };
    uint32_t starts[2048] = {};
    for (const id_entry& e : *ids)
      starts[digit(e)] += 1;
    if (!ids->empty() && starts[digit(ids->front())] == ids->size()) continue;
    uint32_t sum = 0;
    for (uint32_t& start : starts) {
      const uint32_t count = start;
      start = sum;
      sum += count;
    }
    for (const id_entry& e : *ids)
      (*spare)[starts[digit(e)]++] = e;
    ids->swap(*spare);
  }
}

// Both lists, element by element, each from its reader's order where that
// still holds. Each step of a list walked waits for the element before to
// come from memory; two lists walked are walked together, so that their
// waits overlap.
void collect_orders(merge_side* a, list_order* a_order, merge_side* b, list_order* b_order) {
  const bool a_known = a_order && order_holds(a->db->head, *a_order);
  const bool b_known = b_order && order_holds(b->db->head, *b_order);
  if (a_known) a->order = std::move(*a_order);
  if (b_known) b->order = std::move(*b_order);
  element* x = a_known ? nullptr : a->db->head;
  element* y = b_known ? nullptr : b->db->head;
  while (x && y) {
    a->order.push_back(x);
    b->order.push_back(y);
    x = x->next;
    y = y->next;
  }
  for (; x; x = x->next)
    a->order.push_back(x);
  for (; y; y = y->next)
    b->order.push_back(y);
}

void index_ids(merge_side* side, std::vector<id_entry>* spare) {
  side->ids.resize(side->order.size());
  for (uint32_t pos = 0; pos < side->order.size(); ++pos) {
    element* e = side->order[pos];
    side->ids[pos] = id_entry{static_cast<int32_t>(e->id), pos, e->rp};
  }
  sort_by_id(&side->ids, spare);
  side->ids.erase(std::unique(side->ids.begin(), side->ids.end(),
                              [](const id_entry& a, const id_entry& b) { return a.id == b.id; }),
                  side->ids.end());
}

// The index in `to` of the category that `index` names in `from`, added with
// its colour when `to` lacks it. -1 when it cannot be added.
int32_t carry_category(element_db* to, const element_db* from, uint16_t index,
                       category_map* known) {
  int32_t found = 0;
  if (index < from->ctgr_count) {
    if (index < known->to_index.size() && known->to_index[index] >= 0) {
      found = known->to_index[index];
    } else {
      const category* c = from->ctgrs[index];
      const int32_t before = to->ctgr_count;
      found = find_or_add_ctgr(to, c->name);
      if (found < 0) return -1;
      if (to->ctgr_count > before) to->ctgrs[found]->bgcolor = c->bgcolor;
      try {
        if (index >= known->to_index.size()) known->to_index.resize(index + 1u, -1);
        known->to_index[index] = found;
      } catch (const std::bad_alloc&) {
        // Not remembered: it is looked up again next time.
      }
    }
  }
  if (to->ctgr_count == 0 && !add_root_ctgr(to)) return -1;
  return found;
}

// copy_element from one database's element into the other's, category by name.
bool copy_across(element_db* to_db, element* to, const element_db* from_db, const element* from,
                 category_map* known) {
  int32_t ctgr = carry_category(to_db, from_db, from->ctgr, known);
  if (ctgr < 0 || !copy_element(to, from)) return false;
  to->ctgr = static_cast<uint16_t>(ctgr);
  return true;
}

bool deleted_since(uint32_t id, uint32_t last_sync) {
  return last_sync != 0 && id <= last_sync;
}

// The element at `pos` of side's order leaves the list at the end of the pass.
void mark_deleted(merge_side* side, uint32_t pos) {
  side->place[pos] = kDeleted;
  side->deleted += 1;
}

// Moves *match (a cursor over the other side's sorted ids, only ever forward)
// to the first id not below `id`; whether that is the partner of `id`.
template <typename Cursor>
bool partner_at(const std::vector<id_entry>& ids, Cursor* match, int32_t id) {
  while (*match != ids.end() && (*match)->id < id)
    ++*match;
  return *match != ids.end() && (*match)->id == id;
}

// What the merge leaves in insert_hint, as the element-by-element insertions
// and deletions would: the last of them decides.
struct hint_record {
  bool touched = false;
  element* hint = nullptr;
};

// One pass over `mine`: the rp rule settles each pair (the element with more
// reviews gives its values to the other), one-sided elements are deleted from
// mine or copied into other. Copies go where insert_element puts them, found
// through an index over other's list; deletions wait for the end of the pass,
// as nothing in the pass looks at them again.
// Elements only one side has are visited (copied or freed) in id order, all
// over memory: a scout running ahead of the pass asks for them early, the
// element first, then its texts. Where the copies are made on a second
// thread, which reads the elements itself, only the elements to be freed are
// asked for, and none where the second thread takes those too (as donors).
// How far ahead is counted in such elements, not in entries: between two of
// them may lie thousands of pairs, each settled in a few nanoseconds.
struct scout {
  const merge_side* mine;
  uint32_t last_sync;
  bool copies_made_ahead;
  bool deletions_given;
  // Of mine's lone entries: how many the pass has come to, and how many each
  // kind of request has been made for.
  size_t reached = 0;
  size_t elements = 0, texts = 0;

  // Calls ask(entry) for each lone entry up to `distance` ahead of the pass.
  template <typename Ask>
  void run(size_t* done, size_t distance, Ask ask) {
    const size_t until = std::min(mine->lone.size(), reached + distance);
    for (; *done < until; ++*done)
      ask(mine->lone[*done]);
  }

  // The pass comes to its next lone entry: returns it.
  const lone_entry& step() {
    run(&elements, 16, [this](const lone_entry& e) {
      if (!copies_made_ahead || (!deletions_given && deleted_since(e.id, last_sync)))
        __builtin_prefetch(e.el);
    });
    if (!copies_made_ahead) {  // otherwise the second thread reads them
      run(&texts, 8, [](const lone_entry& e) {
        __builtin_prefetch(e.el->q);
        __builtin_prefetch(e.el->a);
      });
    }
    return mine->lone[reached++];
  }
};

// deletions_given: mine's deletions are marked already and their elements
// the second thread's, as donors.
bool merge_pass(merge_side* mine, merge_side* other, list_index* other_index, uint32_t last_sync,
                bool first, bool deletions_given, clone_ahead* copies, hint_record* hint) {
  // The hint an insertion leaves names an element of other's, looked up once
  // the pass is over rather than waited for at each insertion.
  uint32_t hint_node = kNoListNode;
  struct hint_resolved {
    const list_index* index;
    hint_record* hint;
    const uint32_t* node;
    ~hint_resolved() {
      if (*node != kNoListNode) hint->hint = index->element_of[*node];
    }
  } resolve_hint{other_index, hint, &hint_node};
  auto match = other->ids.begin();
  scout ahead{mine, last_sync, copies->running, deletions_given};
  for (id_entry& entry : mine->ids) {
    if (partner_at(other->ids, &match, entry.id)) {
      if (entry.rp > match->rp) {
        if (!copy_across(other->db, other->order[match->pos], mine->db, mine->order[entry.pos],
                         &other->categories_from_other))
          return false;
        list_index_key_changed(other_index, match->pos);
        match->rp = entry.rp;
      } else if (match->rp > entry.rp) {
        if (!copy_across(mine->db, mine->order[entry.pos], other->db, other->order[match->pos],
                         &mine->categories_from_other))
          return false;
        entry.rp = match->rp;
      }
      continue;
    }
    element* el = ahead.step().el;
    if (first) trace("(el_PC->id=%d, lastSyncTime=%d)\n", entry.id, static_cast<int>(last_sync));
    if (deleted_since(static_cast<uint32_t>(entry.id), last_sync)) {
      trace(first ? "...DELETING AN ELEMENT(1)" : "...DELETING AN ELEMENT(2)\n");
      *hint = hint_record{true, nullptr};
      hint_node = kNoListNode;
      if (deletions_given) continue;
      // Nothing reaches it through the list before the pass ends: freed now,
      // so that copies this thread makes next can use its memory (an element
      // of a reader's slab gives its memory back only with the whole slab).
      mark_deleted(mine, entry.pos);
      el->next = nullptr;
      free_element_nodes(el);
      continue;
    }
    // The copy holds the element's category index as well: made ahead, it is
    // all of the element this thread reads.
    copy_facts facts{};
    element* copy = clone_ahead_take(copies, el, &facts);
    const int32_t ctgr =
        copy ? carry_category(other->db, mine->db, facts.ctgr, &other->categories_from_other) : -1;
    if (ctgr < 0) {
      free_element_nodes(copy);
      return false;
    }
    if (ctgr != facts.ctgr) copy->ctgr = static_cast<uint16_t>(ctgr);
    try {
      hint_node = list_index_insert(other_index, copy, facts.tm_t_rpt);
      *hint = hint_record{true, nullptr};
    } catch (const std::bad_alloc&) {
      free_element_nodes(copy);
      return false;
    }
    trace(first ? "__ADDING AN ELEMENT(1)\n" : "__ADDING AN ELEMENT(2)\n");
  }
  return true;
}

// Notes which of side's entries the other side has no partner for.
void find_lone(merge_side* side, const merge_side& other) {
  side->lone.clear();
  auto match = other.ids.begin();
  for (const id_entry& entry : side->ids) {
    if (!partner_at(other.ids, &match, entry.id))
      side->lone.push_back(lone_entry{nullptr, static_cast<uint32_t>(entry.id), entry.pos});
  }
  // Apart from the search, where no branch stands between one element's
  // place in the order and the next: many are asked for at once.
  for (lone_entry& entry : side->lone)
    entry.el = side->order[entry.pos];
}

// Of the elements only `mine` has, those its pass deletes (deleted true) or
// copies into the other side (false): how many, and with `out`, added there
// in the order the pass comes to them.
template <typename Element = const element>
uint32_t lone_of_pass(const merge_side& mine, uint32_t last_sync, bool deleted,
                      std::vector<Element*>* out = nullptr) {
  uint32_t count = 0;
  for (const lone_entry& entry : mine.lone) {
    if (deleted_since(entry.id, last_sync) == deleted) {
      ++count;
      if (out) out->push_back(entry.el);
    }
  }
  return count;
}

// Marks the deletions of side's pass before it: the second thread may take
// their places from then on.
void mark_deletions(merge_side* side, uint32_t last_sync) {
  for (const lone_entry& entry : side->lone) {
    if (deleted_since(entry.id, last_sync)) mark_deleted(side, entry.pos);
  }
}

// Starts making both passes' copies ahead, where there are enough of them and
// the memory to list them. The second pass copies only elements the first
// neither changes nor frees: those only its side has. The elements the passes
// delete go with them as donors: the desktop's at once (nothing reads them
// again), the handheld's once the first pass is over (its copies are linked
// after them). True when the second thread takes the donors: the desktop's
// deletions are marked then.
bool start_copies(merge_side* pc, const merge_side& hh, uint32_t pc_copies, uint32_t hh_copies,
                  uint32_t last_sync, clone_ahead* copies) {
  std::vector<const element*> sources;
  std::vector<element*> donors;
  if (size_t{pc_copies} + hh_copies >= kCloneAheadFrom) {
    try {
      sources.reserve(size_t{pc_copies} + hh_copies);
      lone_of_pass(*pc, last_sync, false, &sources);
      lone_of_pass(hh, last_sync, false, &sources);
    } catch (const std::bad_alloc&) {
      sources.clear();
    }
    try {
      donors.reserve(pc->lone.size() - pc_copies + hh.lone.size() - hh_copies);
      lone_of_pass(*pc, last_sync, true, &donors);
      lone_of_pass(hh, last_sync, true, &donors);
    } catch (const std::bad_alloc&) {
      donors.clear();  // freed by the passes
    }
  }
  const size_t early = pc->lone.size() - pc_copies;
  const bool any_donors = !donors.empty();
  const bool running = clone_ahead_start(copies, std::move(sources), std::move(donors), early);
  if (!running || !any_donors) return false;
  mark_deletions(pc, last_sync);
  return true;
}

// Whatever way the merge ends, the copies' thread is stopped first.
struct copies_finished {
  clone_ahead* copies;
  ~copies_finished() { clone_ahead_finish(copies); }
};

// However a pass ends, the copies it put into the index are linked into the
// list, so that the list stays whole and freeable.
struct list_linked_at_end {
  const list_index* index;
  element** head;
  ~list_linked_at_end() { list_index_link(*index, head); }
};

// Links the list again without the elements the pass deleted, and renumbers
// the places of the rest. Allocates nothing, so that a merge that fails still
// leaves whole lists.
void unlink_deleted(merge_side* side) {
  if (side->deleted == 0) return;
  uint32_t kept = 0;
  for (uint32_t pos = 0; pos < side->order.size(); ++pos) {
    if (side->place[pos] == kDeleted) continue;
    side->place[pos] = kept;
    side->order[kept++] = side->order[pos];
  }
  side->order.resize(kept);
  side->db->head = kept ? side->order[0] : nullptr;
  for (uint32_t i = 0; i + 1 < kept; ++i)
    side->order[i]->next = side->order[i + 1];
  if (kept) side->order[kept - 1]->next = nullptr;
  for (id_entry& entry : side->ids) {
    entry.pos = side->place[entry.pos];  // kDeleted for the deleted: never looked at again
  }
  side->db->el_count -= side->deleted;
  side->deleted = 0;
}

// After copies went into a side's list: its order; its nodes in list order
// returned.
std::vector<uint32_t> order_after_inserts(merge_side* side, const list_index& index) {
  std::vector<uint32_t> nodes = list_index_order(index);
  side->order.resize(nodes.size());
  for (uint32_t i = 0; i < nodes.size(); ++i)
    side->order[i] = index.element_of[nodes[i]];
  return nodes;
}

// ... and the places of its own elements, for a pass to come.
void renumber_after_inserts(merge_side* side, const list_index& index) {
  const std::vector<uint32_t> nodes = order_after_inserts(side, index);
  std::vector<uint32_t> place(index.element_of.size());
  for (uint32_t i = 0; i < nodes.size(); ++i)
    place[nodes[i]] = i;
  for (id_entry& entry : side->ids)
    entry.pos = place[entry.pos];
  for (lone_entry& entry : side->lone)
    entry.pos = place[entry.pos];
  side->place.assign(nodes.size(), 0);
}

// Both passes; false when memory ran out (the lists stay whole and freeable).
// orders_wanted: the desktop's order is brought up to date for its writer.
bool merge(merge_side* pc, merge_side* hh, uint32_t last_sync, bool orders_wanted) {
  hint_record hint;
  bool ok = true;
  try {
    find_lone(pc, *hh);
    find_lone(hh, *pc);
  } catch (const std::bad_alloc&) {
    return false;
  }
  const uint32_t pc_copies = lone_of_pass(*pc, last_sync, false);
  const uint32_t hh_copies = lone_of_pass(*hh, last_sync, false);
  clone_ahead copies;
  const bool donors_given = start_copies(pc, *hh, pc_copies, hh_copies, last_sync, &copies);
  copies_finished finish{&copies};
  try {
    list_index index;
    list_index_build(&index, hh->order, pc_copies);
    const list_linked_at_end linked{&index, &hh->db->head};
    ok = merge_pass(pc, hh, &index, last_sync, true, donors_given, &copies, &hint);
    if (ok) renumber_after_inserts(hh, index);
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  unlink_deleted(pc);
  if (ok && donors_given) {
    // The first pass's copies are linked now, after elements of these too.
    mark_deletions(hh, last_sync);
    clone_ahead_give_late_donors(&copies);
  }
  if (ok) {
    try {
      list_index index;
      list_index_build(&index, pc->order, hh_copies);
      const list_linked_at_end linked{&index, &pc->db->head};
      ok = merge_pass(hh, pc, &index, last_sync, false, donors_given, &copies, &hint);
      if (ok && orders_wanted) {
        // For the desktop's writer; without the memory, it walks the list.
        try {
          order_after_inserts(pc, index);
        } catch (const std::bad_alloc&) {
          list_order().swap(pc->order);
        }
      }
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  unlink_deleted(hh);
  if (hint.touched) {
    insert_hint = hint.hint;
  } else if (donors_given) {
    // A merge that failed before its first change may leave a hint that
    // named an element given to the second thread.
    insert_hint = nullptr;
  }
  return ok;
}

int write_older_side() {
  bool written;
  if (pc_db.tm_strt < hh_db.tm_strt) {
    trace("PC-DB is older than HH-DB\n");
    written = write_handheld_side(&pc_db) == kHhSaveOk;
  } else {
    trace("HH-DB is older than PC-DB\n");
    char* tmp = get_tmp_path();
    char* xml = get_xml_path();
    written = tmp && xml && write_desktop_side(&hh_db, tmp, xml) == kSaveXmlOk;
    std::free(tmp);
    std::free(xml);
  }
  return written ? kOlderSideWritten : kOlderSideNotWritten;
}

}  // namespace

int sync_dbs(uint32_t lastSyncTime) {
  return sync_dbs_in_order(lastSyncTime, nullptr, nullptr);
}

int sync_dbs_in_order(uint32_t lastSyncTime, list_order* pc_order, list_order* hh_order) {
  trace("sync_dbs(lastSyncTime=%d)\n", static_cast<int>(lastSyncTime));
  try {
    merge_side pc{&pc_db, {}, {}, {}, {}, 0, {}}, hh{&hh_db, {}, {}, {}, {}, 0, {}};
    {
      std::vector<id_entry> spare;
      collect_orders(&pc, pc_order, &hh, hh_order);
      if (pc_order) pc_order->clear();
      if (hh_order) hh_order->clear();
      index_ids(&pc, &spare);
      index_ids(&hh, &spare);
    }
    trace("sync_dbs(): mPC.size()=%d, mHH.size()=%d\n", static_cast<int>(pc.ids.size()),
          static_cast<int>(hh.ids.size()));
    if (pc_db.tm_strt != hh_db.tm_strt) return write_older_side();
    pc.place.assign(pc.order.size(), 0);
    hh.place.assign(hh.order.size(), 0);
    if (!merge(&pc, &hh, lastSyncTime, pc_order != nullptr)) {
      // A category is only ever added for a copy; a full table is why one failed.
      const bool full = pc_db.ctgr_count >= kMaxCategories || hh_db.ctgr_count >= kMaxCategories;
      return full ? kMergeTooManyCategories : kMergeFailed;
    }
    if (pc_order) pc_order->swap(pc.order);
    if (hh_order) hh_order->swap(hh.order);
  } catch (const std::bad_alloc&) {
    return kMergeFailed;
  }
  return kMergedWriteBoth;
}
