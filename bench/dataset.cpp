#include "bench/dataset.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "desktop/xml_writer.h"
#include "handheld/hh_store.h"
#include "hotsync/services/handheld_user.h"
#include "hotsync/services/sync_manager_host.h"

namespace {

struct rng {
  uint64_t state;
  uint64_t next() {  // splitmix64: fast, and the same on every platform
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }
  bool chance(uint32_t percent_tenths) { return below(1000) < percent_tenths; }
};

const char* const kWords[] = {
    "the",     "of",       "a",        "to",      "in",        "is",        "word",
    "meaning", "capital",  "river",    "verb",    "noun",      "translate", "die Straße",
    "größer",  "français", "équation", "formula", "integral",  "compound",  "element",
    "history", "century",  "king",     "battle",  "treaty",    "function",  "derivative",
    "pointer", "memory",   "protein",  "enzyme",  "molecule",  "theorem",   "proof",
    "because", "which",    "between",  "always",  "sometimes", "never",     "example"};
constexpr uint32_t kWordCount = sizeof kWords / sizeof kWords[0];

// About `length` bytes of words; lines broken now and then; a comparison or an
// ampersand in some, which the desktop file keeps in CDATA.
std::string text(rng* r, uint32_t length, bool multi_line, bool markup) {
  std::string s;
  while (s.size() < length) {
    if (!s.empty()) s += (multi_line && r->chance(60)) ? '\n' : ' ';
    s += kWords[r->below(kWordCount)];
  }
  if (markup) s += r->chance(500) ? " (a < b)" : " & co.";
  return s;
}

// Lengths from a few bytes to a few hundred, most of them short.
uint32_t length(rng* r, uint32_t typical) {
  uint32_t l = typical / 4 + r->below(typical);
  if (r->chance(50)) l *= 4;
  return l;
}

element* make_element(rng* r, uint32_t id, uint16_t ctgr_count) {
  element* e = new_element();
  e->id = id;
  e->ivl = static_cast<uint16_t>(1 + r->below(2048));
  e->l_ivl = e->ivl;
  e->rl_l_ivl = static_cast<uint16_t>(e->ivl - r->below(e->ivl));
  e->tm_t_rpt = static_cast<uint16_t>(700 + r->below(4000));
  e->stm_t_rpt = e->tm_t_rpt;
  e->rp = static_cast<uint16_t>(r->below(20));
  e->gr = static_cast<uint16_t>(r->below(6));
  e->ctgr = static_cast<uint16_t>(r->below(ctgr_count));
  e->q = copy_text(text(r, length(r, 80), r->chance(30), r->chance(80)).c_str());
  e->a = copy_text(text(r, length(r, 180), r->chance(150), r->chance(80)).c_str());
  return e;
}

void link(element_db* db, const std::vector<element*>& order) {
  db->head = nullptr;
  for (size_t i = order.size(); i-- > 0;) {
    order[i]->next = db->head;
    db->head = order[i];
  }
}

bool by_schedule(const element* a, const element* b) {
  return a->tm_t_rpt < b->tm_t_rpt;
}

void arrange(std::vector<element*>* all, schedule_order order, rng* r) {
  if (order == schedule_order::random) return;
  std::stable_sort(all->begin(), all->end(), by_schedule);
  if (order == schedule_order::sorted) return;
  // Reviews move some elements to a later day in place; a few go earlier.
  for (element* e : *all) {
    if (r->chance(10)) {
      e->tm_t_rpt = static_cast<uint16_t>(e->tm_t_rpt + 1 + r->below(200));
    } else if (r->chance(1) && e->tm_t_rpt > 700) {
      e->tm_t_rpt = static_cast<uint16_t>(700 + r->below(e->tm_t_rpt - 700));
    }
  }
}

void add_categories(element_db* db, int32_t count) {
  static const char* const kNames[] = {"root",      "Deutsch",   "Français", "Mathematics",
                                       "Chemistry", "Geography", "History",  "Programming",
                                       "Biology",   "Latin",     "Music",    "Law"};
  uint32_t colour = 0xFFFFFFFFu;
  for (int32_t i = 0; i < count; ++i) {
    const size_t named = sizeof kNames / sizeof kNames[0];
    const std::string name = static_cast<size_t>(i) < named
                                 ? std::string(kNames[i])
                                 : std::string(kNames[i % named]) + " " + std::to_string(i);
    int32_t index = find_or_add_ctgr(db, name.c_str());
    db->ctgrs[index]->bgcolor = colour;
    colour -= 0x1111u;
  }
}

std::vector<element*> elements_of(element_db* db) {
  std::vector<element*> all;
  for (element* e = db->head; e; e = e->next)
    all.push_back(e);
  return all;
}

element* clone(const element* from) {
  element* e = new_element();
  e->id = from->id;
  copy_element(e, from);
  return e;
}

}  // namespace

