#include "model/category_index.h"

#include <cstdlib>
#include <cstring>

#include "model/element_db.h"

namespace {

uint32_t name_hash(const char* name) {
  uint32_t hash = 2166136261u;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p)
    hash = (hash ^ *p) * 16777619u;
  return hash;
}

// The slot of name: the one that holds it, or the empty one where it goes.
category_index::slot* slot_of(const category_index* index, category* const* table, uint32_t hash,
                              const char* name) {
  for (uint32_t at = hash;; ++at) {
    category_index::slot* s = &index->slots[at & index->slot_mask];
    if (s->entry < 0) return s;
    if (s->hash == hash && std::strcmp(table[s->entry]->name, name) == 0) return s;
  }
}

// Room for `names` names at most half the slots full; false when the memory
// cannot be had (the index is then empty).
bool make_room(category_index* index, category* const* table, int32_t names) {
  uint32_t wanted = index->slots ? index->slot_mask + 1 : 0;
  if (uint64_t{wanted} >= 2u * static_cast<uint64_t>(names)) return true;
  if (wanted == 0) wanted = 64;
  while (uint64_t{wanted} < 2u * static_cast<uint64_t>(names))
    wanted *= 2;
  category_index::slot* grown =
      static_cast<category_index::slot*>(std::malloc(wanted * sizeof(category_index::slot)));
  if (!grown) {
    category_index_release(index);
    return false;
  }
  for (uint32_t i = 0; i < wanted; ++i)
    grown[i] = category_index::slot{0, -1};
  category_index::slot* old = index->slots;
  const uint32_t old_count = old ? index->slot_mask + 1 : 0;
  index->slots = grown;
  index->slot_mask = wanted - 1;
  for (uint32_t i = 0; i < old_count; ++i) {
    if (old[i].entry >= 0) *slot_of(index, table, old[i].hash, table[old[i].entry]->name) = old[i];
  }
  std::free(old);
  return true;
}

}  // namespace

void category_index_start(category_index* index) {
  *index = category_index{nullptr, 0, 0, 0, nullptr};
}

void category_index_release(category_index* index) {
  std::free(index->slots);
  category_index_start(index);
}

int32_t category_index_find(category_index* index, category* const* table, int32_t count,
                            const char* name) {
  if (index->table != table || index->indexed > count) {
    category_index_release(index);
    index->table = table;
  }
  if (index->indexed < count) {
    if (!make_room(index, table, index->names + (count - index->indexed))) return -2;
    index->table = table;
    for (; index->indexed < count; ++index->indexed) {
      const char* entry_name = table[index->indexed]->name;
      const uint32_t hash = name_hash(entry_name);
      category_index::slot* s = slot_of(index, table, hash, entry_name);
      if (s->entry >= 0) continue;  // a name an earlier entry bears
      *s = category_index::slot{hash, index->indexed};
      index->names += 1;
    }
  }
  return slot_of(index, table, name_hash(name), name)->entry;
}
