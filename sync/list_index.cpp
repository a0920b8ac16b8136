#include "sync/list_index.h"

#include <cstddef>

namespace {

using node_t = list_index_node;

uint32_t next_priority(list_index* index) {
  uint64_t x = index->seed;  // xorshift64: any spread of priorities keeps the tree shallow
  x ^= x << 13;
  x ^= x >> 7;
  x ^= x << 17;
  index->seed = x;
  return static_cast<uint32_t>(x >> 32);
}

// The largest key under n (its own included), from its children's.
void refresh(list_index* index, uint32_t n) {
  node_t& node = index->nodes[n];
  uint16_t m = node.key;
  if (node.left != kNoListNode && index->nodes[node.left].max_key > m)
    m = index->nodes[node.left].max_key;
  if (node.right != kNoListNode && index->nodes[node.right].max_key > m)
    m = index->nodes[node.right].max_key;
  node.max_key = m;
}

// After a change below n (or to n's own key), while its largest key was still
// right for the subtree before the change: n and its ancestors, up to the
// first whose largest key stays as it was, as nothing above depends on more.
void refresh_upwards(list_index* index, uint32_t n) {
  for (; n != kNoListNode; n = index->nodes[n].parent) {
    const uint16_t before = index->nodes[n].max_key;
    refresh(index, n);
    if (index->nodes[n].max_key == before) break;
  }
}

void replace_child(list_index* index, uint32_t parent, uint32_t old_child, uint32_t new_child) {
  if (parent == kNoListNode) {
    index->root = new_child;
  } else if (index->nodes[parent].left == old_child) {
    index->nodes[parent].left = new_child;
  } else {
    index->nodes[parent].right = new_child;
  }
  if (new_child != kNoListNode) index->nodes[new_child].parent = parent;
}

// Lifts n above its parent, keeping the order.
void rotate_up(list_index* index, uint32_t n) {
  std::vector<node_t>& t = index->nodes;
  const uint32_t p = t[n].parent;
  const uint32_t grand = t[p].parent;
  if (t[p].left == n) {
    t[p].left = t[n].right;
    if (t[n].right != kNoListNode) t[t[n].right].parent = p;
    t[n].right = p;
  } else {
    t[p].right = t[n].left;
    if (t[n].left != kNoListNode) t[t[n].left].parent = p;
    t[n].left = p;
  }
  t[p].parent = n;
  replace_child(index, grand, p, n);
  refresh(index, p);
  refresh(index, n);
}

uint32_t leftmost(const list_index& index, uint32_t n) {
  while (index.nodes[n].left != kNoListNode)
    n = index.nodes[n].left;
  return n;
}

uint32_t rightmost(const list_index& index, uint32_t n) {
  while (index.nodes[n].right != kNoListNode)
    n = index.nodes[n].right;
  return n;
}

// The first node in list order whose key is greater than key.
uint32_t first_greater(const list_index& index, uint16_t key) {
  uint32_t n = index.root;
  while (n != kNoListNode) {
    const node_t& node = index.nodes[n];
    if (node.left != kNoListNode && index.nodes[node.left].max_key > key) {
      n = node.left;
    } else if (node.key > key) {
      return n;
    } else if (node.right != kNoListNode && index.nodes[node.right].max_key > key) {
      n = node.right;
    } else {
      return kNoListNode;
    }
  }
  return kNoListNode;
}

uint32_t predecessor(const list_index& index, uint32_t n) {
  if (index.nodes[n].left != kNoListNode) return rightmost(index, index.nodes[n].left);
  uint32_t p = index.nodes[n].parent;
  while (p != kNoListNode && index.nodes[p].left == n) {
    n = p;
    p = index.nodes[p].parent;
  }
  return p;
}

// Hangs the new node z just before `before` (kNoListNode: at the end), then
// lifts it to where its priority belongs.
void attach(list_index* index, uint32_t z, uint32_t before) {
  std::vector<node_t>& t = index->nodes;
  if (index->root == kNoListNode) {
    index->root = z;
  } else if (before == kNoListNode) {
    uint32_t last = rightmost(*index, index->root);
    t[last].right = z;
    t[z].parent = last;
  } else if (t[before].left == kNoListNode) {
    t[before].left = z;
    t[z].parent = before;
  } else {
    uint32_t p = rightmost(*index, t[before].left);
    t[p].right = z;
    t[z].parent = p;
  }
  while (t[z].parent != kNoListNode && t[t[z].parent].priority < t[z].priority)
    rotate_up(index, z);
  // z and the nodes it rotated below it are right; its ancestors gained z.
  refresh_upwards(index, t[z].parent);
}

}  // namespace

