// The two-way merge of the desktop and the handheld data set.
#pragma once

#include <cstdint>

#include "model/list_order.h"

// Results of sync_dbs.
constexpr int kMergedWriteBoth = 0;      // merged in memory: the caller writes both sides
constexpr int kOlderSideWritten = 1;     // the sides started apart: the older one was written over
constexpr int kOlderSideNotWritten = 2;  // the sides started apart; writing the older one failed
constexpr int kMergeFailed = -1;         // memory ran out: nothing may be written
constexpr int kMergeTooManyCategories = -2;  // a side would need a 65,537th category

// Merges pc_db and hh_db by element id. With different start times the older
// data set replaces the other side (written here). Otherwise the element with
// more reviews wins a pair; an element only one side has is copied over when
// it is newer than lastSyncTime (or lastSyncTime is 0) and deleted otherwise.
// An element copied to the other side takes its category by name there.
int sync_dbs(uint32_t lastSyncTime);

// sync_dbs with the lists' orders as their readers left them (each taken
// where it still holds, else the list is walked). After a merge that leaves
// both sides to be written (kMergedWriteBoth), they hold the merged lists'
// orders for the writers; otherwise they are left empty.
int sync_dbs_in_order(uint32_t lastSyncTime, list_order* pc_order, list_order* hh_order);
