#include "sync/list_index.h"

#include <algorithm>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Built blocks and segments are three quarters full, so that most insertions
// fit where they land.
constexpr uint32_t kBlockFill = kListBlockSize * 3 / 4;
constexpr uint32_t kSegmentFill = kListSegmentSize * 3 / 4;

uint16_t largest(const uint16_t* keys, uint32_t count) {
  uint16_t m = 0;
  for (uint32_t i = 0; i < count; ++i)
    m = std::max(m, keys[i]);
  return m;
}

// The index of the first key above `key` in a run that holds one. Eight keys
// at a time where the processor allows: the scans of a segment and a block
// are most of an insertion, a branch per key taken all but once.
uint32_t first_above(const uint16_t* keys, uint16_t key) {
#if defined(__SSE2__)
  // Unsigned order as signed: the top bit turned over on both sides. A run's
  // keys fill whole groups of eight, so no load goes past them.
  const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
  const __m128i wanted = _mm_xor_si128(_mm_set1_epi16(static_cast<short>(key)), flip);
  for (uint32_t at = 0;; at += 8) {
    const __m128i eight =
        _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(keys + at)), flip);
    const unsigned above = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi16(eight, wanted)));
    if (above) return at + static_cast<uint32_t>(__builtin_ctz(above)) / 2;
  }
#else
  uint32_t at = 0;
  while (keys[at] <= key)
    ++at;
  return at;
#endif
}

// Moves the upper half of a full run into an empty one, whose ids `owner`
// (by id: the block or segment that holds it) then gives as to_id. Returns
// how many stay.
template <uint32_t N>
uint32_t move_upper_half(list_run<N>* from, list_run<N>* to, uint32_t to_id,
                         std::vector<uint32_t>* owner) {
  const uint32_t keep = from->count / 2u;
  to->count = static_cast<uint16_t>(from->count - keep);
  std::memcpy(to->id, from->id + keep, to->count * sizeof(uint32_t));
  std::memcpy(to->key, from->key + keep, to->count * sizeof(uint16_t));
  from->count = static_cast<uint16_t>(keep);
  for (uint32_t i = 0; i < to->count; ++i)
    (*owner)[to->id[i]] = to_id;
  from->max_key = largest(from->key, from->count);
  to->max_key = largest(to->key, to->count);
  return keep;
}

// Puts id with its key at index `at` of a run that has room.
template <uint32_t N>
void insert_at(list_run<N>* run, uint32_t at, uint32_t id, uint16_t key) {
  std::memmove(run->id + at + 1, run->id + at, (run->count - at) * sizeof(uint32_t));
  std::memmove(run->key + at + 1, run->key + at, (run->count - at) * sizeof(uint16_t));
  run->id[at] = id;
  run->key[at] = key;
  run->count += 1;
}

uint32_t leaves_for(size_t places) {
  uint32_t leaves = 1;
  while (leaves < places)
    leaves *= 2;
  return leaves;
}

// The tree over the segments' places, made anew (after a segment is split).
void rebuild_tree(list_index* index) {
  const uint32_t leaves = leaves_for(index->sequence.size());
  index->leaves = leaves;
  index->tree.assign(2 * size_t{leaves}, 0);
  for (uint32_t p = 0; p < index->sequence.size(); ++p) {
    index->tree[leaves + p] = index->segments[index->sequence[p]].max_key;
    index->place_of[index->sequence[p]] = p;
  }
  for (uint32_t i = leaves - 1; i >= 1; --i)
    index->tree[i] = std::max(index->tree[2 * i], index->tree[2 * i + 1]);
}

// Segment s's largest key changed: its leaf and the leaf's ancestors.
void update_tree(list_index* index, uint32_t s) {
  uint32_t i = index->leaves + index->place_of[s];
  index->tree[i] = index->segments[s].max_key;
  for (i /= 2; i >= 1; i /= 2) {
    const uint16_t m = std::max(index->tree[2 * i], index->tree[2 * i + 1]);
    if (index->tree[i] == m) break;
    index->tree[i] = m;
  }
}

// The block at `slot` of segment s has a new largest key.
void block_max_changed(list_index* index, uint32_t s, uint32_t slot) {
  list_segment& seg = index->segments[s];
  const uint16_t m = index->blocks[seg.id[slot]].max_key;
  seg.key[slot] = m;
  const uint16_t before = seg.max_key;
  seg.max_key = m >= before ? m : largest(seg.key, seg.count);
  if (seg.max_key != before) update_tree(index, s);
}

// A place between two nodes, or after the last: a segment's place in
// sequence, a block's slot in that segment, an index in that block.
struct position {
  uint32_t place;
  uint32_t slot;
  uint32_t at;
};

const list_block& block_at(const list_index& index, uint32_t place, uint32_t slot) {
  return index.blocks[index.segments[index.sequence[place]].id[slot]];
}

