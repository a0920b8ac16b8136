#include "model/element_db.h"

#include <cstdlib>
#include <cstring>

#include "model/element_arena.h"
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

element* new_element_with_room(size_t q_length, size_t a_length) {
  const size_t bytes = sizeof(element) + q_length + 1 + a_length + 1;
  if (bytes < q_length || bytes < a_length) return nullptr;
  element* e = static_cast<element*>(std::malloc(bytes));
  if (!e) return nullptr;
  std::memset(e, 0, sizeof(element));
  e->q = reinterpret_cast<char*>(e + 1);
  e->a = e->q + q_length + 1;
  e->q[q_length] = '\0';
  e->a[a_length] = '\0';
  e->texts_in_block = kQuestionInBlock | kAnswerInBlock;
  return e;
}

element* clone_element(const element* src) {
  return element_arena_clone(nullptr, src);
}

// The texts an element owns apart from its own allocation.
static void free_own_texts(element* e) {
  if (!(e->texts_in_block & kQuestionInBlock)) std::free(e->q);
  if (!(e->texts_in_block & kAnswerInBlock)) std::free(e->a);
}

void free_element(element* e) {
  free_own_texts(e);
  if (e->texts_in_block & kInSlab) {
    element_arena_free(e);
  } else {
    std::free(e);
  }
}

int construct_db(element_db* db) {
  db->tm_strt = 0;
  db->head = nullptr;
  db->ctgr_count = 0;
  db->el_count = 0;
  db->ctgrs = static_cast<category**>(std::calloc(kInitialCategorySlots, sizeof(category*)));
  db->ctgr_capacity = db->ctgrs ? kInitialCategorySlots : 0;
  category_index_start(&db->ctgr_index);
  return db->ctgrs != nullptr;
}

static void free_category(category* c) {
  if (!c) return;
  std::free(c->name);
  std::free(c);
}

void release_db(element_db* db) {
  free_element_nodes(db->head);
  forget_ctgrs(db);
  category_index_release(&db->ctgr_index);
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
  free_element(e);
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

  const int32_t found = find_ctgr(db, wanted);
  if (found != kNoCategory) return found;

  const int32_t index = db->ctgr_count;
  if (index >= kMaxCategories) return kNoCategory;
  strip_quotes(wanted);
  category* c = static_cast<category*>(std::malloc(sizeof(category)));
  char* stored = copy_text(wanted);
  if (!c || !stored) {
    std::free(c);
    std::free(stored);
    return kCategoryNoMemory;
  }
  if (index >= db->ctgr_capacity) grow_ctgr_table(db);
  c->name = stored;
  c->bgcolor = index == 0 ? 0xFFFFFFFFu : db->ctgrs[0]->bgcolor;
  db->ctgrs[index] = c;
  db->ctgr_count += 1;
  return index;
}

// Below this many entries a search of the table costs less than an index.
constexpr int32_t kIndexedTables = 16;

int32_t find_ctgr(element_db* db, const char* name) {
  if (db->ctgr_count >= kIndexedTables) {
    const int32_t found = category_index_find(&db->ctgr_index, db->ctgrs, db->ctgr_count, name);
    if (found != -2) return found < 0 ? kNoCategory : found;
  }
  for (int32_t i = 0; i < db->ctgr_count; ++i) {
    if (std::strcmp(db->ctgrs[i]->name, name) == 0) return i;
  }
  return kNoCategory;
}

size_t strip_ctgr_quotes(element_db* db, int32_t i) {
  char* name = db->ctgrs[i]->name;
  const size_t length = std::strlen(name);
  if (!std::memchr(name, '"', length)) return length;
  strip_quotes(name);
  forget_ctgr_index(db);
  return std::strlen(name);
}

void forget_ctgrs(element_db* db) {
  for (int32_t i = 0; i < db->ctgr_count; ++i) {
    free_category(db->ctgrs[i]);
    db->ctgrs[i] = nullptr;
  }
  db->ctgr_count = 0;
  forget_ctgr_index(db);
}

void forget_ctgr_index(element_db* db) {
  category_index_release(&db->ctgr_index);
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
  free_own_texts(dst);
  dst->q = q;
  dst->a = a;
  dst->texts_in_block &= kInSlab;  // the texts are its own allocations now
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
    free_element(first);
    first = next;
  }
}
