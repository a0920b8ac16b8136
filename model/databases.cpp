#include "model/databases.h"

element_db pc_db;
element_db hh_db;

namespace {

// Ties the two databases to the library's lifetime: static initialisation
// constructs them before any entry point runs, static destruction releases them.
struct library_databases {
  library_databases() {
    construct_db(&pc_db);
    construct_db(&hh_db);
  }
  ~library_databases() {
    release_db(&pc_db);
    release_db(&hh_db);
  }
  library_databases(const library_databases&) = delete;
  library_databases& operator=(const library_databases&) = delete;
};

library_databases the_databases;

}  // namespace