position end_of_list(const list_index& index) {
  const uint32_t place = static_cast<uint32_t>(index.sequence.size()) - 1;
  const uint32_t slot = index.segments[index.sequence[place]].count - 1u;
  return {place, slot, block_at(index, place, slot).count};
}

// The first node in list order whose key is greater than key; the end of the
// list when there is none.
position first_greater(const list_index& index, uint16_t key) {
  if (index.tree[1] <= key) return end_of_list(index);
  uint32_t i = 1;
  while (i < index.leaves)  // which way is as likely as not: no branch
    i = 2 * i + (index.tree[2 * i] > key ? 0u : 1u);
  const uint32_t place = i - index.leaves;
  const list_segment& seg = index.segments[index.sequence[place]];
  const uint32_t slot = first_above(seg.key, key);
  return {place, slot, first_above(index.blocks[seg.id[slot]].key, key)};
}

// The node just before pos, which is not the start of the list. Blocks are
// never empty but in the index of an empty list.
uint32_t node_before(const list_index& index, position pos) {
  if (pos.at == 0) {
    if (pos.slot > 0) {
      pos.slot -= 1;
    } else {
      pos.place -= 1;
      pos.slot = index.segments[index.sequence[pos.place]].count - 1u;
    }
    pos.at = block_at(index, pos.place, pos.slot).count;
  }
  return block_at(index, pos.place, pos.slot).id[pos.at - 1];
}

// Makes room in the full segment at pos.place by moving its upper half into a
// new segment right after it. Returns where pos is now.
position split_segment(list_index* index, position pos) {
  const uint32_t old_id = index->sequence[pos.place];
  const uint32_t new_id = static_cast<uint32_t>(index->segments.size());
  index->segments.push_back(list_segment{});
  index->place_of.push_back(0);
  const uint32_t keep = move_upper_half(&index->segments[old_id], &index->segments[new_id], new_id,
                                        &index->segment_of);
  index->sequence.insert(index->sequence.begin() + pos.place + 1, new_id);
  rebuild_tree(index);
  if (pos.slot >= keep) return {pos.place + 1, pos.slot - keep, pos.at};
  return pos;
}

// Makes room in the full block at pos by moving its upper half into a new
// block right after it in its segment. Returns where pos is now.
position split_block(list_index* index, position pos) {
  if (index->segments[index->sequence[pos.place]].count == kListSegmentSize)
    pos = split_segment(index, pos);
  const uint32_t s = index->sequence[pos.place];
  list_segment& seg = index->segments[s];
  const uint32_t old_id = seg.id[pos.slot];
  const uint32_t new_id = static_cast<uint32_t>(index->blocks.size());
  index->blocks.push_back(list_block{});
  index->segment_of.push_back(s);
  list_block& old_block = index->blocks[old_id];
  const uint32_t keep =
      move_upper_half(&old_block, &index->blocks[new_id], new_id, &index->block_of);
  // The segment holds the same keys: its largest stays.
  const uint32_t after = pos.slot + 1;
  seg.key[pos.slot] = old_block.max_key;
  insert_at(&seg, after, new_id, index->blocks[new_id].max_key);
  if (pos.at > keep) return {pos.place, after, pos.at - keep};
  return pos;
}

// Puts node z (key k) at pos, splitting a full block first.
void place_node(list_index* index, position pos, uint32_t z, uint16_t k) {
  if (block_at(*index, pos.place, pos.slot).count == kListBlockSize) pos = split_block(index, pos);
  const uint32_t s = index->sequence[pos.place];
  const uint32_t id = index->segments[s].id[pos.slot];
  list_block& b = index->blocks[id];
  insert_at(&b, pos.at, z, k);
  index->block_of[z] = id;
  if (k > b.max_key) {
    b.max_key = k;
    block_max_changed(index, s, pos.slot);
  }
}

}  // namespace

