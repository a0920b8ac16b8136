// Our Sync Manager: keeps the handheld as a folder of Palm database files. An
// opened database keeps its file open and its records there, read one by one
// as asked for; a changed or new database is written, through a temporary
// file and a rename, when it is closed.
//
// A deleted database's file stays on disk until a complete replacement is
// renamed over it: the usual delete, create, write, close of a conduit thus
// never leaves the handheld without the database, whenever it is stopped.
#include "platform/sync_manager.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <map>
#include <new>
#include <vector>

#include "hotsync/services/handheld_user.h"
#include "hotsync/services/pdb_file.h"
#include "hotsync/services/sync_manager_host.h"
#include "platform/file.h"
#include "platform/file_replacement.h"
#include "util/byte_order.h"

namespace {

struct open_database {
  bool in_use = false;
  bool writable = false;
  bool changed = false;
  bool created = false;    // by SyncCreateDB: a database new in this HotSync
  bool abandoned = false;  // created, then deleted while open: its close writes nothing
  bool failed = false;     // a record write failed: the database would lack it
  std::string failure;     // why, when known
  std::string name;
  std::string path;
  pdb_database db;
  // Where its records lie when they are not in memory: an opened database's
  // own file, or for a new one the spool its records go to (so that a large
  // database is never held in memory whole). A new database's records are
  // gathered in its image first and written to the spool a large block at a
  // time; one that never fills the block is written once, at its close. The
  // spool's records start after room for the header, the record list and the
  // blocks, so that at its close it becomes the database file itself.
  intptr_t file = kNoFile;
  bool spooled = false;
  std::string spool;  // its path, made at creation: letting go allocates nothing
  uint64_t spool_volume = 0, spool_index = 0;  // the file made there
  uint64_t spool_size = 0;
  size_t first_gathered = 0;  // the first record that may still be in the image
};

// The records of a new database gathered in memory before they go to its spool.
constexpr size_t kSpoolBlock = 1 << 20;
// Where a spool's records start: room for a record list of 16,000 entries
// (a database of a gigabyte or so) and its blocks. Completing the spool in
// place takes this much room on the disk beyond the database's own for a
// moment; a database whose list does not fit is copied instead.
constexpr uint64_t kSpoolHeadRoom = 128 << 10;

std::atomic<uint64_t> records_read{0}, records_written{0};
std::atomic<uint32_t> last_record_count{0};

struct armed_fault {
  int calls = 0;
  int fail_at = 0;  // 0: none
  int32_t code = 0;
};

constexpr int kCalls = static_cast<int>(sync_call::any) + 1;
constexpr int kMaxHandles = 255;

// A database name in place: at most 31 bytes and a NUL.
using db_name = std::array<char, kPdbNameSize>;
using held_names = std::vector<db_name>;

struct sync_manager_state {
  std::string folder = ".";
  std::map<std::string, std::string> mapped;
  // Databases deleted in this HotSync: absent to every call, but their files
  // kept until a replacement is closed complete or the HotSync ends. Names
  // are kept in place, so that once the list has grown a hold allocates
  // nothing.
  held_names held;
  open_database handles[kMaxHandles + 1];  // 0 is never a handle
  armed_fault faults[kCalls];
  std::string problem;
  uint32_t next_registration = 1;
  void (*observer)(sync_call) = nullptr;
  void (*first_change)(void*) = nullptr;
  void* first_change_arg = nullptr;
  bool (*first_database)(void*) = nullptr;
  void* first_database_arg = nullptr;
  bool host_calls = false;  // in the first_database hook: the host's own calls
  bool refused = false;     // by the first_database hook, until the reset
  bool override_last_sync = false;
  uint32_t last_sync = 0;
};

// The state of the calling thread while it holds a sync_manager_own_state.
thread_local sync_manager_state* own_state = nullptr;

sync_manager_state& state() {
  if (own_state) return *own_state;
  static sync_manager_state* the_state = new sync_manager_state;  // outlives every caller
  return *the_state;
}

// Whether the call being served is a conduit's, not the host's own: only
// those count in sync_manager_progress.
bool conduits_call() {
  return !own_state && !state().host_calls;
}

// Counts the call and says which result to pretend, or 0 to do the work.
int32_t injected(sync_call call) {
  sync_manager_state& s = state();
  if (s.host_calls) return 0;
  if (s.observer) s.observer(call);
  if (s.first_database && (call == sync_call::open_db || call == sync_call::delete_db ||
                           call == sync_call::create_db)) {
    bool (*told)(void*) = s.first_database;
    s.first_database = nullptr;
    s.host_calls = true;
    s.refused = !told(s.first_database_arg);
    s.host_calls = false;
  }
  if (s.refused) {
    s.problem = "the HotSync was refused before it changed anything";
    return kSyncErrIo;
  }
  if (s.first_change && (call == sync_call::delete_db || call == sync_call::create_db ||
                         call == sync_call::write_record)) {
    void (*told)(void*) = s.first_change;
    s.first_change = nullptr;
    told(s.first_change_arg);
  }
  int32_t code = 0;
  for (sync_call kind : {call, sync_call::any}) {
    armed_fault& f = s.faults[static_cast<int>(kind)];
    f.calls += 1;
    if (f.fail_at != 0 && f.calls == f.fail_at) {
      f.fail_at = 0;
      if (code == 0) code = f.code;
    }
  }
  if (code != 0) s.problem = "a failure injected for a test";
  return code;
}

bool valid_name(const char* name) {
  if (!name || !*name) return false;
  size_t n = std::strlen(name);
  if (n >= kPdbNameSize || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
    return false;
  }
  return std::strpbrk(name, "/\\") == nullptr;
}

std::string path_of(const std::string& name) {
  sync_manager_state& s = state();
  auto mapped = s.mapped.find(name);
  if (mapped != s.mapped.end()) return mapped->second;
  return s.folder + "/" + name + ".pdb";
}

// Lets go of a handle, written or not.
void release_handle(open_database* d) {
  if (d->file != kNoFile) file_close(d->file);
  if (d->spooled) file_remove(d->spool.c_str());
  *d = open_database{};
}

// Writes the records gathered in a new database's image to its spool, where
// they are read from from then on.
int32_t flush_spool(open_database* d) {
  std::vector<uint8_t>& gathered = d->db.image;
  if (gathered.empty()) return kSyncOk;
  const uint64_t at = kSpoolHeadRoom + d->spool_size;
  if (int error = file_write_at(d->file, at, gathered.data(), gathered.size())) {
    state().problem = d->spool + ": " + file_error_text(error);
    return kSyncErrIo;
  }
  for (size_t i = d->first_gathered; i < d->db.records.size(); ++i) {
    pdb_record& r = d->db.records[i];
    if (!r.in_image) continue;  // replaced since by a record of its own
    r.in_image = false;
    r.in_file = true;
    r.image_offset += static_cast<size_t>(at);
  }
  d->first_gathered = d->db.records.size();
  d->spool_size += gathered.size();
  gathered.clear();
  return kSyncOk;
}

// A record of a new database, gathered for its spool.
int32_t spool_record(open_database* d, pdb_record* r, const uint8_t* bytes, size_t size) {
  std::vector<uint8_t>& gathered = d->db.image;
  if (gathered.size() + size > kSpoolBlock) {
    if (int32_t code = flush_spool(d)) return code;
  }
  if (gathered.capacity() < kSpoolBlock) gathered.reserve(kSpoolBlock);
  r->in_image = true;
  r->image_offset = gathered.size();
  r->image_size = size;
  gathered.insert(gathered.end(), bytes, bytes + size);
  return kSyncOk;
}

// A record still in a file: the database's own, or its spool (opened for
// reading just for this, as the spool is being written).
int32_t read_from_file(open_database* d, const pdb_record& r, uint8_t* out) {
  std::string why;
  intptr_t from = d->file;
  if (d->spooled) {
    int error = file_open_read(d->spool.c_str(), &from);
    if (error != 0) {
      state().problem = d->spool + ": " + file_error_text(error);
      return kSyncErrIo;
    }
  }
  int result = read_pdb_record(from, r, out, &why);
  if (d->spooled) file_close(from);
  if (result == kPdbFileOk) return kSyncOk;
  state().problem = d->path + ": " + why;
  return result == kPdbFileIoError ? kSyncErrIo : kSyncErrDamaged;
}

// kSyncOk while the spool's name still names the file made for it; a file
// put in its place meanwhile is neither read nor renamed over the database,
// and the close fails saying so.
int32_t check_spool_is_ours(const open_database* d) {
  file_identity now{};
  if (file_identity_at(d->spool.c_str(), &now) == 0 && now.regular &&
      now.volume == d->spool_volume && now.index == d->spool_index) {
    return kSyncOk;
  }
  state().problem = d->spool + ": replaced by another file while it was written";
  return kSyncErrIo;
}

// A new database whose records all lie in its spool as they were written:
// the spool is completed in place and renamed over the database's file,
// rather than copied into another.
int32_t complete_spool(open_database* d) {
  std::string why;
  os_file reader = kNoFile;
  int error = file_open_read(d->spool.c_str(), &reader);
  if (error != 0) {
    state().problem = d->spool + ": " + file_error_text(error);
    return kSyncErrIo;
  }
  if (int32_t code = check_spool_is_ours(d)) {
    file_close(reader);
    return code;
  }
  int result = kPdbFileIoError;
  try {
    result = complete_pdb_in_place(d->file, reader, d->db, kSpoolHeadRoom, &why);
  } catch (...) {
    file_close(reader);
    throw;
  }
  file_close(reader);
  if (result != kPdbFileOk) {
    state().problem = d->spool + ": " + why;
    return kSyncErrIo;
  }
  file_replacement r{d->spool.c_str(), d->file, false};
  d->file = kNoFile;
  // Forced to disk before the commit forces it again, at once: so that the
  // check whether the name is still ours comes right before the rename.
  error = file_sync(r.file);
  if (error == 0 && check_spool_is_ours(d) != kSyncOk) {
    file_close(r.file);
    return kSyncErrIo;
  }
  if (error == 0) error = file_replacement_commit(&r, d->path.c_str());
  if (error != 0) {
    file_replacement_leave(&r);
    state().problem = d->path + ": " + file_error_text(error);
    return kSyncErrIo;  // the spool is removed as the handle is let go of
  }
  d->spooled = false;  // it is the database's file now
  // A temporary of the copy, left by a HotSync stopped part-way, goes too.
  const std::string tmp = d->path + ".tmp";
  file_info left{};
  if (file_info_at(tmp.c_str(), false, &left) == 0 &&
      (left.kind == file_kind::regular || left.kind == file_kind::symbolic_link)) {
    file_remove(tmp.c_str());
  }
  return kSyncOk;
}

// Writes a changed database through a temporary file; records still in a
// file are copied from there.
int32_t write_back(open_database* d) {
  std::string why;
  if (!pdb_fits_file(d->db, &why)) {
    state().problem = d->path + ": not written, " + why;
    return kSyncErrIo;
  }
  intptr_t records = d->file;
  if (d->spooled && d->spool_size == 0) {
    // Every record is still in memory: the database is written once.
    records = kNoFile;
  } else if (d->spooled) {
    if (int32_t code = flush_spool(d)) return code;
    if (pdb_fits_in_place(d->db, kSpoolHeadRoom, kSpoolHeadRoom + d->spool_size)) {
      return complete_spool(d);
    }
    // Some file systems report a full disk only when the file is closed.
    int error = file_close(d->file);
    d->file = kNoFile;
    if (error == 0) error = file_open_read(d->spool.c_str(), &records);
    if (error != 0) {
      state().problem = d->spool + ": " + file_error_text(error);
      return kSyncErrIo;
    }
    d->file = records;
    if (int32_t code = check_spool_is_ours(d)) return code;
  }
  if (write_pdb_file(d->path, d->db, &why, records) != kPdbFileOk) {
    state().problem = d->path + ": " + why;
    return kSyncErrIo;
  }
  return kSyncOk;
}

// A record that could not be stored leaves the database incomplete: it is
// not written at its close. Refused arguments change nothing and do not count.
int32_t write_record(open_database* d, sync_record_info* info) {
  try {
    pdb_record r;
    r.attributes = static_cast<uint8_t>((info->attributes & 0xF0) | (info->category & 0x0F));
    if (info->record_id == 0 && d->spooled) {
      if (int32_t code = spool_record(d, &r, info->buffer, info->m_RecSize)) {
        d->failed = true;
        d->failure = state().problem;
        return code;
      }
    } else {
      r.bytes.assign(info->buffer, info->buffer + info->m_RecSize);
    }
    if (info->record_id == 0) {
      d->db.unique_id_seed = (d->db.unique_id_seed + 1) & 0xFFFFFF;
      r.unique_id = d->db.unique_id_seed;
      d->db.records.push_back(std::move(r));
    } else {
      bool found = false;
      for (pdb_record& old : d->db.records) {
        if (old.unique_id == info->record_id) {
          r.unique_id = old.unique_id;
          old = std::move(r);
          found = true;
          break;
        }
      }
      if (!found) return kSyncErrNotFound;
    }
  } catch (const std::bad_alloc&) {
    d->failed = true;
    return kSyncErrNoMemory;
  }
  d->changed = true;
  records_written.fetch_add(1, std::memory_order_relaxed);
  return kSyncOk;
}

open_database* find_open(uint8_t handle) {
  open_database* d = &state().handles[handle];
  return handle != 0 && d->in_use ? d : nullptr;
}

open_database* open_at(const std::string& path) {
  for (open_database& d : state().handles) {
    if (d.in_use && d.path == path) return &d;
  }
  return nullptr;
}

bool is_open(const std::string& path) {
  return open_at(path) != nullptr;
}

held_names::iterator find_held(const char* name) {
  held_names& held = state().held;
  return std::find_if(held.begin(), held.end(),
                      [name](const db_name& h) { return std::strcmp(h.data(), name) == 0; });
}

bool is_held(const char* name) {
  return find_held(name) != state().held.end();
}

// name is a valid one: shorter than kPdbNameSize.
void hold(const char* name) {
  db_name entry{};
  std::memcpy(entry.data(), name, std::strlen(name));
  state().held.push_back(entry);
}

void release_hold(const char* name) {
  auto at = find_held(name);
  if (at != state().held.end()) state().held.erase(at);
}

uint8_t free_handle() {
  for (int h = 1; h <= kMaxHandles; ++h) {
    if (!state().handles[h].in_use) return static_cast<uint8_t>(h);
  }
  return 0;
}

}  // namespace

