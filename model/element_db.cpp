#include "model/element_db.h"

#include <cstdlib>
#include <cstring>

#include "platform/trace.h"

element* insert_hint = nullptr;

char* copy_text(const char* s) {
  size_t n = std::strlen(s);
  char* copy = static_cast<char*>(std::malloc(n + 1));
  if (copy) std::memcpy(copy, s, n + 1);
  return copy;
}

element* new_element() {
  return static_cast<element*>(std::calloc(1, sizeof(element)));
}

int construct_db(element_db* db) {
  db->tm_strt = 0;
  db->head = nullptr;
  db->ctgr_count = 0;
  db->el_count = 0;
  db->ctgrs = static_cast<category**>(std::calloc(kInitialCategorySlots, sizeof(category*)));
  db->ctgr_capacity = db->ctgrs ? kInitialCategorySlots : 0;
  return db->ctgrs != nullptr;
}

static void free_category(category* c) {
  if (!c) return;
  std::free(c->name);
  std::free(c);
}

void release_db(element_db* db) {
  free_element_nodes(db->head);
  for (int32_t i = 0; i < db->ctgr_count; ++i)
    free_category(db->ctgrs[i]);
  std::free(db->ctgrs);
  db->tm_strt = 0;
  db->head = nullptr;
  db->ctgr_count = 0;
  db->el_count = 0;
  db->ctgr_capacity = 0;
  db->ctgrs = nullptr;
}

void insert_element(element** head, element* e) {
  if (!e) {
    insert_hint = nullptr;
    return;
  }
  element* first = *head;
  const uint16_t key = e->tm_t_rpt;
  if (!first) {
    e->next = nullptr;
    *head = e;
    return;
  }
  if (!first->next) {
    if (first->tm_t_rpt >= key) {
      e->next = first;
      *head = e;
    } else {
      e->next = nullptr;
      first->next = e;
    }
    return;
  }
  if (key < first->tm_t_rpt) {
    e->next = first;
    *head = e;
    return;
  }
  element* p = (insert_hint && insert_hint->tm_t_rpt <= key) ? insert_hint : first;
  while (p->next && p->next->tm_t_rpt <= key)
    p = p->next;
  e->next = p->next;
  p->next = e;
  insert_hint = p;
}

// Stable merge of two sorted chains.
static element* merge_chains(element* a, element* b) {
  element head{};
  element* tail = &head;
  while (a && b) {
    if (b->tm_t_rpt < a->tm_t_rpt) {
      tail->next = b;
      b = b->next;
    } else {
      tail->next = a;
      a = a->next;
    }
    tail = tail->next;
  }
  tail->next = a ? a : b;
  return head.next;
}

// Bottom-up merge sort: runs of 1, 2, 4, ... merged in place, stably. Needs
// no memory, for when the counting sort cannot have its tables.
static element* merge_sort(element* first, size_t length) {
  for (size_t run = 1; run < length; run *= 2) {
    element result{};
    element* tail = &result;
    element* rest = first;
    while (rest) {
      element* a = rest;
      element* a_end = a;
      for (size_t i = 1; i < run && a_end->next; ++i)
        a_end = a_end->next;
      element* b = a_end->next;
      a_end->next = nullptr;
      element* b_end = b;
      for (size_t i = 1; i < run && b_end && b_end->next; ++i)
        b_end = b_end->next;
      rest = b_end ? b_end->next : nullptr;
      if (b_end) b_end->next = nullptr;
      tail->next = merge_chains(a, b);
      while (tail->next)
        tail = tail->next;
    }
    first = result.next;
  }
  return first;
}

// Keys are 16-bit: a stable counting sort puts every element in its place in
// three walks of the list in its own order, which is the order the elements
// lie in memory: the links are rewritten one after the other rather than all
// over memory. Null (nothing changed) when its tables cannot be allocated.
static element* counting_sort(element* first, size_t length) {
  constexpr size_t kKeys = 65536;
  uint32_t* starts = static_cast<uint32_t*>(std::calloc(kKeys, sizeof(uint32_t)));
  element** placed = static_cast<element**>(std::malloc(length * sizeof(element*)));
  uint32_t* rank = static_cast<uint32_t*>(std::malloc(length * sizeof(uint32_t)));
  if (!starts || !placed || !rank) {
    std::free(starts);
    std::free(placed);
    std::free(rank);
    return nullptr;
  }
  for (element* e = first; e; e = e->next)
    starts[e->tm_t_rpt] += 1;
  uint32_t sum = 0;
  for (size_t k = 0; k < kKeys; ++k) {
    uint32_t count = starts[k];
    starts[k] = sum;
    sum += count;
  }
  size_t i = 0;
  for (element* e = first; e; e = e->next, ++i) {
    rank[i] = starts[e->tm_t_rpt]++;
    placed[rank[i]] = e;
  }
  i = 0;
  for (element* e = first; e; ++i) {
    element* next_in_file = e->next;
    e->next = rank[i] + 1 < length ? placed[rank[i] + 1] : nullptr;
    e = next_in_file;
  }
  first = placed[0];
  std::free(starts);
  std::free(placed);
  std::free(rank);
  return first;
}

