// An index over the order of one element list, so that the merge finds where
// insert_element would put a new element without walking the list: a treap
// over list positions whose nodes know the largest tm_t_rpt below them.
// Elements already in the list may change their key in place (the merge copies
// values into them); the index is told and stays exact.
#pragma once

#include <cstdint>
#include <vector>

#include "model/element_db.h"

struct list_index_node {
  element* el;
  uint32_t left, right, parent;
  uint32_t priority;
  uint16_t key;      // el->tm_t_rpt as the index last saw it
  uint16_t max_key;  // the largest key in this node's subtree
};

struct list_index {
  std::vector<list_index_node> nodes;  // 0 .. n-1: the list at build time, in order
  uint32_t root;
  uint64_t seed;
};

constexpr uint32_t kNoListNode = 0xFFFFFFFFu;

// Indexes a list given as its elements in order; node i is order[i].
// Throws std::bad_alloc when memory runs out.
void list_index_build(list_index* index, const std::vector<element*>& order);

// Puts e into the list at *head exactly where insert_element(head, e) puts it
// after insert_element(head, nullptr), and into the index. Returns the element
// that insert_element leaves in insert_hint (null unless it walked the list).
// Throws std::bad_alloc when memory runs out, with the list unchanged.
element* list_index_insert(list_index* index, element** head, element* e);

// Node `node`'s element has a new tm_t_rpt.
void list_index_key_changed(list_index* index, uint32_t node);

// The nodes in list order.
std::vector<uint32_t> list_index_order(const list_index& index);