void sync_manager_use_folder(const std::string& dir) {
  state().folder = dir;
}

void sync_manager_map_database(const std::string& name, const std::string& file) {
  if (file.empty()) {
    state().mapped.erase(name);
  } else {
    state().mapped[name] = file;
  }
}

void sync_manager_override_last_sync(bool on, uint32_t last_sync) {
  state().override_last_sync = on;
  state().last_sync = last_sync;
}

void sync_manager_reset() {
  sync_manager_state& s = state();
  s.override_last_sync = false;
  s.observer = nullptr;
  s.first_change = nullptr;
  s.first_database = nullptr;
  s.refused = false;
  for (open_database& d : s.handles)
    release_handle(&d);
  s.mapped.clear();
  s.held.clear();
  std::string().swap(s.problem);
  sync_fault_reset();
}

sync_manager_own_state::sync_manager_own_state()
    : outer_(own_state), mine_(new sync_manager_state) {
  own_state = static_cast<sync_manager_state*>(mine_);
}

sync_manager_own_state::~sync_manager_own_state() {
  sync_manager_reset();  // its own: closes what its thread left open
  own_state = static_cast<sync_manager_state*>(outer_);
  delete static_cast<sync_manager_state*>(mine_);
}

const std::string& sync_manager_last_problem() {
  return state().problem;
}

