// Realistic learning data sets of any size for the benchmarks: categories,
// questions and answers of everyday lengths (some over several lines, some
// that the desktop file must wrap in CDATA), and schedules in the orders real
// files have them in.
#pragma once

#include <cstdint>
#include <string>

#include "model/element_db.h"

enum class schedule_order {
  sorted,  // as the desktop program writes its file: ascending tm_t_rpt
  nearly,  // sorted, then 1% of the elements moved later and 0.1% earlier
  random,  // no order at all, as a handheld keeps after years of reviews
};

struct dataset_options {
  int32_t elements = 10000;
  schedule_order order = schedule_order::sorted;
  uint64_t seed = 1;
  // Categories in the table, the elements spread over all of them; up to
  // kMaxCategories - 1, so that a merge can still add one.
  int32_t categories = 12;
};

// The ids are creation times: ascending from here, a few seconds apart.
constexpr uint32_t kDatasetFirstId = 1041379200u;
constexpr int32_t kDatasetStart = 1041379200;

// Fills db (constructed, empty) with a data set. The list holds the elements in
// the chosen order, linked directly (not placed by insertion).
void make_dataset(element_db* db, const dataset_options& options);

struct dataset_pair_options {
  dataset_options base;
  // The last HotSync: every id up to it was on both sides then.
  uint32_t last_sync = 0;
  int32_t added_each_side = 1000;     // new on one side since the last HotSync
  int32_t deleted_each_side = 1000;   // deleted on one side since then
  int32_t reviewed_each_side = 2000;  // reviewed (rp and schedule changed) on one side
};

// Two sides of one HotSync: the desktop and the handheld, sharing most ids.
// The handheld keeps its elements in stored order (no sorting). Returns the
// last sync time to run the merge with.
uint32_t make_dataset_pair(element_db* desktop, element_db* handheld,
                           const dataset_pair_options& options);

// DIR/elements.xml, as the conduit writes it. False when it cannot be written.
bool write_desktop_file(element_db* db, const std::string& dir);
// A handheld folder: QVelements.pdb through our Sync Manager and user.conf
// with the last HotSync. Leaves the Sync Manager serving that folder.
bool write_handheld_folder(element_db* db, const std::string& dir, uint32_t last_sync);
