// The in-memory form of one learning data set: elements, categories and the
// learner's start time, with the small operations every store and the merge use.
#pragma once

#include <cstdint>

// One learning item. The eight 16-bit fields from tm_t_rpt to gr lie together
// in this order and are always copied together.
struct element {
  element* next;  // null at the end of the list
  char* q;        // owned; an element in a list never has a null text
  char* a;        // owned
  uint32_t id;    // creation time in Unix seconds; the identity on both sides
  uint16_t tm_t_rpt;
  uint16_t stm_t_rpt;
  uint16_t ctgr;  // index into the owning database's ctgrs
  uint16_t l_ivl;
  uint16_t rl_l_ivl;
  uint16_t ivl;
  uint16_t rp;
  uint16_t gr;
};

struct category {
  char* name;  // owned; at most 127 bytes, no line feed
  uint32_t bgcolor;
};

struct element_db {
  int32_t tm_strt;
  element* head;  // ascending tm_t_rpt as far as insert_element built it
  int32_t ctgr_count;
  int32_t el_count;  // lowered by delete_element only; nothing reads it
  int32_t ctgr_capacity;
  category** ctgrs;  // ctgr_capacity slots, 0 .. ctgr_count-1 in use
};

// Category indices are 16-bit, so a table holds at most this many entries.
constexpr int32_t kMaxCategories = 65536;
constexpr int32_t kInitialCategorySlots = 8;
// A stored category name is cut to this many bytes.
constexpr int kMaxCategoryName = 127;

// Remembers where insert_element last placed an element by walking, so that
// loading a file sorted by tm_t_rpt stays linear. Shared by every list: a
// caller that switches lists, or frees elements by other means than
// delete_element, resets it with insert_element(head, nullptr).
extern element* insert_hint;

// Construction: an empty data set with 8 category slots. Returns 1, or 0 when
// the slots cannot be allocated (the table then starts with none and grows on
// first use).
int construct_db(element_db* db);
// Frees everything the database owns and leaves all its fields zero or null.
void release_db(element_db* db);

// Inserts e so that tm_t_rpt stays ascending: after every element whose key is
// less than or equal to its own, except that with exactly one element in the
// list an equal key goes first. A null e only resets insert_hint.
void insert_element(element** head, element* e);

// Orders a chain of elements (linked by next, in the order they came) exactly
// as inserting them one by one with insert_element into an empty list would:
// ascending tm_t_rpt, equal keys in the order they came, except that the
// second goes before the first when their keys are equal. O(n log n) where
// the insertions are O(n^2) on unsorted input (O(n) when memory for its
// tables can be had). Returns the new first element.
element* sort_as_inserted(element* first);

// Unlinks e (which must be in db's list) and frees it with its texts.
void delete_element(element_db* db, element* e);

// Result of find_or_add_ctgr when the category cannot be stored: the table
// already holds kMaxCategories entries, or the record or its name cannot be
// allocated. Nothing is changed then.
constexpr int32_t kNoCategory = -1;

// Index of the category with this name (cut at a line feed or to 127 bytes),
// added at the end of the table when absent. An empty name, or one starting
// with a line feed, yields 0 without adding anything. Quotes are removed only
// from the stored copy: the search compares the name with them. Ends the
// process with exit code 1 if the table cannot grow.
int32_t find_or_add_ctgr(element_db* db, const char* name);

// Removes every double quote from s in place.
void strip_quotes(char* s);

// Puts "root" (colour 0xFFFFFFFF) at index 0 of an empty table. Returns 1, or 0
// when the table is not empty or memory runs out (nothing changed).
int add_root_ctgr(element_db* db);

// Gives dst the texts and the eight 16-bit values of src; dst keeps its id and
// its place in its list. Returns 1, or 0 with dst unchanged when a text copy
// cannot be allocated.
int copy_element(element* dst, const element* src);

// Frees every element of the list that starts at first, with its texts. The
// caller clears whatever pointed at the list.
void free_element_nodes(element* first);

// A new element with all values 0, no texts and no successor; null when memory
// runs out.
element* new_element();
// A heap copy of s (its length plus the terminator); null when memory runs out.
char* copy_text(const char* s);
