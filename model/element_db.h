// The in-memory form of one learning data set: elements, categories and the
// learner's start time, with the small operations every store and the merge use.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/category_index.h"

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
  uint8_t texts_in_block;  // kQuestionInBlock, kAnswerInBlock: freed with the element; kInSlab
};

// The bytes of the eight 16-bit values, from tm_t_rpt on.
constexpr size_t kElementValuesSize = 8 * sizeof(uint16_t);

// Texts that share the element's own allocation rather than one each: a file's
// elements come with both texts, and one allocation instead of three spares
// the allocator and the memory its bookkeeping takes.
constexpr uint8_t kQuestionInBlock = 1;
constexpr uint8_t kAnswerInBlock = 2;
// The element came from a reader's slab (model/element_arena.h), not malloc.
constexpr uint8_t kInSlab = 4;

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
  // Names to entries, for large tables; it follows entries added at the end.
  // Whoever changes a name in place calls forget_ctgr_index.
  category_index ctgr_index;
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

// Unlinks e (which must be in db's list) and frees it with its texts.
void delete_element(element_db* db, element* e);

// Results of find_or_add_ctgr when the category cannot be stored: the table
// already holds kMaxCategories entries, or the record or its name cannot be
// allocated. A reader tells its user which, as only the second passes with
// more memory. Nothing is changed then.
constexpr int32_t kNoCategory = -1;
constexpr int32_t kCategoryNoMemory = -2;

// The index of the first category named exactly name, or kNoCategory.
// Constant time for large tables.
int32_t find_ctgr(element_db* db, const char* name);

// Index of the category with this name (cut at a line feed or to 127 bytes),
// added at the end of the table when absent. An empty name, or one starting
// with a line feed, yields 0 without adding anything. Quotes are removed only
// from the stored copy: the search compares the name with them. Ends the
// process with exit code 1 if the table cannot grow.
int32_t find_or_add_ctgr(element_db* db, const char* name);

// Removes every double quote from s in place.
void strip_quotes(char* s);
// Removes the quotes from the name of category i in place; its length.
size_t strip_ctgr_quotes(element_db* db, int32_t i);
// Frees every category and leaves the table empty, its slots kept.
void forget_ctgrs(element_db* db);
// For a caller that changed a name in the table by other means than these
// functions: lookups search the table anew.
void forget_ctgr_index(element_db* db);

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
// A new element as new_element gives it, with room for texts of these lengths
// in its own allocation: q and a point there, terminated, their bytes left to
// the caller. Null when memory runs out.
element* new_element_with_room(size_t q_length, size_t a_length);
// A new element in one allocation with the id, the values and copies of the
// texts of src (an empty text for a null one); no successor. Null when memory
// runs out.
element* clone_element(const element* src);
// Frees e with its texts; e must be in no list any more.
void free_element(element* e);
// A heap copy of s (its length plus the terminator); null when memory runs out.
char* copy_text(const char* s);
