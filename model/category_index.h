// Finds a category of a table by its name in constant time, so that a data set
// of tens of thousands of categories costs no search of the table per name.
#pragma once

#include <cstdint>

struct category;

// A hash table over the names of a category table: for each name, the first
// entry that bears it (a table may hold a name twice; a search of the table
// from its start finds the first). It follows the table as entries are added
// at its end; it is built anew when the table was emptied or replaced.
struct category_index {
  struct slot {
    uint32_t hash;
    int32_t entry;  // -1: empty
  };
  slot* slots;
  uint32_t slot_mask;  // the slot count - 1; the count is a power of two
  int32_t names;       // slots in use
  int32_t indexed;     // the table's entries 0 .. indexed-1 are in it
  category* const* table;
};

void category_index_start(category_index* index);
void category_index_release(category_index* index);

// The first of the table's count entries named exactly name; -1 when none is.
// -2 when the index cannot be brought up to date for want of memory: the
// caller searches the table itself then.
int32_t category_index_find(category_index* index, category* const* table, int32_t count,
                            const char* name);
