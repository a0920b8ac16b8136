#include "sync/list_index.h"

#include <algorithm>
#include <cstring>

namespace {

// Built blocks are three quarters full, so that most insertions fit.
constexpr uint32_t kBuildFill = kListBlockSize * 3 / 4;

void refresh_block_max(list_block* b) {
  uint16_t m = 0;
  for (uint32_t i = 0; i < b->count; ++i)
    m = std::max(m, b->key[i]);
  b->max_key = m;
}

// The tree over the blocks' places, made anew (after a block is split).
void rebuild_tree(list_index* index) {
  uint32_t leaves = 1;
  while (leaves < index->sequence.size())
    leaves *= 2;
  index->leaves = leaves;
  index->tree.assign(2 * leaves, 0);
  for (uint32_t p = 0; p < index->sequence.size(); ++p) {
    index->tree[leaves + p] = index->blocks[index->sequence[p]].max_key;
    index->place_of[index->sequence[p]] = p;
  }
  for (uint32_t i = leaves - 1; i >= 1; --i)
    index->tree[i] = std::max(index->tree[2 * i], index->tree[2 * i + 1]);
}

// Block `b`'s largest key changed: its leaf and the leaves' ancestors.
void update_tree(list_index* index, uint32_t b) {
  uint32_t i = index->leaves + index->place_of[b];
  index->tree[i] = index->blocks[b].max_key;
  for (i /= 2; i >= 1; i /= 2) {
    const uint16_t m = std::max(index->tree[2 * i], index->tree[2 * i + 1]);
    if (index->tree[i] == m) break;
    index->tree[i] = m;
  }
}

// Where a node goes: a place in sequence and an index in that block.
struct position {
  uint32_t place;
  uint32_t at;
};

// The first node in list order whose key is greater than key; the end (one
// past the last node of the last block) when there is none.
position first_greater(const list_index& index, uint16_t key) {
  const uint32_t blocks = static_cast<uint32_t>(index.sequence.size());
  if (index.tree[1] <= key) {
    const list_block& last = index.blocks[index.sequence[blocks - 1]];
    return {blocks - 1, last.count};
  }
  uint32_t i = 1;
  while (i < index.leaves)
    i = index.tree[2 * i] > key ? 2 * i : 2 * i + 1;
  const uint32_t place = i - index.leaves;
  const list_block& b = index.blocks[index.sequence[place]];
  uint32_t at = 0;
  while (b.key[at] <= key)
    ++at;
  return {place, at};
}

// Makes room in the block at `place` by moving its upper half into a new
// block right after it. Returns where `pos` is now.
position split(list_index* index, position pos) {
  const uint32_t old_id = index->sequence[pos.place];
  const uint32_t new_id = static_cast<uint32_t>(index->blocks.size());
  index->blocks.push_back(list_block{});
  index->place_of.push_back(0);
  list_block& old_block = index->blocks[old_id];
  list_block& new_block = index->blocks[new_id];
  const uint32_t keep = old_block.count / 2;
  new_block.count = static_cast<uint16_t>(old_block.count - keep);
  std::memcpy(new_block.node, old_block.node + keep, new_block.count * sizeof(uint32_t));
  std::memcpy(new_block.key, old_block.key + keep, new_block.count * sizeof(uint16_t));
  old_block.count = static_cast<uint16_t>(keep);
  for (uint32_t i = 0; i < new_block.count; ++i)
    index->block_of[new_block.node[i]] = new_id;
  refresh_block_max(&old_block);
  refresh_block_max(&new_block);
  index->sequence.insert(index->sequence.begin() + pos.place + 1, new_id);
  rebuild_tree(index);
  if (pos.at > keep) return {pos.place + 1, pos.at - keep};
  return pos;
}

// Puts node z (key k) at pos, splitting a full block first.
void place_node(list_index* index, position pos, uint32_t z, uint16_t k) {
  if (index->blocks[index->sequence[pos.place]].count == kListBlockSize) pos = split(index, pos);
  const uint32_t id = index->sequence[pos.place];
  list_block& b = index->blocks[id];
  std::memmove(b.node + pos.at + 1, b.node + pos.at, (b.count - pos.at) * sizeof(uint32_t));
  std::memmove(b.key + pos.at + 1, b.key + pos.at, (b.count - pos.at) * sizeof(uint16_t));
  b.node[pos.at] = z;
  b.key[pos.at] = k;
  b.count += 1;
  index->block_of[z] = id;
  if (k > b.max_key) {
    b.max_key = k;
    update_tree(index, id);
  }
}

}  // namespace

