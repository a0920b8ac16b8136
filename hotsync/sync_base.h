// What both sides held after the last complete HotSync, kept in the handheld
// folder so that the next HotSync can tell which side changed an element
// since, and find the elements both changed:
//
//   HANDHELD/sync_base.bin
//
// Per element its id, a digest of its texts, its seven schedule values and
// its category by name. It belongs to the HotSync whose time user.conf holds
// as the last one: beside any other time (a HotSync whose base could not be
// kept, a restore, a run with --no-report) it is no knowledge at all.
//
// The file, numbers big-endian:
//   "QVBASE" and the format version (3)
//   the last HotSync it belongs to (4), categories (4), elements (4)
//   each category: name length (2), the name
//   each element, ascending id: id (4), texts digest (8), the seven schedule
//     values (2 each), category (4), flags (1: kBaseSidesDiffered)
//   a digest of every byte before (8)
// Digests are bytes_digest's. Format 2, which earlier versions wrote, is the
// same with FNV-1a digests; it is read, and the sides compared with it by
// digests of its kind, so that an update does not cost a HotSync its
// conflicts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hotsync/change_report.h"

constexpr char kSyncBaseFile[] = "sync_base.bin";

// The sides held different versions of it after the HotSync (a pair the
// merge left apart, a text elements.xml cannot hold): each side counts as
// having changed it since.
constexpr uint8_t kBaseSidesDiffered = 1;

struct base_element {
  uint32_t id;
  uint16_t schedule[7];  // as element_digest::schedule
  uint8_t flags;
  uint32_t category;  // index into sync_base::categories
  uint64_t texts;     // texts_digest
};

struct sync_base {
  bool known = false;      // false: nothing is known of the last HotSync
  bool fnv_texts = false;  // format 2: texts digests are FNV-1a's
  std::vector<std::string> categories;
  std::vector<base_element> elements;  // ascending id, each id once
};

// The base of the HotSync at last_sync in the handheld folder. One that is
// missing, cannot be read, is damaged or belongs to another time is unknown.
sync_base read_sync_base(const std::string& handheld, uint32_t last_sync);

// Replaces the base in the handheld folder with the data set both sides hold
// after the HotSync at last_sync: each id once, the desktop's version, or
// the handheld's where the sides differ. 0, or the system's error number.
int write_sync_base(const std::string& handheld, uint32_t last_sync, const side_state& desktop,
                    const side_state& handheld_side);