void sync_fault_arm(sync_call call, int nth, int32_t code) {
  armed_fault& f = state().faults[static_cast<int>(call)];
  f.fail_at = f.calls + nth;
  f.code = code;
}

void sync_manager_observe(void (*observer)(sync_call call)) {
  state().observer = observer;
}

void sync_manager_before_first_database_call(bool (*hook)(void* arg), void* arg) {
  state().first_database = hook;
  state().first_database_arg = arg;
}

void sync_manager_before_first_change(void (*hook)(void* arg), void* arg) {
  state().first_change = hook;
  state().first_change_arg = arg;
}

void sync_fault_reset() {
  for (armed_fault& f : state().faults)
    f = armed_fault{};
}

int sync_call_count(sync_call call) {
  return state().faults[static_cast<int>(call)].calls;
}

// The calls below do their work in *_impl; the exported ones keep every
// exception (memory running out) on this side of the C interface.
extern "C" {

int32_t sync_register_conduit_impl(uint32_t* handle) {
  if (int32_t code = injected(sync_call::register_conduit)) return code;
  *handle = state().next_registration++;
  return kSyncOk;
}

int32_t sync_unregister_conduit_impl(uint32_t) {
  // The HotSync ends, failed call or not: a database deleted without a
  // replacement keeps its file.
  state().held.clear();
  if (int32_t code = injected(sync_call::unregister_conduit)) return code;
  return kSyncOk;
}

int32_t sync_read_user_record_impl(uint8_t* record) {
  if (int32_t code = injected(sync_call::read_user_record)) return code;
  handheld_user user;
  if (!read_handheld_user(state().folder, &user, &state().problem)) return kSyncErrIo;
  if (state().override_last_sync) user.last_sync = state().last_sync;
  fill_user_record(user, record);
  return kSyncOk;
}

int32_t sync_open_db_impl(const char* name, int32_t card_no, uint8_t* handle, uint8_t mode) {
  if (int32_t code = injected(sync_call::open_db)) return code;
  state().problem.clear();
  if (!valid_name(name)) return kSyncErrBadArgument;
  if (card_no != 0) return kSyncErrNotFound;
  const std::string path = path_of(name);
  if (is_open(path)) return kSyncErrDatabaseOpen;
  if (is_held(name)) return kSyncErrNotFound;
  uint8_t h = free_handle();
  if (h == 0) return kSyncErrTooManyOpen;
  try {
    open_database d;
    switch (open_pdb_file(path, &d.db, &d.file, &state().problem)) {
      case kPdbFileOk:
        break;
      case kPdbFileMissing:
        return kSyncErrNotFound;
      case kPdbFileIoError:
        state().problem = path + ": " + state().problem;
        return kSyncErrIo;
      default:
        state().problem = path + ": " + state().problem;
        return kSyncErrDamaged;
    }
    d.in_use = true;
    d.writable = (mode & kSyncOpenWrite) != 0;
    d.name = name;
    d.path = path;
    state().handles[h] = std::move(d);
  } catch (const std::bad_alloc&) {
    return kSyncErrNoMemory;
  }
  *handle = h;
  return kSyncOk;
}

int32_t SyncGetDBRecordCount_impl(uint8_t handle, uint16_t* count) {
  if (int32_t code = injected(sync_call::record_count)) return code;
  open_database* d = find_open(handle);
  if (!d) return kSyncErrNotOpen;
  *count = static_cast<uint16_t>(d->db.records.size());
  if (conduits_call()) last_record_count.store(*count, std::memory_order_relaxed);
  return kSyncOk;
}

int32_t SyncReadRecordByIndex_impl(sync_record_info* info) {
  if (int32_t code = injected(sync_call::read_record)) return code;
  open_database* d = find_open(info->db_handle);
  if (!d) return kSyncErrNotOpen;
  if (info->record_index >= d->db.records.size()) return kSyncErrNotFound;
  const pdb_record& r = d->db.records[info->record_index];
  const size_t size = pdb_record_size(r);
  info->m_RecSize = static_cast<uint32_t>(size);
  info->record_id = r.unique_id;
  info->attributes = static_cast<uint8_t>(r.attributes & 0xF0);
  info->category = static_cast<uint16_t>(r.attributes & 0x0F);
  if (size > info->buffer_size || (!info->buffer && size > 0)) return kSyncErrBufferTooSmall;
  if (conduits_call()) records_read.fetch_add(1, std::memory_order_relaxed);
  if (size == 0) return kSyncOk;
  if (r.in_file) return read_from_file(d, r, static_cast<uint8_t*>(info->buffer));
  std::memcpy(info->buffer, pdb_record_data(d->db, r), size);
  return kSyncOk;
}

int32_t sync_delete_db_impl(const char* name, int32_t card_no) {
  if (int32_t code = injected(sync_call::delete_db)) return code;
  if (!valid_name(name)) return kSyncErrBadArgument;
  if (card_no != 0) return kSyncErrNotFound;
  const std::string path = path_of(name);
  if (open_database* d = open_at(path)) {
    if (!d->created) return kSyncErrDatabaseOpen;
    d->abandoned = true;
    return kSyncOk;
  }
  if (is_held(name) || !file_exists(path.c_str())) return kSyncErrNotFound;
  hold(name);
  return kSyncOk;
}

int32_t SyncCreateDB_impl(sync_create_request* request) {
  if (int32_t code = injected(sync_call::create_db)) return code;
  char name[kPdbNameSize + 1] = {};
  std::memcpy(name, request->name, kPdbNameSize);
  if (!valid_name(name)) return kSyncErrBadArgument;
  if (request->card_no != 0) return kSyncErrBadArgument;
  const std::string path = path_of(name);
  if (is_open(path) || (file_exists(path.c_str()) && !is_held(name))) return kSyncErrExists;
  uint8_t h = free_handle();
  if (h == 0) return kSyncErrTooManyOpen;
  try {
    open_database d;
    d.in_use = true;
    d.writable = true;
    d.changed = true;  // a new database is written at its close, records or not
    d.created = true;
    d.name = name;
    d.path = path;
    d.db.name = name;
    d.db.attributes = static_cast<uint16_t>(request->flags);
    d.db.version = request->version;
    d.db.created = d.db.modified = palm_time_now();
    d.db.type = request->type;
    d.db.creator = request->creator;
    d.spool = path + ".records";
    int error = file_create(d.spool.c_str(), &d.file);
    file_identity made{};
    if (error == 0) error = file_identity_at(d.spool.c_str(), &made);
    if (error != 0) {
      if (d.file != kNoFile) {
        file_close(d.file);
        file_remove(d.spool.c_str());
      }
      state().problem = d.spool + ": " + file_error_text(error);
      return kSyncErrIo;
    }
    d.spool_volume = made.volume;
    d.spool_index = made.index;
    d.spooled = true;
    state().handles[h] = std::move(d);
  } catch (const std::bad_alloc&) {
    return kSyncErrNoMemory;
  }
  request->db_handle = h;
  return kSyncOk;
}

int32_t sync_write_record_impl(sync_record_info* info) {
  const int32_t fault = injected(sync_call::write_record);
  open_database* d = find_open(info->db_handle);
  if (fault) {
    if (d) {
      d->failed = true;
      d->failure = state().problem;
    }
    return fault;
  }
  if (!d) return kSyncErrNotOpen;
  if (d->abandoned) return kSyncErrNotFound;
  if (d->failed) return kSyncErrIo;  // its spool may hold a part of the record that failed
  if (!d->writable) return kSyncErrBadArgument;
  if (info->m_RecSize > kPdbMaxRecordSize || (!info->buffer && info->m_RecSize > 0)) {
    return kSyncErrBadArgument;
  }
  return write_record(d, info);
}

int32_t sync_close_db_impl(uint8_t handle) {
  const int32_t fault = injected(sync_call::close_db);
  open_database* d = find_open(handle);
  if (!d) return fault ? fault : kSyncErrNotOpen;
  if (fault) {
    // A close that fails still lets go of the database, unwritten.
    release_handle(d);
    return fault;
  }
  int32_t result = kSyncOk;
  try {
    if (d->failed && !d->abandoned) {
      result = kSyncErrIo;
      state().problem = d->path + ": not written, as a record could not be stored";
      if (!d->failure.empty()) state().problem += " (" + d->failure + ")";
    } else if (d->changed && !d->abandoned) {
      d->db.modified = palm_time_now();
      d->db.mod_number += 1;
      result = write_back(d);
      if (result == kSyncOk) release_hold(d->name.c_str());  // the replacement is in place
    }
  } catch (const std::bad_alloc&) {
    if (result == kSyncOk) result = kSyncErrNoMemory;
  }
  release_handle(d);  // closed, written or not
  return result;
}

int32_t SyncYieldCycles(uint16_t) {
  injected(sync_call::yield);
  return kSyncOk;
}

int32_t sync_register_conduit(uint32_t* handle) {
  try {
    return sync_register_conduit_impl(handle);
  } catch (const std::bad_alloc&) {
    state().problem.clear();
    return kSyncErrNoMemory;
  }
}

int32_t sync_unregister_conduit(uint32_t handle) {
  return sync_unregister_conduit_impl(handle);
}

int32_t sync_read_user_record(uint8_t* record) {
  try {
    return sync_read_user_record_impl(record);
  } catch (const std::bad_alloc&) {
    state().problem.clear();
    return kSyncErrNoMemory;
  }
}

int32_t sync_open_db(const char* name, int32_t card_no, uint8_t* handle, uint8_t mode) {
  try {
    return sync_open_db_impl(name, card_no, handle, mode);
  } catch (const std::bad_alloc&) {
    state().problem.clear();
    return kSyncErrNoMemory;
  }
}

int32_t SyncGetDBRecordCount(uint8_t handle, uint16_t* count) {
  try {
    return SyncGetDBRecordCount_impl(handle, count);
  } catch (const std::bad_alloc&) {
    state().problem.clear();
    return kSyncErrNoMemory;
  }
}

int32_t SyncReadRecordByIndex(sync_record_info* info) {
  try {
    return SyncReadRecordByIndex_impl(info);
  } catch (const std::bad_alloc&) {
    state().problem.clear();
    return kSyncErrNoMemory;
  }
}

int32_t sync_delete_db(const char* name, int32_t card_no) {
  try {
    return sync_delete_db_impl(name, card_no);
  } catch (const std::bad_alloc&) {
    state().problem.clear();
    return kSyncErrNoMemory;
  }
}

int32_t SyncCreateDB(sync_create_request* request) {
  try {
    return SyncCreateDB_impl(request);
  } catch (const std::bad_alloc&) {
    state().problem.clear();
    return kSyncErrNoMemory;
  }
}

int32_t sync_write_record(sync_record_info* info) {
  try {
    return sync_write_record_impl(info);
  } catch (const std::bad_alloc&) {
    state().problem.clear();
    return kSyncErrNoMemory;
  }
}

int32_t sync_close_db(uint8_t handle) {
  try {
    return sync_close_db_impl(handle);
  } catch (const std::bad_alloc&) {
    state().problem.clear();
    return kSyncErrNoMemory;
  }
}

uint16_t SyncHostToHHWord(uint16_t value) {
  uint16_t out;
  uint8_t bytes[2];
  put_be16(bytes, value);
  std::memcpy(&out, bytes, 2);
  return out;
}

uint32_t SyncHostToHHDWord(uint32_t value) {
  uint32_t out;
  uint8_t bytes[4];
  put_be32(bytes, value);
  std::memcpy(&out, bytes, 4);
  return out;
}

uint16_t SyncHHToHostWord(uint16_t value) {
  uint8_t bytes[2];
  std::memcpy(bytes, &value, 2);
  return get_be16(bytes);
}

uint32_t SyncHHToHostDWord(uint32_t value) {
  uint8_t bytes[4];
  std::memcpy(bytes, &value, 4);
  return get_be32(bytes);
}

}  // extern "C"

sync_progress sync_manager_progress() {
  return sync_progress{records_read.load(std::memory_order_relaxed),
                       records_written.load(std::memory_order_relaxed),
                       last_record_count.load(std::memory_order_relaxed)};
}