void list_index_build(list_index* index, const std::vector<element*>& order) {
  index->nodes.clear();
  index->root = kNoListNode;
  index->seed = 0x2545F4914F6CDD1Dull;
  index->nodes.reserve(order.size());
  std::vector<node_t>& t = index->nodes;
  // The tree of the list in one pass: a stack holds the right spine, and each
  // new node takes below it the spine nodes of lower priority. A node leaves
  // the spine with its subtree complete, so its largest key is known then.
  std::vector<uint32_t> spine;
  for (element* e : order) {
    const uint32_t i = static_cast<uint32_t>(t.size());
    t.push_back(node_t{e, kNoListNode, kNoListNode, kNoListNode, next_priority(index), e->tm_t_rpt,
                       e->tm_t_rpt});
    uint32_t last_popped = kNoListNode;
    while (!spine.empty() && t[spine.back()].priority < t[i].priority) {
      last_popped = spine.back();
      spine.pop_back();
      refresh(index, last_popped);
    }
    t[i].left = last_popped;
    if (last_popped != kNoListNode) t[last_popped].parent = i;
    if (!spine.empty()) {
      t[spine.back()].right = i;
      t[i].parent = spine.back();
    }
    spine.push_back(i);
  }
  for (size_t i = spine.size(); i-- > 0;)
    refresh(index, spine[i]);
  if (!spine.empty()) index->root = spine.front();
}

element* list_index_insert(list_index* index, element** head, element* e) {
  const uint32_t z = static_cast<uint32_t>(index->nodes.size());
  index->nodes.push_back(node_t{e, kNoListNode, kNoListNode, kNoListNode, next_priority(index),
                                e->tm_t_rpt, e->tm_t_rpt});
  const uint16_t key = e->tm_t_rpt;
  element* first = *head;
  if (!first) {
    e->next = nullptr;
    *head = e;
    attach(index, z, kNoListNode);
    return nullptr;
  }
  const bool single = first->next == nullptr;
  if (single ? first->tm_t_rpt >= key : key < first->tm_t_rpt) {
    e->next = first;
    *head = e;
    attach(index, z, leftmost(*index, index->root));
    return nullptr;
  }
  if (single) {
    e->next = nullptr;
    first->next = e;
    attach(index, z, kNoListNode);
    return nullptr;
  }
  // The first key after the head greater than this one: the head's own key is
  // not, so the first in the whole list is the same.
  const uint32_t before = first_greater(*index, key);
  const uint32_t pred =
      before == kNoListNode ? rightmost(*index, index->root) : predecessor(*index, before);
  element* p = index->nodes[pred].el;
  e->next = p->next;
  p->next = e;
  attach(index, z, before);
  return p;
}

void list_index_key_changed(list_index* index, uint32_t node) {
  index->nodes[node].key = index->nodes[node].el->tm_t_rpt;
  refresh_upwards(index, node);
}

std::vector<uint32_t> list_index_order(const list_index& index) {
  std::vector<uint32_t> order;
  order.reserve(index.nodes.size());
  std::vector<uint32_t> stack;
  uint32_t n = index.root;
  while (n != kNoListNode || !stack.empty()) {
    while (n != kNoListNode) {
      stack.push_back(n);
      n = index.nodes[n].left;
    }
    n = stack.back();
    stack.pop_back();
    order.push_back(n);
    n = index.nodes[n].right;
  }
  return order;
}
