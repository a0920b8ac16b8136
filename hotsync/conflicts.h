// Conflicts: elements both sides changed since the last HotSync, each in its
// own way, or that one side deleted while the other changed them. The merge
// settles each by its rule and so drops one version without a word; hotsync
// finds them in the reads of both sides it makes for the report, sees after
// the HotSync which versions are gone, and keeps those:
//
//   HANDHELD/conflicts/20261208-013000.xml   the versions a HotSync dropped
//
// in elements.xml format, with their categories, the id as the backup's of
// the same HotSync.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hotsync/change_report.h"
#include "hotsync/sync_base.h"

// An element as one side held it before a HotSync, whole.
struct kept_element {
  element_digest digest;
  question_start start;
  std::string category;
  uint32_t bgcolor = 0;
  std::string question, answer;
};

struct conflict {
  uint32_t id = 0;
  // Whether each side held it before the HotSync (false: deleted there since
  // the base), and then its version.
  bool on_desktop = false, on_handheld = false;
  kept_element desktop, handheld;
  // What each side holds of it after the HotSync (see_after).
  enum holding : uint8_t { kUnseen, kOwn, kOther, kNone, kSomethingElse };
  holding desktop_after = kUnseen, handheld_after = kUnseen;
  bool desktop_found = false, handheld_found = false;  // the version on either side after
  bool present_after = false;                          // the element on either side after

  // Whether a side's version came through the HotSync: its element on a
  // side, or for a deletion, on none.
  bool desktop_kept() const { return on_desktop ? desktop_found : !present_after; }
  bool handheld_kept() const { return on_handheld ? handheld_found : !present_after; }
};

// Both sides as they were before a HotSync, with their conflicts.
struct sides_before {
  side_state desktop, handheld;
  std::vector<conflict> conflicts;  // ascending id
  // Non-empty: the versions of the conflicts could not be read back whole.
  std::string problem;
};

// Reads both sides at once as digests; with a known base, finds the elements
// in conflict and reads back the whole versions of those only. A side that is
// empty or cannot be read has none: the merge then copies the other side over
// and drops nothing.
sides_before read_sides_before(const std::string& desktop_file, const std::string& pdb,
                               const sync_base& base, bool with_starts);
// The part of read_sides_before after the readings, for sides read apart:
// the conflicts of sides->desktop and sides->handheld, their versions read
// back whole from the files.
void find_conflicts(const std::string& desktop_file, const std::string& pdb, const sync_base& base,
                    sides_before* sides);
// How many elements a side is expected to hold, by the base (0: unknown).
size_t expected_elements(const sync_base& base);

// Notes what one side holds of each conflict after the HotSync. A side that
// cannot be read leaves each version it may hold unfound, so that it is kept.
void see_after(std::vector<conflict>* conflicts, bool desktop, const side_state& after);

// Where the report says the dropped versions are.
struct conflicts_kept {
  bool dry_run = false;
  bool completed = true;  // the conduit carried the HotSync through
  std::string file;       // "conflicts/ID.xml"; empty when none was written
  std::string problem;    // why it could not be written
};

// The report's lines of the conflicts, after the change lines: one per side
// that lost versions, one for those left apart; verbose: each conflict.
std::string conflicts_text(const std::vector<conflict>& conflicts, const side_changes& desktop,
                           const side_changes& handheld, const conflicts_kept& kept, bool verbose);
// The same as members for report_json.
std::string conflicts_json(const std::vector<conflict>& conflicts, const side_changes& desktop,
                           const side_changes& handheld, const conflicts_kept& kept);

// Whether a conflict dropped a version that a file can hold.
bool any_version_dropped(const std::vector<conflict>& conflicts);

// False with *why when HANDHELD/conflicts exists but is no folder of its own.
bool conflicts_folder_usable(const std::string& handheld, std::string* why);

// Before the HotSync: writes every version of each conflict to
// HANDHELD/conflicts/ID.xml (ID, or ID-N when taken), time of start tm_strt,
// so that a HotSync cut short once the conduit wrote keeps them all.
// kept->file is set, or kept->problem.
void keep_conflicting_versions(const std::string& handheld, const std::string& id, int32_t tm_strt,
                               const std::vector<conflict>& conflicts, conflicts_kept* kept);
// After it: narrows kept->file to the versions the HotSync dropped, or
// removes it when none was, then removes the oldest other conflict files
// beyond `keep` (none when keep is 0).
void keep_dropped_versions(const std::string& handheld, int32_t tm_strt,
                           const std::vector<conflict>& conflicts, int keep, conflicts_kept* kept);

struct conflict_file {
  std::string id;
  std::string path;
  int64_t time = 0;
  int64_t elements = -1;  // -1: it cannot be read
};

// The conflict files of a handheld folder, oldest first. False with *why
// when the folder cannot be read; none yet is no error.
bool list_conflict_files(const std::string& handheld, std::vector<conflict_file>* all,
                         std::string* why);
