// Where a reader hands each element it reads, as soon as the element is whole,
// instead of gathering the data set: for a caller that only looks at each
// element once (a digest, a count) and need not hold them all.
#pragma once

#include "model/element_db.h"

struct element_sink {
  // Called once per element, in the order of the file. The element and its
  // texts are the reader's and valid only during the call; its category is an
  // index into db's table as it stands (the reader's own rules applied: every
  // index valid). False stops the reading as if memory had run out.
  bool (*take)(void* context, const element_db& db, const element& e);
  void* context;
};
