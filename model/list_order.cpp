#include "model/list_order.h"

bool order_holds(const element* head, const list_order& order) {
  if (order.empty()) return head == nullptr;
  if (order.front() != head || order.back()->next != nullptr) return false;
  // Every link is looked at, none waiting for the one before.
  bool holds = true;
  for (size_t k = 0; k + 1 < order.size(); ++k)
    holds &= order[k]->next == order[k + 1];
  return holds;
}
