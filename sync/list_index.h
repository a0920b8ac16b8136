// An index over the order of one element list, so that the merge finds where
// insert_element would put a new element without walking the list. The list is
// cut into blocks of consecutive elements, each knowing its largest tm_t_rpt,
// under a small tree of those maxima: finding the first element with a larger
// key, inserting, and a key changing in place each touch one block and the
// tree (which stays in cache), however long the list.
#pragma once

#include <cstdint>
#include <vector>

#include "model/element_db.h"

constexpr uint32_t kListBlockSize = 128;

struct list_block {
  uint16_t count;
  uint16_t max_key;
  uint32_t node[kListBlockSize];  // node ids, in list order
  uint16_t key[kListBlockSize];   // their keys as the index last saw them
};

struct list_index {
  std::vector<element*> element_of;  // by node: 0 .. n-1 the list at build time, in order
  std::vector<uint32_t> block_of;    // by node: the block that holds it
  std::vector<list_block> blocks;    // in no order
  std::vector<uint32_t> sequence;    // the blocks in list order
  std::vector<uint32_t> place_of;    // by block: its place in sequence
  std::vector<uint16_t> tree;        // largest key over places of sequence; leaves from `leaves`
  uint32_t leaves;
};

// Indexes a list given as its elements in order; node i is order[i].
// Throws std::bad_alloc when memory runs out.
void list_index_build(list_index* index, const std::vector<element*>& order);

// Puts e into the list at *head exactly where insert_element(head, e) puts it
// after insert_element(head, nullptr), and into the index as the next node.
// Returns the element that insert_element leaves in insert_hint (null unless
// it walked the list). Throws std::bad_alloc when memory runs out, with the
// list unchanged.
element* list_index_insert(list_index* index, element** head, element* e);

// Node `node`'s element has a new tm_t_rpt.
void list_index_key_changed(list_index* index, uint32_t node);

// The nodes in list order.
std::vector<uint32_t> list_index_order(const list_index& index);