void list_index_build(list_index* index, const std::vector<element*>& order, uint32_t room) {
  const uint32_t n = static_cast<uint32_t>(order.size());
  // A new block takes at least kListBlockSize - kBlockFill insertions (the
  // first split of a built block), a new segment at least
  // kListSegmentSize - kSegmentFill new blocks.
  const size_t built_blocks = n / kBlockFill + 1;
  const size_t most_blocks = built_blocks + room / (kListBlockSize - kBlockFill) + 1;
  const size_t most_segments =
      built_blocks / kSegmentFill + 1 + most_blocks / (kListSegmentSize - kSegmentFill) + 1;
  index->element_of.reserve(size_t{n} + room);
  index->element_of.assign(order.begin(), order.end());
  index->block_of.reserve(size_t{n} + room);
  index->block_of.assign(n, 0);
  index->blocks.clear();
  index->blocks.reserve(most_blocks);
  index->segment_of.clear();
  index->segment_of.reserve(most_blocks);
  index->segments.clear();
  index->segments.reserve(most_segments);
  index->sequence.clear();
  index->sequence.reserve(most_segments);
  index->place_of.reserve(most_segments);
  index->tree.reserve(2 * size_t{leaves_for(most_segments)});
  for (uint32_t start = 0; start < n || index->blocks.empty(); start += kBlockFill) {
    const uint32_t id = static_cast<uint32_t>(index->blocks.size());
    index->blocks.push_back(list_block{});
    list_block& b = index->blocks.back();
    b.count = static_cast<uint16_t>(std::min(kBlockFill, n - std::min(n, start)));
    for (uint32_t i = 0; i < b.count; ++i) {
      b.id[i] = start + i;
      b.key[i] = order[start + i]->tm_t_rpt;
      index->block_of[start + i] = id;
    }
    b.max_key = largest(b.key, b.count);
    if (index->segments.empty() || index->segments.back().count == kSegmentFill) {
      index->sequence.push_back(static_cast<uint32_t>(index->segments.size()));
      index->segments.push_back(list_segment{});
    }
    list_segment& seg = index->segments.back();
    seg.id[seg.count] = id;
    seg.key[seg.count] = b.max_key;
    seg.count += 1;
    seg.max_key = std::max(seg.max_key, b.max_key);
    index->segment_of.push_back(static_cast<uint32_t>(index->segments.size()) - 1);
    if (start + kBlockFill >= n) break;
  }
  index->place_of.assign(index->segments.size(), 0);
  rebuild_tree(index);
  index->built = n;
}

uint32_t list_index_insert(list_index* index, element* e, uint16_t key) {
  const uint32_t nodes = static_cast<uint32_t>(index->element_of.size());
  // What the node and the splits below need is there first, so that a
  // failure leaves the index as it was and nothing after it can fail.
  if (nodes == index->element_of.capacity()) index->element_of.reserve(2 * size_t{nodes} + 1);
  index->block_of.reserve(index->element_of.capacity());
  const size_t blocks = index->blocks.size() + 1, segments = index->segments.size() + 1;
  if (blocks > index->blocks.capacity()) index->blocks.reserve(2 * blocks);
  index->segment_of.reserve(index->blocks.capacity());
  if (segments > index->segments.capacity()) index->segments.reserve(2 * segments);
  index->sequence.reserve(segments);
  index->place_of.reserve(segments);
  index->tree.reserve(2 * size_t{leaves_for(segments)});
  index->element_of.push_back(e);
  index->block_of.push_back(0);
  const position front{0, 0, 0};
  // insert_element's cases for a list of none or one, and for a new head.
  const uint16_t head_key = nodes ? block_at(*index, 0, 0).key[0] : 0;
  if (nodes == 0 || (nodes == 1 ? head_key >= key : key < head_key)) {
    place_node(index, front, nodes, key);
    return kNoListNode;
  }
  if (nodes == 1) {
    place_node(index, end_of_list(*index), nodes, key);
    return kNoListNode;
  }
  // The first key after the head greater than this one: the head's own key is
  // not, so the first in the whole list is the same, and the place found is
  // after the head.
  const position pos = first_greater(*index, key);
  const uint32_t before = node_before(*index, pos);
  place_node(index, pos, nodes, key);
  return before;
}

void list_index_link(const list_index& index, element** head) {
  uint32_t prev = kNoListNode;
  for (uint32_t s : index.sequence) {
    const list_segment& seg = index.segments[s];
    for (uint32_t slot = 0; slot < seg.count; ++slot) {
      const list_block& b = index.blocks[seg.id[slot]];
      for (uint32_t i = 0; i < b.count; ++i) {
        const uint32_t node = b.id[i];
        // Built nodes still in a row keep their link: only the elements
        // before and after an insertion are written.
        if (prev == kNoListNode)
          *head = index.element_of[node];
        else if (node != prev + 1 || node >= index.built)
          index.element_of[prev]->next = index.element_of[node];
        prev = node;
      }
    }
  }
  if (prev == kNoListNode)
    *head = nullptr;
  else
    index.element_of[prev]->next = nullptr;
}

void list_index_key_changed(list_index* index, uint32_t node) {
  const uint32_t id = index->block_of[node];
  list_block& b = index->blocks[id];
  uint32_t at = 0;
  while (b.id[at] != node)
    ++at;
  b.key[at] = index->element_of[node]->tm_t_rpt;
  const uint16_t before = b.max_key;
  b.max_key = largest(b.key, b.count);
  if (b.max_key == before) return;
  const uint32_t s = index->segment_of[id];
  uint32_t slot = 0;
  while (index->segments[s].id[slot] != id)
    ++slot;
  block_max_changed(index, s, slot);
}

std::vector<uint32_t> list_index_order(const list_index& index) {
  std::vector<uint32_t> order;
  order.reserve(index.element_of.size());
  for (uint32_t s : index.sequence) {
    const list_segment& seg = index.segments[s];
    for (uint32_t slot = 0; slot < seg.count; ++slot) {
      const list_block& b = index.blocks[seg.id[slot]];
      order.insert(order.end(), b.id, b.id + b.count);
    }
  }
  return order;
}
