// What the host tells our Sync Manager, and what tests ask of it: which folder
// is the handheld, which file serves a database, and failures to pretend.
#pragma once

#include <cstdint>
#include <string>

// The Sync Manager's calls, for counting and for fault injection.
enum class sync_call {
  register_conduit,
  unregister_conduit,
  read_user_record,
  open_db,
  record_count,
  read_record,
  delete_db,
  create_db,
  write_record,
  close_db,
  yield,
  any,  // every call above, counted together
};

// The handheld folder: database NAME lives in DIR/NAME.pdb, the user in
// DIR/user.conf. Closes nothing; call between HotSyncs.
void sync_manager_use_folder(const std::string& dir);
// Serves database name from file instead of the folder (for a .pdb the user
// names). An empty file removes the mapping.
void sync_manager_map_database(const std::string& name, const std::string& file);
// The last sync time the user record gives from now on, instead of the
// handheld's own (for one run); off restores the handheld's.
void sync_manager_override_last_sync(bool on, uint32_t last_sync);
// Forgets open databases (unwritten), mappings, faults and counts.
void sync_manager_reset();
// The last thing that went wrong in a call, in words (a damaged file, an I/O
// error); empty when the last failure needs none.
const std::string& sync_manager_last_problem();

// The nth call (1 = the next) of kind call from now on returns code instead of
// doing its work. For sync_call::any, the nth call of any kind.
void sync_fault_arm(sync_call call, int nth, int32_t code);
void sync_fault_reset();
// Called at the start of every Sync Manager call with its kind (never with
// any); null to stop. For tests that check the order of a HotSync's steps.
void sync_manager_observe(void (*observer)(sync_call call));
int sync_call_count(sync_call call);

// Records read and written by every HotSync so far, and the count of the
// database last counted: for a progress display in another thread.
struct sync_progress {
  uint64_t records_read;
  uint64_t records_written;
  uint32_t record_count;
};
sync_progress sync_manager_progress();
