// One HotSync as the HotSync Manager runs it: the handheld folder served, the
// conduit loaded and called, the HotSync log shown and kept, the last sync
// time recorded.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct session_options {
  bool stored_action = false;  // the sync type comes from the handheld's preferences
  std::string handheld;        // empty: the default handheld folder
  std::string desktop;         // non-empty: pathtodatadir for this run
  std::string registry;        // empty: the default registry file
  std::string conduit;         // empty: the plug-in beside hotsync
  // With registry empty: the user's registry as it is, never made (for a dry
  // run's copy, whose conduit must find what the user's would).
  bool user_registry_as_is = false;
  bool has_last_sync = false;
  uint32_t last_sync = 0;
  uint32_t sync_type = 0;
  // What the host adds around the conduit.
  bool verbose = false;  // the change report lists each element
  bool json = false;     // the change report as JSON on standard output
  bool dry_run = false;  // run on private copies of both sides; touch nothing
  bool report = true;    // read both sides before and after, and report the changes
  int keep_backups = 10;
};

// What became of a HotSync that was run.
struct hotsync_outcome {
  uint32_t sync_type = 0;      // the one the conduit was given
  int32_t conduit_result = 0;  // OpenConduit's: kOpenConduitDone when carried through
  bool changed = false;        // the report found a change on either side
  // Non-empty: the HotSync was carried through, but this sentence says what of
  // its record (user.conf, hotsync.conf) could not be kept.
  std::string not_recorded;
};

// Runs one HotSync (on private copies of both sides for a dry run) with the
// report and the backup around it, and records it as the last HotSync only
// when the conduit carried it through. 0 with *outcome (a record that could
// not be kept is in outcome->not_recorded), or -1 with *why when it could not
// be run (nothing was changed then).
int run_hotsync(const session_options& options, hotsync_outcome* outcome, std::string* why);

// False with *why when a side (desktop_file, the handheld database) or a
// file of the handheld folder that hotsync reads or writes exists but is not
// a regular file, or cannot be looked at, or its backups folder is no folder
// of its own. Nothing is opened: a FIFO would block. A side may be a symbolic
// link to a regular file; HotSync.log, which is appended to in place, may not.
bool files_are_regular(const std::string& handheld, const std::string& desktop_file,
                       std::string* why);

// The handheld folder of these options.
std::string handheld_folder_for(const session_options& options);

// Puts backup `id` of the handheld folder back (the desktop side, the handheld
// side or both), the sides as they are backed up first. 0, or -1 with *why.
int restore_sides(const session_options& options, const std::string& id, bool desktop,
                  bool handheld, std::string* why);

// The world a conduit call runs in: the handheld folder made and served, the
// registry in place (one in memory for --desktop).
class host_setup {
 public:
  host_setup() = default;
  ~host_setup();
  host_setup(const host_setup&) = delete;
  host_setup& operator=(const host_setup&) = delete;
  bool prepare(const session_options& options, std::string* why);
  // False with *why when the registry names a data directory that is not an
  // existing folder (the default one is made). One it does not name, or names
  // too long, passes: the conduit says so in its log. One among the
  // handheld's backups is refused.
  bool check_data_dir(std::string* why);
  // Only the last: for what leaves the desktop alone but prunes backups.
  bool check_data_dir_outside_backups(std::string* why);
  // Makes this the only HotSync on the handheld folder and the desktop
  // folder: waits briefly for another one to end, then refuses.
  bool lock_folders(std::string* why);
  const std::string& handheld() const { return handheld_; }

 private:
  std::string handheld_;
  std::string data_dir_named_by_;  // where pathtodatadir comes from, in words
  std::vector<intptr_t> locks_;
};
