// An index over the order of one element list, so that the merge finds where
// insert_element would put a new element without walking the list. The list is
// cut into blocks of consecutive elements, the blocks gathered in segments of
// consecutive blocks, each knowing its largest tm_t_rpt, and a small tree of
// the segments' maxima stays in cache. Finding the first element with a larger
// key, inserting, and a key changing in place each touch one block, one
// segment and the tree, however long the list and wherever the insertions
// crowd: a full block splits within its segment, and only a full segment, one
// in many block splits, moves the places of the others.
//
// Insertions go into the index only; the list itself is linked afresh from
// the index once they are done (list_index_link). Linking each copy as it
// came meant reading the element before it, somewhere in a list of a million,
// and waiting for it in the middle of every insertion.
#pragma once

#include <cstdint>
#include <vector>

#include "model/element_db.h"

constexpr uint32_t kListBlockSize = 128;
constexpr uint32_t kListSegmentSize = 64;

// A run of ids in list order with their keys: the nodes of a block, or the
// blocks of a segment with the largest key of each.
template <uint32_t N>
struct list_run {
  static_assert(N % 8 == 0, "keys are scanned eight at a time");
  uint16_t count;
  uint16_t max_key;
  uint32_t id[N];
  uint16_t key[N];  // as the index last saw them
};
using list_block = list_run<kListBlockSize>;
using list_segment = list_run<kListSegmentSize>;

struct list_index {
  std::vector<element*> element_of;    // by node: 0 .. n-1 the list at build time, in order
  std::vector<uint32_t> block_of;      // by node: the block that holds it
  std::vector<list_block> blocks;      // in no order
  std::vector<uint32_t> segment_of;    // by block: the segment that holds it
  std::vector<list_segment> segments;  // in no order
  std::vector<uint32_t> sequence;      // the segments in list order
  std::vector<uint32_t> place_of;      // by segment: its place in sequence
  std::vector<uint16_t> tree;          // largest key over places of sequence; leaves from `leaves`
  uint32_t leaves;
  uint32_t built;  // nodes at build time, linked in the list as they were
};

// No node: what list_index_insert returns for an element put first.
constexpr uint32_t kNoListNode = 0xFFFFFFFFu;

// Indexes a list given as its elements in order; node i is order[i]. Takes at
// once the memory that `room` insertions will need, so that none of them asks
// for a large block in the middle of a merge. Throws std::bad_alloc when
// memory runs out.
void list_index_build(list_index* index, const std::vector<element*>& order, uint32_t room);

// Puts e, whose tm_t_rpt is key, into the index as the next node, exactly
// where insert_element(head, e)
// puts it in the list after insert_element(head, nullptr). Returns the node
// whose element insert_element leaves in insert_hint, kNoListNode where it
// leaves null (it did not walk the list). Throws std::bad_alloc when memory
// runs out, with the index unchanged.
uint32_t list_index_insert(list_index* index, element* e, uint16_t key);

// Links the list at *head in the index's order: the elements inserted, and the
// ones before them. Allocates nothing, so that a merge that fails part way
// still leaves a whole list.
void list_index_link(const list_index& index, element** head);

// Node `node`'s element has a new tm_t_rpt.
void list_index_key_changed(list_index* index, uint32_t node);

// The nodes in list order.
std::vector<uint32_t> list_index_order(const list_index& index);
