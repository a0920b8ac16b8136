// What the host tells our Sync Manager, and what tests ask of it: which folder
// is the handheld, which file serves a database, and failures to pretend.
#pragma once

#include <cstdint>
#include <string>

#include "platform/module.h"

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

// How a database is replaced. sync_delete_db holds a deletion: the file stays
// on disk, while for the rest of the HotSync the database is absent (opening
// it finds nothing, creating one of its name is allowed). A database of that
// name created and closed complete is renamed over the file in one step; a
// HotSync that ends (sync_unregister_conduit, sync_manager_reset) without one
// leaves the old file. Complete means every record write succeeded: after a
// failed one the close writes nothing and returns the error (kSyncErrIo). A
// database created in this HotSync and deleted while still open is abandoned:
// the delete returns kSyncOk, writes to its handle give kSyncErrNotFound and
// its close writes nothing and returns kSyncOk. A database opened, not
// created, cannot be deleted while open (kSyncErrDatabaseOpen).
//
// The handheld folder: database NAME lives in DIR/NAME.pdb, the user in
// DIR/user.conf. Closes nothing; call between HotSyncs.
QV_HOST_API void sync_manager_use_folder(const std::string& dir);
// Serves database name from file instead of the folder (for a .pdb the user
// names). An empty file removes the mapping.
QV_HOST_API void sync_manager_map_database(const std::string& name, const std::string& file);
// The last sync time the user record gives from now on, instead of the
// handheld's own (for one run); off restores the handheld's.
QV_HOST_API void sync_manager_override_last_sync(bool on, uint32_t last_sync);
// Forgets open databases (unwritten), held deletions, mappings, faults and
// counts.
QV_HOST_API void sync_manager_reset();
// The last thing that went wrong in a call, in words (a damaged file, an I/O
// error); empty when the last failure needs none.
QV_HOST_API const std::string& sync_manager_last_problem();

// The nth call (1 = the next) of kind call from now on returns code instead of
// doing its work. For sync_call::any, the nth call of any kind.
QV_HOST_API void sync_fault_arm(sync_call call, int nth, int32_t code);
void sync_fault_reset();
// Called at the start of every Sync Manager call with its kind (never with
// any); null to stop. For tests that check the order of a HotSync's steps.
void sync_manager_observe(void (*observer)(sync_call call));
int sync_call_count(sync_call call);
// Calls hook(arg) once, on the thread of the calls, when a database is first
// deleted, created or written from now on (or never: sync_manager_reset
// forgets it): the moment a conduit turns from its desktop to the handheld.
QV_HOST_API void sync_manager_before_first_change(void (*hook)(void* arg), void* arg);

// Calls hook(arg) once, on the thread of the calls, at the first call that
// opens, creates or deletes a database from now on, before it does anything
// (or never: sync_manager_reset forgets it): the moment a conduit turns to
// the handheld, having read the desktop and changed nothing. When hook
// returns false, that call and every later one fail with kSyncErrIo until
// sync_manager_reset. The hook's own calls (the host reading the handheld)
// are served as between HotSyncs: not observed, counted or refused.
QV_HOST_API void sync_manager_before_first_database_call(bool (*hook)(void* arg), void* arg);

// While one lives, the Sync Manager calls of the thread that made it are
// served from a state of their own, as between HotSyncs (no folder, mapping,
// fault, observer or hook of another thread's), and their records are not
// counted in sync_manager_progress: for the host's reading of a handheld
// database beside a conduit's calls on another thread.
class QV_HOST_API sync_manager_own_state {
 public:
  sync_manager_own_state();
  ~sync_manager_own_state();
  sync_manager_own_state(const sync_manager_own_state&) = delete;
  sync_manager_own_state& operator=(const sync_manager_own_state&) = delete;

 private:
  void* outer_;
  void* mine_;
};

// Records read and written by every HotSync so far, and the count of the
// database last counted: for a progress display in another thread.
struct sync_progress {
  uint64_t records_read;
  uint64_t records_written;
  uint32_t record_count;
};
QV_HOST_API sync_progress sync_manager_progress();
