// A data set the host holds for one call or command: let go of however the
// call ends, a std::bad_alloc from a text or a list included.
#pragma once

#include "model/element_db.h"

struct scoped_db {
  element_db db;
  scoped_db() { construct_db(&db); }
  // release_db leaves db empty, so a caller may let go of it early too.
  ~scoped_db() { release_db(&db); }
  scoped_db(const scoped_db&) = delete;
  scoped_db& operator=(const scoped_db&) = delete;
};