void list_index_build(list_index* index, const std::vector<element*>& order) {
  index->element_of = order;
  index->block_of.assign(order.size(), 0);
  index->blocks.clear();
  index->sequence.clear();
  const uint32_t n = static_cast<uint32_t>(order.size());
  index->blocks.reserve(n / kBuildFill + 2);
  for (uint32_t start = 0; start < n || index->blocks.empty(); start += kBuildFill) {
    const uint32_t id = static_cast<uint32_t>(index->blocks.size());
    index->blocks.push_back(list_block{});
    list_block& b = index->blocks.back();
    b.count = static_cast<uint16_t>(std::min(kBuildFill, n - std::min(n, start)));
    for (uint32_t i = 0; i < b.count; ++i) {
      b.node[i] = start + i;
      b.key[i] = order[start + i]->tm_t_rpt;
      index->block_of[start + i] = id;
    }
    refresh_block_max(&b);
    index->sequence.push_back(id);
    if (start + kBuildFill >= n) break;
  }
  index->place_of.assign(index->blocks.size(), 0);
  rebuild_tree(index);
}

element* list_index_insert(list_index* index, element** head, element* e) {
  const uint32_t z = static_cast<uint32_t>(index->element_of.size());
  index->element_of.push_back(e);
  index->block_of.push_back(0);
  if (index->blocks.size() + 1 > index->blocks.capacity()) {
    index->blocks.reserve(index->blocks.size() * 2);  // a split below must not fail
  }
  index->sequence.reserve(index->blocks.size() + 1);
  index->place_of.reserve(index->blocks.size() + 1);
  index->tree.reserve(4 * index->leaves + 2);
  const uint16_t key = e->tm_t_rpt;
  element* first = *head;
  const position front{0, 0};
  if (!first) {
    e->next = nullptr;
    *head = e;
    place_node(index, front, z, key);
    return nullptr;
  }
  const bool single = first->next == nullptr;
  if (single ? first->tm_t_rpt >= key : key < first->tm_t_rpt) {
    e->next = first;
    *head = e;
    place_node(index, front, z, key);
    return nullptr;
  }
  if (single) {
    e->next = nullptr;
    first->next = e;
    place_node(index, {0, index->blocks[index->sequence[0]].count}, z, key);
    return nullptr;
  }
  // The first key after the head greater than this one: the head's own key is
  // not, so the first in the whole list is the same.
  position pos = first_greater(*index, key);
  uint32_t pred_block = index->sequence[pos.place];
  uint32_t pred_at = pos.at;
  if (pred_at == 0) {
    pred_block = index->sequence[pos.place - 1];  // the head is not after it: place > 0
    pred_at = index->blocks[pred_block].count;
  }
  element* p = index->element_of[index->blocks[pred_block].node[pred_at - 1]];
  e->next = p->next;
  p->next = e;
  place_node(index, pos, z, key);
  return p;
}

void list_index_key_changed(list_index* index, uint32_t node) {
  const uint32_t id = index->block_of[node];
  list_block& b = index->blocks[id];
  uint32_t at = 0;
  while (b.node[at] != node)
    ++at;
  b.key[at] = index->element_of[node]->tm_t_rpt;
  const uint16_t before = b.max_key;
  refresh_block_max(&b);
  if (b.max_key != before) update_tree(index, id);
}

std::vector<uint32_t> list_index_order(const list_index& index) {
  std::vector<uint32_t> order;
  order.reserve(index.element_of.size());
  for (uint32_t id : index.sequence) {
    const list_block& b = index.blocks[id];
    order.insert(order.end(), b.node, b.node + b.count);
  }
  return order;
}
