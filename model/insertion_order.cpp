#include "model/insertion_order.h"

#include <cstdlib>
#include <new>

namespace {

constexpr size_t kFirstNotes = 1024;

// Stable merge of two sorted chains.
element* merge_chains(element* a, element* b) {
  element head{};
  element* tail = &head;
  while (a && b) {
    if (b->tm_t_rpt < a->tm_t_rpt) {
      tail->next = b;
      b = b->next;
    } else {
      tail->next = a;
      a = a->next;
    }
    tail = tail->next;
  }
  tail->next = a ? a : b;
  return head.next;
}

// Bottom-up merge sort: runs of 1, 2, 4, ... merged in place, stably. Needs
// no memory, for when the counting sort cannot have its tables.
element* merge_sort(element* first, size_t length) {
  for (size_t run = 1; run < length; run *= 2) {
    element result{};
    element* tail = &result;
    element* rest = first;
    while (rest) {
      element* a = rest;
      element* a_end = a;
      for (size_t i = 1; i < run && a_end->next; ++i)
        a_end = a_end->next;
      element* b = a_end->next;
      a_end->next = nullptr;
      element* b_end = b;
      for (size_t i = 1; i < run && b_end && b_end->next; ++i)
        b_end = b_end->next;
      rest = b_end ? b_end->next : nullptr;
      if (b_end) b_end->next = nullptr;
      tail->next = merge_chains(a, b);
      while (tail->next)
        tail = tail->next;
    }
    first = result.next;
  }
  return first;
}

// Keys are 16-bit: a stable counting sort over the noted keys finds each
// element's place without touching an element. Then only the elements whose
// successor changes are written, in the order they came, which is the order
// they lie in memory. Null (nothing changed) when its tables cannot be
// allocated.
element* counting_sort(element** noted, const uint16_t* keys, size_t n, list_order* order) {
  constexpr size_t kKeys = 65536;
  uint32_t* starts = static_cast<uint32_t*>(std::calloc(kKeys, sizeof(uint32_t)));
  uint32_t* placed = static_cast<uint32_t*>(std::malloc(n * sizeof(uint32_t)));
  uint32_t* rank = static_cast<uint32_t*>(std::malloc(n * sizeof(uint32_t)));
  if (!starts || !placed || !rank) {
    std::free(starts);
    std::free(placed);
    std::free(rank);
    return nullptr;
  }
  for (size_t i = 0; i < n; ++i)
    starts[keys[i]] += 1;
  uint32_t sum = 0;
  for (size_t k = 0; k < kKeys; ++k) {
    const uint32_t count = starts[k];
    starts[k] = sum;
    sum += count;
  }
  element** ordered = nullptr;
  if (order) {
    try {
      order->resize(n);
      ordered = order->data();
    } catch (const std::bad_alloc&) {
      list_order().swap(*order);
    }
  }
  for (size_t i = 0; i < n; ++i) {
    rank[i] = starts[keys[i]]++;
    placed[rank[i]] = static_cast<uint32_t>(i);
    if (ordered) ordered[rank[i]] = noted[i];
  }
  // The chain links each element to the next one noted: that link stays
  // where the new successor is the same.
  for (size_t i = 0; i < n; ++i) {
    const size_t r = rank[i];
    const size_t successor = r + 1 < n ? placed[r + 1] : n;
    if (successor != i + 1) noted[i]->next = successor < n ? noted[successor] : nullptr;
  }
  element* first = noted[placed[0]];
  std::free(starts);
  std::free(placed);
  std::free(rank);
  return first;
}

void forget_notes(insertion_order* o) {
  std::free(o->noted);
  std::free(o->keys);
  o->noted = nullptr;
  o->keys = nullptr;
  o->noted_count = 0;
  o->capacity = 0;
}

// Room for one more note; false when the memory cannot be had, after which
// nothing more is noted.
bool room_to_note(insertion_order* o) {
  if (o->noted_count < o->capacity) return true;
  if (o->noted_count < o->count) return false;
  const size_t grown = o->capacity ? o->capacity * 2 : kFirstNotes;
  void* noted = std::realloc(o->noted, grown * sizeof(element*));
  if (noted) o->noted = static_cast<element**>(noted);
  void* keys = noted ? std::realloc(o->keys, grown * sizeof(uint16_t)) : nullptr;
  if (keys) o->keys = static_cast<uint16_t*>(keys);
  if (!noted || !keys) return false;
  o->capacity = grown;
  return true;
}

}  // namespace

void insertion_order_start(insertion_order* o) {
  *o = insertion_order{nullptr, nullptr, 0, true, nullptr, nullptr, 0, 0};
}

void insertion_order_add(insertion_order* o, element* e) {
  e->next = nullptr;
  const bool noting = room_to_note(o);
  if (!o->first) {
    o->first = o->last = e;
  } else if (o->count == 1 && e->tm_t_rpt <= o->first->tm_t_rpt) {
    // With one element in the list, an equal key goes first too.
    e->next = o->first;
    o->first = e;
    if (noting) {
      o->noted[1] = o->noted[0];
      o->keys[1] = o->keys[0];
      o->noted[0] = e;
      o->keys[0] = e->tm_t_rpt;
      o->noted_count = 2;
    }
    o->count = 2;
    return;
  } else {
    if (e->tm_t_rpt < o->last->tm_t_rpt) o->ordered = false;
    o->last->next = e;
    o->last = e;
  }
  if (noting) {
    o->noted[o->noted_count] = e;
    o->keys[o->noted_count] = e->tm_t_rpt;
    o->noted_count += 1;
  }
  o->count += 1;
}

element* insertion_order_finish(insertion_order* o, list_order* order) {
  if (order) order->clear();
  element* first = o->first;
  if (!o->ordered) {
    element* sorted =
        o->noted_count == o->count ? counting_sort(o->noted, o->keys, o->count, order) : nullptr;
    first = sorted ? sorted : merge_sort(first, o->count);
  } else if (order && o->noted_count == o->count) {
    try {
      order->assign(o->noted, o->noted + o->count);
    } catch (const std::bad_alloc&) {
      list_order().swap(*order);
    }
  }
  forget_notes(o);
  insertion_order_start(o);
  return first;
}

void insertion_order_abandon(insertion_order* o) {
  free_element_nodes(o->first);
  forget_notes(o);
  insertion_order_start(o);
}

element* sort_as_inserted(element* first) {
  insertion_order o;
  insertion_order_start(&o);
  while (first) {
    element* next = first->next;
    insertion_order_add(&o, first);
    first = next;
  }
  return insertion_order_finish(&o);
}
