// The order in which inserting elements one after the other with
// insert_element would leave them, had at once for a whole file: ascending
// tm_t_rpt, equal keys in the order they came, except that the second goes
// before the first when their keys are equal.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/element_db.h"
#include "model/list_order.h"

// Elements gathered as they come. They are linked in that order at once, while
// each is at hand, and noted in two arrays (the element, its key), so that
// ordering them never walks the list: a file in order costs nothing more, one
// mostly in order rewrites only the links that change.
struct insertion_order {
  // The chain, in the order the elements came, except that the first two
  // trade places when the second's key is not greater.
  element* first;
  element* last;
  size_t count;
  bool ordered;  // every key so far at least the one before it
  // The elements and their keys in chain order. noted_count < count when
  // memory for them ran out; the chain is then ordered without them.
  element** noted;
  uint16_t* keys;
  size_t noted_count;
  size_t capacity;
};

void insertion_order_start(insertion_order* o);
// Adds e (its tm_t_rpt set; its next is overwritten) after the others.
void insertion_order_add(insertion_order* o, element* e);
// Orders the gathered elements and returns the first (null when none). The
// gatherer is empty afterwards. Needs no memory to succeed. With order, the
// elements in their new order go there too where the memory can be had;
// otherwise it is left empty.
element* insertion_order_finish(insertion_order* o, list_order* order = nullptr);
// Frees the gathered elements and the gatherer's own memory.
void insertion_order_abandon(insertion_order* o);

// Orders a chain of elements (linked by next, in the order they came) exactly
// as inserting them one by one with insert_element into an empty list would.
// Linear (a counting sort on the 16-bit keys), and nearly free on a chain in
// order or close to it; without memory for its tables, a merge sort gives the
// same order. Returns the new first element.
element* sort_as_inserted(element* first);