void make_dataset(element_db* db, const dataset_options& options) {
  rng r{options.seed};
  db->tm_strt = kDatasetStart;
  add_categories(db, options.categories);
  std::vector<element*> all;
  all.reserve(static_cast<size_t>(options.elements));
  uint32_t id = kDatasetFirstId;
  for (int32_t i = 0; i < options.elements; ++i) {
    id += 1 + r.below(60);
    all.push_back(make_element(&r, id, static_cast<uint16_t>(db->ctgr_count)));
  }
  arrange(&all, options.order, &r);
  link(db, all);
}

uint32_t make_dataset_pair(element_db* desktop, element_db* handheld,
                           const dataset_pair_options& options) {
  make_dataset(desktop, options.base);
  rng r{options.base.seed * 31 + 7};
  handheld->tm_strt = desktop->tm_strt;
  add_categories(handheld, options.base.categories);

  std::vector<element*> pc = elements_of(desktop);
  uint32_t last_id = pc.empty() ? kDatasetFirstId : pc.front()->id;
  for (element* e : pc)
    last_id = std::max(last_id, e->id);
  const uint32_t last_sync = options.last_sync ? options.last_sync : last_id + 1;

  // The handheld holds the same elements, in its own stored order.
  std::vector<element*> hh;
  hh.reserve(pc.size());
  for (element* e : pc)
    hh.push_back(clone(e));
  for (size_t i = hh.size(); i > 1; --i)
    std::swap(hh[i - 1], hh[r.below(static_cast<uint32_t>(i))]);

  // Reviews on one side: the other side's copy falls behind.
  for (int32_t i = 0; i < options.reviewed_each_side * 2 && !pc.empty(); ++i) {
    element* e = (i % 2 ? hh : pc)[r.below(static_cast<uint32_t>(pc.size()))];
    e->rp = static_cast<uint16_t>(e->rp + 1 + r.below(3));
    e->tm_t_rpt = static_cast<uint16_t>(e->tm_t_rpt + 1 + r.below(300));
    e->stm_t_rpt = e->tm_t_rpt;
    e->gr = static_cast<uint16_t>(r.below(6));
  }
  // Deleted on one side since the last HotSync (ids up to it).
  for (std::vector<element*>* side : {&pc, &hh}) {
    for (int32_t i = 0; i < options.deleted_each_side && !side->empty(); ++i) {
      size_t at = r.below(static_cast<uint32_t>(side->size()));
      (*side)[at]->next = nullptr;
      free_element_nodes((*side)[at]);
      (*side)[at] = side->back();
      side->pop_back();
    }
  }
  // New on one side: ids after the last HotSync, somewhere in the stored order.
  uint32_t id = last_sync;
  for (int32_t i = 0; i < options.added_each_side * 2; ++i) {
    id += 1 + r.below(5);
    std::vector<element*>* side = i % 2 ? &hh : &pc;
    element_db* db = i % 2 ? handheld : desktop;
    side->push_back(make_element(&r, id, static_cast<uint16_t>(db->ctgr_count)));
    std::swap(side->back(), (*side)[r.below(static_cast<uint32_t>(side->size()))]);
  }
  if (options.base.order == schedule_order::sorted)
    std::stable_sort(pc.begin(), pc.end(), by_schedule);
  link(desktop, pc);
  link(handheld, hh);
  return last_sync;
}

bool write_desktop_file(element_db* db, const std::string& dir) {
  std::string xml = dir + "/elements.xml", tmp = dir + "/elements.tmp";
  return save_xml(db, tmp.c_str(), xml.c_str()) == kSaveXmlOk;
}

bool write_handheld_folder(element_db* db, const std::string& dir, uint32_t last_sync) {
  sync_manager_use_folder(dir);
  handheld_user user;
  user.last_sync = last_sync;
  std::string why;
  return write_handheld_user(dir, user, &why) && save_db_to_hh(db) == kHhSaveOk;
}
