// A list's elements in list order, as the code that built or last changed the
// list had them at hand. A pass over a long list waits at every step for the
// element before to come from memory (about 0.18 s for 1,000,000 elements);
// a pass that takes the elements from here asks for many at once, and so
// does the check that the order still holds (a tenth of that).
#pragma once

#include <vector>

#include "model/element_db.h"

using list_order = std::vector<element*>;

// Whether order is exactly the list from head on: each element's next is the
// one after it in order, the last one's null. An empty order holds only for
// an empty list. Each element named is read: an order is handed on only
// from code that frees none of its elements before the next one takes it.
bool order_holds(const element* head, const list_order& order);