element* sort_as_inserted(element* first) {
  if (!first || !first->next) return first;
  // The single-element rule: a second element whose key is not greater goes
  // before the first. After that the insertions are a stable sort.
  element* second = first->next;
  if (second->tm_t_rpt <= first->tm_t_rpt) {
    first->next = second->next;
    second->next = first;
    first = second;
  }
  // Files come mostly in order already: nothing to do then.
  size_t length = 1;
  bool ordered = true;
  for (element* e = first; e->next; e = e->next, ++length) {
    if (e->next->tm_t_rpt < e->tm_t_rpt) ordered = false;
  }
  if (ordered) return first;
  element* sorted = counting_sort(first, length);
  return sorted ? sorted : merge_sort(first, length);
}

void delete_element(element_db* db, element* e) {
  db->el_count -= 1;
  insert_element(&db->head, nullptr);
  if (db->head == e) {
    db->head = e->next;
  } else {
    element* p = db->head;
    while (p && p->next != e)
      p = p->next;
    if (!p) return;  // not in this list: leave everything as it was
    p->next = e->next;
  }
  std::free(e->q);
  std::free(e->a);
  std::free(e);
}

// Doubles the table (or gives it its first slots); exits the process when the
// memory cannot be had, as the table's owner has no way to go on without it.
static void grow_ctgr_table(element_db* db) {
  int32_t slots = db->ctgr_capacity > 0 ? db->ctgr_capacity * 2 : kInitialCategorySlots;
  void* grown = std::realloc(db->ctgrs, sizeof(category*) * static_cast<size_t>(slots));
  if (!grown) std::exit(1);
  db->ctgrs = static_cast<category**>(grown);
  for (int32_t i = db->ctgr_capacity; i < slots; ++i)
    db->ctgrs[i] = nullptr;
  db->ctgr_capacity = slots;
}

int32_t find_or_add_ctgr(element_db* db, const char* name) {
  if (name[0] == '\0' || name[0] == '\n') return 0;

  char wanted[kMaxCategoryName + 1];
  int n = 0;
  for (const char* s = name; *s && n < kMaxCategoryName; ++s) {
    if (*s == '\n') {
      trace("Category name (%s) contains newline - cutting it off.\n", name);
      break;
    }
    wanted[n++] = *s;
  }
  wanted[n] = '\0';

  for (int32_t i = 0; i < db->ctgr_count; ++i) {
    if (std::strcmp(db->ctgrs[i]->name, wanted) == 0) return i;
  }

  const int32_t index = db->ctgr_count;
  if (index >= kMaxCategories) return kNoCategory;
  strip_quotes(wanted);
  category* c = static_cast<category*>(std::malloc(sizeof(category)));
  char* stored = copy_text(wanted);
  if (!c || !stored) {
    std::free(c);
    std::free(stored);
    return kNoCategory;
  }
  if (index >= db->ctgr_capacity) grow_ctgr_table(db);
  c->name = stored;
  c->bgcolor = index == 0 ? 0xFFFFFFFFu : db->ctgrs[0]->bgcolor;
  db->ctgrs[index] = c;
  db->ctgr_count += 1;
  return index;
}

void strip_quotes(char* s) {
  char* out = s;
  for (; *s; ++s) {
    if (*s != '"') *out++ = *s;
  }
  *out = '\0';
}

int add_root_ctgr(element_db* db) {
  if (db->ctgr_count != 0) return 0;
  category* c = static_cast<category*>(std::malloc(sizeof(category)));
  char* name = copy_text("root");
  if (!c || !name) {
    std::free(c);
    std::free(name);
    return 0;
  }
  if (db->ctgr_capacity < 1) grow_ctgr_table(db);
  c->name = name;
  c->bgcolor = 0xFFFFFFFFu;
  db->ctgrs[0] = c;
  db->ctgr_count = 1;
  return 1;
}

int copy_element(element* dst, const element* src) {
  char* q = copy_text(src->q ? src->q : "");
  char* a = copy_text(src->a ? src->a : "");
  if (!q || !a) {
    std::free(q);
    std::free(a);
    return 0;
  }
  std::free(dst->q);
  std::free(dst->a);
  dst->q = q;
  dst->a = a;
  dst->tm_t_rpt = src->tm_t_rpt;
  dst->stm_t_rpt = src->stm_t_rpt;
  dst->ctgr = src->ctgr;
  dst->l_ivl = src->l_ivl;
  dst->rl_l_ivl = src->rl_l_ivl;
  dst->ivl = src->ivl;
  dst->rp = src->rp;
  dst->gr = src->gr;
  return 1;
}

void free_element_nodes(element* first) {
  while (first) {
    element* next = first->next;
    std::free(first->q);
    std::free(first->a);
    std::free(first);
    first = next;
  }
}
