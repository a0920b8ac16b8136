// The merge as its rules read, one element at a time: ordered maps, each copy
// placed by insert_element from the head, each deletion by delete_element.
// Quadratic on large unsorted lists; the tests hold sync_dbs to its results.
#pragma once

#include <cstdint>

// Merges pc_db and hh_db (same start time) as sync_dbs does. Returns false
// when memory ran out.
bool reference_merge(uint32_t last_sync);
