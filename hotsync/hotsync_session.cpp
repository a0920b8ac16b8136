#include "hotsync/hotsync_session.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <utility>

#include "conduit/conduit_api.h"
#include "handheld/hh_layout.h"
#include "hotsync/action_preferences.h"
#include "hotsync/backups.h"
#include "hotsync/change_report.h"
#include "hotsync/conduit_plugin.h"
#include "hotsync/conflicts.h"
#include "hotsync/digest_buffers.h"
#include "hotsync/host_paths.h"
#include "hotsync/interruption.h"
#include "hotsync/progress.h"
#include "hotsync/services/atomic_file.h"
#include "hotsync/services/handheld_user.h"
#include "hotsync/services/hotsync_log.h"
#include "hotsync/services/sync_manager_host.h"
#include "hotsync/sync_base.h"
#include "platform/file.h"
#include "platform/file_counters.h"
#include "platform/library_loader.h"
#include "platform/registry_file.h"

namespace {

constexpr char kHotSyncLogFile[] = "HotSync.log";
// Held during a HotSync in the handheld folder and in the desktop folder.
constexpr char kLockFile[] = ".hotsync.lock";
constexpr int kLockWaitMs = 3000;

// The conduit's words for each text it wrote into elements.xml although the
// format cannot hold it.

std::string local_time_stamp(std::time_t t) {
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::localtime(&t));
  return text;
}

// Appends the run's log entries, stamped, to HotSync.log, with the change
// report, and returns them to be shown. A log that cannot be written costs a
// warning, not the record of a HotSync that happened.
std::string keep_log(const std::string& folder, std::time_t started, uint32_t sync_type, int result,
                     const std::string& report) {
  std::string entries;
  for (const log_entry& entry : hotsync_log_entries()) {
    entries += entry.text;
    if (entries.empty() || entries.back() != '\n') entries += '\n';
  }
  std::string text = local_time_stamp(started) + " HotSync started (sync type " +
                     std::to_string(sync_type) + ")\n" + entries +
                     local_time_stamp(std::time(nullptr)) + " HotSync ended with " +
                     std::to_string(result) + "\n";
  if (!report.empty()) text += "Changes:\n" + report;
  const std::string path = folder + "/" + kHotSyncLogFile;
  // Never through a symbolic link put there (files_are_regular refused one
  // before the HotSync; this holds if one appears since).
  if (const int error = file_append(path.c_str(), text.data(), text.size())) {
    std::fprintf(stderr, "hotsync: cannot add this HotSync to %s: %s\n", path.c_str(),
                 error == kFileSymbolicLink ? "it is a symbolic link"
                 : error == kFileNotRegular ? "it is not a regular file"
                                            : file_error_text(error));
  }
  return entries;
}

// The conduit's log entries that tell of such a text, one per element and
// field.
int64_t texts_not_held(const std::vector<log_entry>& entries) {
  int64_t count = 0;
  for (const log_entry& entry : entries)
    count += entry.text.find(kConduitUnholdableTextPhrase) != std::string::npos;
  return count;
}

// A HotSync of these sync types may write a side; carried through, it is
// recorded as the handheld's last HotSync. "Do nothing" and the unknown
// types are neither: recording one would make the next two-way HotSync take
// what was added on one side before it for deleted on the other.
bool synchronises(uint32_t sync_type) {
  return sync_type == kSyncTypeFast || sync_type == kSyncTypeSlow || sync_type == kSyncTypeHHToPC ||
         sync_type == kSyncTypePCToHH;
}

// The sides a HotSync of this type replaces, which its backup may keep
// under second names.
second_names_for replaced_sides(uint32_t sync_type) {
  const bool both = sync_type == kSyncTypeFast || sync_type == kSyncTypeSlow;
  return {both || sync_type == kSyncTypeHHToPC, both || sync_type == kSyncTypePCToHH};
}

// For a backup's end: the oldest go only once the HotSync is carried through.
constexpr int kNoPruning = -1;

int64_t element_count(const side_state& side) {
  return side.readable ? static_cast<int64_t>(side.elements.size()) : -1;
}

// What makes a backup's side to be put back differ from what it held when
// the backup was made: a program that kept a side open and wrote into it
// after the HotSync replaced it wrote into the backup's file. "" when each
// side is the file backup.conf describes, its size, its last write and its
// count (where it says).
std::string changed_since_made(const backup_info& backup, bool desktop, bool handheld) {
  for (const bool d : {true, false}) {
    if (!(d ? desktop : handheld)) continue;
    // A side kept and gone since would be put back as a side that was not.
    const bool present = d ? backup.has_desktop : backup.has_handheld;
    const std::string file = backup_side_file(backup, d);
    if (backup_side_written_since(backup, d))
      return file + (present ? " was written since" : " is gone");
    if (!present) continue;
    const int64_t then = d ? backup.desktop_elements : backup.handheld_elements;
    if (then < 0) continue;
    const side_state now = read_side(file);
    if (!now.readable) return now.problem;
    if (element_count(now) != then) {
      return file + " holds " + std::to_string(element_count(now)) + " elements, not " +
             std::to_string(then);
    }
  }
  return "";
}

// Copies from to `to` when from exists.
bool copy_if_present(const std::string& from, const std::string& to, std::string* why) {
  std::error_code error;
  const bool present = std::filesystem::exists(fs_path(from), error);
  if (error) {
    *why = "cannot read " + from + ": " + error.message();
    return false;
  }
  return !present || copy_file_safely(from, to, why);
}

// A new private folder in the temporary folder, its name starting with
// prefix: its path, or empty with *why.
std::string make_temporary_folder(const char* prefix, const char* what, std::string* why) {
  char path[4096];
  if (const int error = folder_make_temporary(prefix, path, sizeof path)) {
    *why =
        std::string("cannot make a temporary folder for ") + what + ": " + file_error_text(error);
    return "";
  }
  return path;
}

// The files of a handheld folder a HotSync reads or writes, copied for a dry
// run (not its backups or its log).
bool copy_handheld_folder(const std::string& from, const std::string& to, std::string* why) {
  if (!copy_if_present(handheld_database_file(from), handheld_database_file(to), why)) {
    return false;
  }
  for (const char* name : {kHandheldUserFile, kActionPreferencesFile}) {
    if (!copy_if_present(from + "/" + name, to + "/" + name, why)) return false;
  }
  return true;
}

// Sync Manager failures to pretend, for tests of the whole program:
// HOTSYNC_FAULTS=CALL:NTH:CODE[,...], CALL one of the names below.
bool arm_faults_from_environment(std::string* why) {
  const char* wanted = std::getenv("HOTSYNC_FAULTS");
  if (!wanted || !*wanted) return true;
  static const std::pair<const char*, sync_call> kCalls[] = {
      {"register_conduit", sync_call::register_conduit},
      {"unregister_conduit", sync_call::unregister_conduit},
      {"read_user_record", sync_call::read_user_record},
      {"open_db", sync_call::open_db},
      {"record_count", sync_call::record_count},
      {"read_record", sync_call::read_record},
      {"delete_db", sync_call::delete_db},
      {"create_db", sync_call::create_db},
      {"write_record", sync_call::write_record},
      {"close_db", sync_call::close_db},
      {"any", sync_call::any},
  };
  std::string all = wanted;
  size_t start = 0;
  while (start <= all.size()) {
    size_t end = all.find(',', start);
    if (end == std::string::npos) end = all.size();
    const std::string item = all.substr(start, end - start);
    char name[32];
    int nth = 0;
    long code = 0;
    bool known = false;
    if (std::sscanf(item.c_str(), "%31[a-z_]:%d:%ld", name, &nth, &code) == 3 && nth > 0) {
      for (const auto& call : kCalls) {
        if (std::strcmp(call.first, name) == 0) {
          sync_fault_arm(call.second, nth, static_cast<int32_t>(code));
          known = true;
        }
      }
    }
    if (!known) {
      *why = "HOTSYNC_FAULTS: cannot understand \"" + item + "\"";
      return false;
    }
    start = end + 1;
  }
  return true;
}

}  // namespace

host_setup::~host_setup() {
  for (intptr_t lock : locks_)
    file_close(lock);
}

namespace {

// Puts the registry of these options in place, as the conduit will read it:
// one in memory for --desktop, so that no run leaves one behind however it
// ends; else the registry file, the default one made on first use when
// `make` (without it, one in memory as it would be made). *named_by says
// where pathtodatadir comes from, for messages.
bool use_registry(const session_options& options, bool make, std::string* named_by,
                  std::string* why) {
  if (!options.desktop.empty()) {
    // A registry value is one line.
    if (options.desktop.find_first_of("\r\n") != std::string::npos) {
      *why =
          "--desktop: a data directory whose name holds a line break cannot be named in the "
          "registry; rename the folder";
      return false;
    }
    if (const int32_t error = registry_use_text(registry_file_text(
            kRegistryKeyPath, kRegistryDataDirValue, with_trailing_separator(options.desktop)))) {
      *why = "--desktop: cannot make a registry of this process: " +
             std::string(file_error_text(error));
      return false;
    }
    *named_by = "given with --desktop";
    return true;
  }
  if (options.registry.empty()) {
    return use_user_registry(options.user_registry_as_is ? user_registry_use::as_is
                             : make                      ? user_registry_use::make
                                                         : user_registry_use::as_would_be_made,
                             named_by, why);
  }
  if (const int32_t error = registry_use_file(options.registry)) {
    *why = "--registry: cannot make a registry of this process: " +
           std::string(file_error_text(error));
    return false;
  }
  *named_by = "pathtodatadir in " + options.registry;
  return true;
}

// False with *why unless the data directory is an existing folder: the
// conduit would otherwise merge, then fail to write the desktop. The default
// one, which hotsync makes on first use, counts when missing and is made when
// `make`.
bool data_dir_usable(const std::string& dir, const std::string& named_by, bool make,
                     std::string* why) {
  std::string folder = dir;
  while (folder.size() > 1 && is_path_separator(folder.back()))
    folder.pop_back();  // "x/elements.xml/" would say ENOTDIR, not what x/elements.xml is
  file_info info;
  const int error = file_info_at(folder.c_str(), true, &info);
  if (error == 0 && info.kind == file_kind::folder) return true;
  if ((error == 0 && info.kind == file_kind::none) || file_error_is_missing(error)) {
    if (dir == default_desktop_folder()) return !make || make_folders(dir, why);
    *why = "the data directory " + dir + " does not exist (" + named_by + ")";
  } else if (error == 0) {
    *why = "the data directory " + dir + " is not a folder but " + file_kind_text(info.kind) +
           " (" + named_by + ")";
  } else {
    *why =
        "cannot use the data directory " + dir + " (" + named_by + "): " + file_error_text(error);
  }
  return false;
}

// False with *why when the data directory lies among the handheld's
// backups: they are pruned whole, and it would go with one.
bool data_dir_outside_backups(const std::string& dir, const std::string& handheld,
                              std::string* why) {
  std::error_code unknown;
  const auto inside = std::filesystem::weakly_canonical(fs_path(dir), unknown);
  const auto backups = std::filesystem::weakly_canonical(fs_path(handheld + "/backups"), unknown);
  if (!unknown &&
      std::mismatch(backups.begin(), backups.end(), inside.begin(), inside.end()).first ==
          backups.end()) {
    *why = "the data directory " + dir +
           " lies in the handheld's backups, which are removed "
           "as they age; use a folder of its own";
    return false;
  }
  return true;
}

}  // namespace

bool host_setup::prepare(const session_options& options, std::string* why) {
  handheld_ = options.handheld.empty() ? default_handheld_folder() : options.handheld;
  if (!make_folders(handheld_, why)) return false;
  if (!use_registry(options, true, &data_dir_named_by_, why)) return false;
  sync_manager_reset();
  sync_manager_use_folder(handheld_);
  return true;
}

bool host_setup::check_data_dir(std::string* why) {
  std::string dir;
  if (registry_data_dir(&dir) != data_dir_named::yes) return true;
  return data_dir_usable(dir, data_dir_named_by_, true, why) &&
         data_dir_outside_backups(dir, handheld_, why);
}

bool host_setup::check_data_dir_outside_backups(std::string* why) {
  std::string dir;
  return registry_data_dir(&dir) != data_dir_named::yes ||
         data_dir_outside_backups(dir, handheld_, why);
}

bool host_setup::lock_folders(std::string* why) {
  std::vector<std::string> folders = {handheld_};
  // The data directory as the conduit will find it in the registry; when it
  // is the handheld folder itself, its lock is held already (a second one on
  // the same file would wait for the first).
  std::string dir;
  if (registry_data_dir(&dir) == data_dir_named::yes) {
    std::error_code unusable, unknown;  // the conduit finds out and says so in its log
    if (std::filesystem::is_directory(fs_path(dir), unusable) &&
        !std::filesystem::equivalent(fs_path(dir), fs_path(handheld_), unknown)) {
      folders.push_back(dir);
    }
  }
  for (const std::string& folder : folders) {
    os_file lock = kNoFile;
    const std::string path = with_trailing_separator(folder) + kLockFile;
    const int error = file_lock(path.c_str(), kLockWaitMs, &lock);
    if (error != 0) {
      *why = error == kFileLockTaken
                 ? "another HotSync is running on " + folder + " (waited " +
                       std::to_string(kLockWaitMs / 1000) + " s); try again when it has finished"
                 : "cannot lock " + path + ": " + file_error_text(error);
      return false;
    }
    locks_.push_back(lock);
  }
  return true;
}

std::string handheld_folder_for(const session_options& options) {
  return options.handheld.empty() ? default_handheld_folder() : options.handheld;
}

bool files_are_regular(const std::string& handheld, const std::string& desktop_file,
                       std::string* why) {
  struct wanted {
    std::string path;
    bool follow_links;
  } files[] = {
      {desktop_file, true},
      {handheld_database_file(handheld), true},
      {handheld + "/" + kHandheldUserFile, true},
      {handheld + "/" + kActionPreferencesFile, true},
      {handheld + "/" + kHotSyncLogFile, false},
  };
  for (const wanted& f : files) {
    if (f.path.empty()) continue;
    file_info info;
    const int error = file_info_at(f.path.c_str(), f.follow_links, &info);
    if ((error == 0 && info.kind == file_kind::none) || file_error_is_missing(error)) continue;
    if (error != 0) {
      *why = "cannot use " + f.path + ": " + file_error_text(error);
      return false;
    }
    if (info.kind != file_kind::regular) {
      *why = f.path + " is " + file_kind_text(info.kind) +
             ", not a regular file; a HotSync uses only regular files there";
      return false;
    }
  }
  return backups_folder_usable(handheld, why) && conflicts_folder_usable(handheld, why);
}

namespace {

// What a dry run shows of the user's sides while its HotSync runs on private
// copies: the sides as they are, their paths, and the copies' folders to be
// named as the user's in the log.
struct user_sides {
  sides_before before;
  std::string desktop_file, handheld_folder;
  std::vector<std::pair<std::string, std::string>> shown_as;  // private folder, the user's
};

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Keeps a HotSync the conduit carried through as the handheld's record: the
// one-time action used up, the last sync time moved on. What cannot be kept
// is said in *not_kept; the HotSync itself stands.
void record_hotsync(const session_options& options, const std::string& handheld, uint32_t sync_type,
                    std::time_t started, handheld_user user, action_preferences prefs,
                    std::string* not_kept) {
  std::string why;
  // The one-time action goes first: should the second write not happen, an
  // older last sync time only makes the next HotSync keep more, where the
  // one-time action run again (a one-way copy) could overwrite what was done
  // since.
  if (options.stored_action && prefs.has_next) {
    prefs.has_next = false;  // it was for this HotSync only
    if (!write_action_preferences(handheld, prefs, &why)) {
      *not_kept = "the HotSync was done, but the action chosen for it could not be cleared (" +
                  why +
                  "): choose the next one with hotsync configure, or hotsync run repeats "
                  "it. Its time was not kept in " +
                  kHandheldUserFile +
                  " either, so the next HotSync merges as if this one had not happened and "
                  "nothing is lost.";
      return;
    }
  }
  if (!synchronises(sync_type)) return;
  user.last_sync = static_cast<uint32_t>(started);
  if (!write_handheld_user(handheld, user, &why)) {
    *not_kept = "the HotSync was done, but its time could not be kept (" + why +
                "), so the next HotSync merges as if it had not happened; nothing is lost.";
  }
}

// Both sides' versions, to tell whether another program wrote one meanwhile.
struct side_versions {
  uint64_t desktop = 0, handheld = 0;
};
side_versions versions_of(const std::string& desktop_file, const std::string& pdb) {
  file_info desktop{}, handheld{};
  file_info_at(desktop_file.c_str(), true, &desktop);
  file_info_at(pdb.c_str(), true, &handheld);
  return {desktop.version, handheld.version};
}

// What comes before the conduit's first change: the sides read for the
// report, the backup, the conflicts found and their versions kept. With the
// report on the user's own sides (beside), it is made while the conduit reads
// the desktop: start() has a thread read the handheld (through a Sync
// Manager state of its own) and then copy both sides into the backup, and
// another read the desktop; settle(), which our Sync Manager calls at the
// conduit's first database call, before the conduit changes anything, takes
// what the threads made and does the rest. When it fails, our
// Sync Manager refuses that call and every later one, so the conduit changes
// nothing; the HotSync then fails as if the conduit had never started.
// Otherwise settle() does it all before the conduit starts.
class before_conduit {
 public:
  // Set by the caller before start() or settle().
  const std::string* handheld = nullptr;
  const std::string* desktop_file = nullptr;
  const std::string* pdb = nullptr;
  const session_options* options = nullptr;
  uint32_t sync_type = 0;
  bool backup_wanted = false;
  bool beside = false;
  const sides_before* given = nullptr;  // the sides a dry run compares with
  side_reading* desktop_after = nullptr;
  digest_buffers* buffers = nullptr;  // shared with the readings after the HotSync
  // Made.
  backup_info backup;
  std::vector<conflict> conflicts;
  conflicts_kept kept;
  int32_t tm_strt = 0;
  bool settled = false;
  std::string why;                       // non-empty: no HotSync
  std::exception_ptr failure = nullptr;  // what the work threw (no memory)

  before_conduit() = default;
  before_conduit(const before_conduit&) = delete;
  before_conduit& operator=(const before_conduit&) = delete;
  ~before_conduit() {
    join();
    if (backup_begun_) {
      abandon_backup(backup);  // for a HotSync that did not happen
      return;
    }
    const bool shared =
        backup.desktop_kept == kept_as::second_name || backup.handheld_kept == kept_as::second_name;
    std::string why_shared;
    try {
      if (shared && !settle_second_names(*handheld, *desktop_file, &backup, &why_shared)) {
        std::fprintf(stderr, "hotsync: backup %s shares a file with its side: %s\n",
                     backup.id.c_str(), why_shared.c_str());
      }
    } catch (const std::bad_alloc&) {
      // Shared, then, until a HotSync replaces the side: nothing of it lost.
    }
  }
  const sides_before& sides() const { return given ? *given : own_; }
  // What a side holds at most after the HotSync: the merge only adds the
  // other side's elements.
  size_t at_most() const {
    return sides().desktop.elements.size() + sides().handheld.elements.size();
  }

  void start(sync_base base) {
    base_ = std::move(base);
    if (backup_wanted) {
      backup_begun_ = begin_backup(*handheld, *desktop_file, backup_reason(), &backup, &beside_why_,
                                   replaced_sides(sync_type));
    }
    read_versions_ = versions_of(*desktop_file, *pdb);
    // A second name changes the file's version: given before it is noted,
    // and seen to name the side still after.
    if (backup_begun_) check_second_names(*handheld, *desktop_file, &backup);
    // Each on a thread of its own; one that cannot start runs here, before
    // the conduit.
    running_ = thread_start(&thread_, run_beside, this) == 0;
    if (!running_) run_beside(this);
    handheld_running_ = thread_start(&handheld_thread_, read_handheld, this) == 0;
    if (!handheld_running_) read_handheld(this);
  }

  bool settle() {
    settled = true;
    const file_counting_off not_the_conduits;  // for the progress line
    try {
      if (!settle_or_say_why()) {
        if (why.empty() && !failure) why = "the HotSync could not be prepared";
        drop_backup_begun();
        return false;
      }
    } catch (...) {
      failure = std::current_exception();
      drop_backup_begun();
      return false;
    }
    return true;
  }

 private:
  bool fnv_texts() const { return base_.known && base_.fnv_texts; }

  static void run_beside(void* self) {
    before_conduit* w = static_cast<before_conduit*>(self);
    const file_counting_off not_the_conduits;  // for the progress line
    try {
      w->own_.desktop = read_side(*w->desktop_file, w->options->verbose,
                                  expected_elements(w->base_), w->fnv_texts(), w->buffers);
    } catch (...) {
      w->beside_failure_ = std::current_exception();
    }
  }

  static void read_handheld(void* self) {
    before_conduit* w = static_cast<before_conduit*>(self);
    try {
      // Through our Sync Manager, as the conduit's calls go on meanwhile.
      const sync_manager_own_state own;
      const file_counting_off not_the_conduits;  // for the progress line
      w->own_.handheld = read_side(*w->pdb, w->options->verbose, expected_elements(w->base_),
                                   w->fnv_texts(), w->buffers);
      // Here rather than after the desktop's reading, the longer of the two.
      if (w->backup_begun_) {
        w->backup_begun_ =
            copy_backup_sides(*w->handheld, *w->desktop_file, &w->backup, &w->beside_why_);
      }
    } catch (...) {
      w->handheld_failure_ = std::current_exception();
    }
  }

  void join() {
    if (running_) thread_join(&thread_);
    if (handheld_running_) thread_join(&handheld_thread_);
    running_ = handheld_running_ = false;
  }

  void drop_backup_begun() {
    if (backup_begun_) abandon_backup(backup);
    backup_begun_ = false;
  }

  // As start() begins it beside the readings: the sides the HotSync
  // replaces under second names, the others copied.
  bool begin_backup_here() {
    if (!begin_backup(*handheld, *desktop_file, backup_reason(), &backup, &why,
                      replaced_sides(sync_type))) {
      return false;
    }
    check_second_names(*handheld, *desktop_file, &backup);
    return copy_backup_sides(*handheld, *desktop_file, &backup, &why);
  }

  std::string backup_reason() const {
    return "before a HotSync (sync type " + std::to_string(sync_type) + ")";
  }

  bool settle_or_say_why() {
    if (beside) {
      join();
      failure = beside_failure_ ? beside_failure_ : handheld_failure_;
      if (failure) return false;
      if (backup_wanted && !backup_begun_) {
        why = "no HotSync without a backup: " + beside_why_;
        return false;
      }
      find_conflicts(*desktop_file, *pdb, base_, &own_);
    }
    const sides_before& before = sides();
    // A side the conduit may well read whole, but the report could not: its
    // conflicts would go unseen, and a version the merge drops unkept.
    for (const side_state* side : {&before.desktop, &before.handheld}) {
      if (side->out_of_memory) {
        why = side->problem + "; nothing was written, as the conflicts could not be looked for";
        return false;
      }
    }
    if (!before.problem.empty()) {
      why = "no HotSync that would drop versions it cannot keep: " + before.problem;
      return false;
    }
    if (backup_wanted) {
      const bool made = (beside || begin_backup_here()) &&
                        end_backup(*handheld, element_count(before.desktop),
                                   element_count(before.handheld), kNoPruning, &backup, &why);
      // Ended (or removed by the step that failed), and removed still if the
      // HotSync is refused below: it would be the backup of none.
      backup_begun_ = made;
      if (!made) {
        why = "no HotSync without a backup: " + why;
        return false;
      }
    }
    // The merge settles conflicts; a one-way copy overwrites a side as asked.
    if (sync_type == kSyncTypeFast || sync_type == kSyncTypeSlow) conflicts = before.conflicts;
    // Every version of each is kept before the conduit changes anything: a
    // HotSync cut short once it wrote a side would otherwise leave no word of
    // the one lost.
    kept.dry_run = options->dry_run;
    tm_strt = before.desktop.readable ? before.desktop.tm_strt : before.handheld.tm_strt;
    if (!options->dry_run && !conflicts.empty()) {
      keep_conflicting_versions(*handheld,
                                backup.id.empty() ? time_id(std::time(nullptr)) : backup.id,
                                tm_strt, conflicts, &kept);
      if (!kept.problem.empty()) {
        why = "no HotSync that would drop versions it cannot keep: " + kept.problem;
        return false;
      }
    }
    // What the report read and kept is what the conduit will merge: a side
    // another program put in place since would be reported, and kept for its
    // conflicts, as it no longer is.
    if (beside) {
      const side_versions now = versions_of(*desktop_file, *pdb);
      if (now.desktop != read_versions_.desktop || now.handheld != read_versions_.handheld) {
        why = (now.desktop != read_versions_.desktop ? *desktop_file : *pdb) +
              ": it changed while the HotSync read it; nothing was written, try again";
        return false;
      }
    }
    if (desktop_after) desktop_after->expect(at_most());
    backup_begun_ = false;  // the HotSync's own
    return true;
  }

  sides_before own_;
  sync_base base_;
  side_versions read_versions_;
  os_thread thread_{}, handheld_thread_{};
  bool running_ = false, handheld_running_ = false;
  std::exception_ptr handheld_failure_ = nullptr;
  bool backup_begun_ = false;
  std::string beside_why_;
  std::exception_ptr beside_failure_ = nullptr;
};

// The conduit's HotSync with the host's report and backups around it. For a
// dry run, `user` has the sides the report compares with what the run leaves
// in its own (private) sides.
int run_with_report(const session_options& options, const user_sides* user,
                    hotsync_outcome* outcome, std::string* why) {
  host_setup setup;
  if (!setup.prepare(options, why) || !setup.check_data_dir(why) || !setup.lock_folders(why)) {
    return -1;
  }
  const std::string& handheld = setup.handheld();
  const std::string desktop_file = registry_desktop_file();
  if (!files_are_regular(handheld, desktop_file, why)) return -1;
  handheld_user handheld_user_now;
  if (!read_handheld_user(handheld, &handheld_user_now, why)) return -1;
  action_preferences prefs;
  uint32_t sync_type = options.sync_type;
  if (options.stored_action) {
    if (!read_action_preferences(handheld, &prefs, why)) return -1;
    sync_type = next_hotsync_action(prefs);
  }
  const std::string pdb = handheld_database_file(handheld);
  // The desktop's reading for the report after the HotSync starts once the
  // conduit turns to the handheld, its desktop written: beside the handheld's
  // writing, not after.
  // The readings hand on the room of their digests: where fresh memory is
  // dear, taking it anew for each of the four cost more than ordering them.
  digest_buffers buffers;
  side_reading desktop_after(desktop_file, options.verbose, 0, &buffers);
  before_conduit before_work;
  before_work.handheld = &handheld;
  before_work.desktop_file = &desktop_file;
  before_work.pdb = &pdb;
  before_work.options = &options;
  before_work.sync_type = sync_type;
  before_work.backup_wanted =
      !options.dry_run && options.keep_backups > 0 && synchronises(sync_type);
  before_work.beside = options.report && !user;
  before_work.given = user ? &user->before : nullptr;
  before_work.desktop_after = &desktop_after;
  before_work.buffers = &buffers;
  std::string unhealed;
  if (!options.dry_run && synchronises(sync_type) &&
      !heal_shared_backups(handheld, desktop_file, &unhealed)) {
    std::fprintf(stderr, "hotsync: a backup still shares a file with its side: %s\n",
                 unhealed.c_str());
  }
  if (before_work.beside) {
    before_work.start(read_sync_base(handheld, handheld_user_now.last_sync));
  } else if (!before_work.settle()) {
    if (before_work.failure) std::rethrow_exception(before_work.failure);
    *why = before_work.why;
    return -1;
  }
  sync_manager_reset();
  sync_manager_use_folder(handheld);
  sync_manager_override_last_sync(options.has_last_sync, options.last_sync);
  if (!arm_faults_from_environment(why)) return -1;
  conduit_plugin conduit;
  if (!load_conduit(options.conduit, &conduit, why)) return -1;
  if (before_work.beside) {
    sync_manager_before_first_database_call(
        [](void* work) { return static_cast<before_conduit*>(work)->settle(); }, &before_work);
  }
  if (options.report) {
    sync_manager_before_first_change(
        [](void* reading) { static_cast<side_reading*>(reading)->start_reading(); },
        &desktop_after);
  }
  const std::time_t started = std::time(nullptr);
  hotsync_log_reset();
  sync_properties properties{sync_type};
  int32_t result;
  {
    std::error_code unknown;
    progress_display progress(std::filesystem::file_size(fs_path(desktop_file), unknown),
                              std::filesystem::file_size(fs_path(pdb), unknown));
    result = conduit.OpenConduit(nullptr, &properties);
  }
  // The conduit stays loaded until the process ends: unloading it now would
  // free the data sets it holds one element at a time, for nothing.
  conduit.library = nullptr;
  sync_manager_reset();
  sync_manager_use_folder(handheld);
  // A conduit that made no database call changed nothing: settled with now.
  if (before_work.beside && !before_work.settled) before_work.settle();
  if (before_work.failure) std::rethrow_exception(before_work.failure);
  if (!before_work.why.empty()) {
    *why = before_work.why;
    return -1;
  }
  const side_state& desktop_before = before_work.sides().desktop;
  const side_state& handheld_before = before_work.sides().handheld;
  std::vector<conflict>& conflicts = before_work.conflicts;
  conflicts_kept& kept = before_work.kept;
  const int32_t tm_strt = before_work.tm_strt;
  const std::vector<log_entry> entries = hotsync_log_entries();
  outcome->sync_type = sync_type;
  outcome->conduit_result = result;

  // The data set both sides now hold is the base of the next HotSync: kept
  // when both can be read, and only for a HotSync that becomes the last one.
  const bool completed = result == kOpenConduitDone;
  // The oldest backups go once a HotSync is carried through: those of
  // HotSyncs that failed would otherwise push out every earlier state.
  if (completed && !before_work.backup.id.empty()) {
    prune_backups(handheld, options.keep_backups, before_work.backup.id);
  }
  bool keep_base = options.report && !options.dry_run && completed && synchronises(sync_type);
  // Both sides as the HotSync left them, kept until the base is written.
  side_state afters[2];
  std::vector<side_changes> sides;
  std::string conflict_lines, conflict_members;
  if (options.report) {
    desktop_after.start_reading();  // unless the conduit's handheld writing started it
    // Read beside the rest of the desktop's reading, which has one core to
    // itself once the conduit returns; the two put their digests in order
    // one at a time (ordering_turn), the second in the room the first lets
    // go of.
    side_reading handheld_after(pdb, options.verbose, before_work.at_most(), &buffers);
    handheld_after.start_reading();
    for (const bool desktop : {true, false}) {
      side_state& after = afters[desktop ? 0 : 1];
      after = (desktop ? desktop_after : handheld_after).take_if_unchanged();
      if (!desktop) release_buffers(&buffers);  // the last reading's: no more to come
      const std::string shown = !user     ? (desktop ? desktop_file : pdb)
                                : desktop ? user->desktop_file
                                          : handheld_database_file(user->handheld_folder);
      sides.push_back(compare_sides(desktop ? "desktop" : "handheld", shown,
                                    desktop ? desktop_before : handheld_before, after));
      see_after(&conflicts, desktop, after);
      keep_base = keep_base && (after.readable || !after.exists);
      // With no base to write, the desktop's room is the handheld's reading's.
      if (desktop && !keep_base) give_back(&buffers, &after.elements);
    }
    if (!keep_base) afters[0] = afters[1] = side_state{};
    if (completed) {
      predict_replacement(sync_type, desktop_before, handheld_before, &sides[0], &sides[1]);
    }
    sides[0].texts_not_held = texts_not_held(entries);
    outcome->changed = sides[0].changed() || sides[1].changed();
    kept.completed = completed;
    keep_dropped_versions(handheld, tm_strt, conflicts, options.keep_backups, &kept);
    conflict_lines = conflicts_text(conflicts, sides[0], sides[1], kept, options.verbose);
    conflict_members = conflicts_json(conflicts, sides[0], sides[1], kept);
    // The conduit's log as it was at its return, whatever the reading added.
    hotsync_log_reset();
    for (const log_entry& entry : entries)
      hotsync_log_add(entry.text.c_str(), entry.activity, entry.time_stamp);
  }
  // Kept before user.conf takes this HotSync's time, which makes it valid: a
  // base that could not be written stays with the time of its own HotSync
  // and is then no knowledge.
  if (keep_base) {
    if (const int error =
            write_sync_base(handheld, static_cast<uint32_t>(started), afters[0], afters[1])) {
      std::fprintf(stderr,
                   "hotsync: cannot write %s/%s (%s): the next HotSync cannot tell conflicts\n",
                   handheld.c_str(), kSyncBaseFile, file_error_text(error));
    }
  }
  const std::string text =
      options.report ? report_text(sides, options.verbose) + conflict_lines : "";
  std::string entries_text = keep_log(handheld, started, sync_type, result, text);
  if (user) {
    for (const auto& shown : user->shown_as)
      entries_text = replace_all(entries_text, shown.first, shown.second);
  }
  // Kept before anything is shown: a reader that stops reading early must not
  // cost the record of a HotSync that happened.
  if (result == kOpenConduitDone) {
    record_hotsync(options, handheld, sync_type, started, handheld_user_now, prefs,
                   &outcome->not_recorded);
  }
  std::FILE* log_shown = options.json ? stderr : stdout;
  if (!entries_text.empty()) {
    std::fputs("HotSync log:\n", log_shown);
    std::fputs(entries_text.c_str(), log_shown);
  }
  std::fflush(log_shown);
  if (options.report && options.json) {
    std::fputs(report_json(sides, options.dry_run, options.verbose, conflict_members).c_str(),
               stdout);
  } else if (options.report) {
    std::fputs(options.dry_run ? "A dry run; nothing of yours was touched. It would change:\n"
                               : "Changes:\n",
               stdout);
    std::fputs(text.c_str(), stdout);
  }
  std::fflush(stdout);
  return 0;
}

// Interruptions wait while one lives.
struct interruptions_held {
  interruptions_held() { interruptions_hold(); }
  ~interruptions_held() { interruptions_release(); }
  interruptions_held(const interruptions_held&) = delete;
  interruptions_held& operator=(const interruptions_held&) = delete;
};

// The private folder of a dry run, which holds a full copy of the user's data:
// gone when the run ends, however it ends. The destructor removes it; on an
// interruption, the handler of hotsync/interruption.h does.
class dry_run_folder {
 public:
  explicit dry_run_folder(std::string* why) {
    // Held until the handler knows the folder: an interruption meanwhile waits.
    const interruptions_held held;
    path_ = make_temporary_folder("hotsync-dry-run", "the dry run", why);
    if (path_.empty()) return;
    const std::string desktop = path_ + "/desktop/", handheld = path_ + "/handheld/";
    for (const std::string& name :
         {std::string(kConduitDesktopFile), std::string(kConduitSyncRecordFile)}) {
      leftovers_.push_back(desktop + name);
      leftovers_.push_back(desktop + name + ".tmp");  // the copy's temporary
    }
    for (const char* name : {kConduitDesktopTmpFile, kConduitSyncRecordTmpFile, kLockFile})
      leftovers_.push_back(desktop + name);
    for (const std::string& name : {std::string(kHhDbName) + ".pdb", std::string(kHandheldUserFile),
                                    std::string(kActionPreferencesFile)}) {
      leftovers_.push_back(handheld + name);
      leftovers_.push_back(handheld + name + ".tmp");
    }
    for (const std::string& name : {std::string(kHhDbName) + ".pdb.records",
                                    std::string(kHotSyncLogFile), std::string(kLockFile)}) {
      leftovers_.push_back(handheld + name);
    }
    leftovers_.insert(leftovers_.end(), {desktop, handheld, path_});
    remove_on_interruption(&leftovers_);
  }
  ~dry_run_folder() {
    if (path_.empty()) return;
    const interruptions_held held;
    std::error_code ignored;
    std::filesystem::remove_all(fs_path(path_), ignored);
    remove_on_interruption(nullptr);
  }
  dry_run_folder(const dry_run_folder&) = delete;
  dry_run_folder& operator=(const dry_run_folder&) = delete;
  const std::string& path() const { return path_; }  // empty when it could not be made

 private:
  std::string path_;
  std::vector<std::string> leftovers_;
};

// A HotSync on private copies of both sides: the same run, nothing of the
// user's touched, the same verdict as the HotSync would reach.
int run_dry(const session_options& options, hotsync_outcome* outcome, std::string* why) {
  const std::string handheld = handheld_folder_for(options);
  std::string named_by, data_dir;
  if (!use_registry(options, false, &named_by, why)) return -1;
  const bool named = registry_data_dir(&data_dir) == data_dir_named::yes;
  if (named && (!data_dir_usable(data_dir, named_by, false, why) ||
                !data_dir_outside_backups(data_dir, handheld, why))) {
    return -1;
  }
  const std::string desktop_file = named ? data_dir + kConduitDesktopFile : "";
  if (!files_are_regular(handheld, desktop_file, why)) return -1;
  const dry_run_folder scratch(why);
  if (scratch.path().empty()) return -1;
  session_options copy = options;
  copy.handheld = scratch.path() + "/handheld";
  if (!make_folders(copy.handheld, why)) return -1;
  user_sides user;
  user.shown_as.emplace_back(copy.handheld + "/", with_trailing_separator(handheld));
  if (named) {
    copy.desktop = scratch.path() + "/desktop";
    copy.registry.clear();
    if (!make_folders(copy.desktop, why)) return -1;
    user.shown_as.emplace_back(with_trailing_separator(copy.desktop), data_dir);
    // No lock is taken (its file would be new in the user's folders): the
    // sides are only ever replaced whole, by a rename, so a copy is of one or
    // the other. The conduit's record of its last complete HotSync goes along:
    // without it the merge would tell new from deleted by another time.
    if (!copy_if_present(desktop_file, copy.desktop + "/" + kConduitDesktopFile, why)) return -1;
    // A record the conduit could not read (a folder, a FIFO) is one it does
    // without, in the real run as in this one.
    const std::string record = data_dir + kConduitSyncRecordFile;
    std::error_code error;
    if (std::filesystem::is_regular_file(fs_path(record), error) &&
        !copy_file_safely(record, copy.desktop + "/" + kConduitSyncRecordFile, why)) {
      return -1;
    }
  } else if (options.desktop.empty() && options.registry.empty()) {
    // Else the copy's registry is the user's (in memory for --desktop, the
    // file for --registry, here the default one, which exists): it names no
    // data directory the conduit can use, so the conduit ends as it would on
    // the user's, before it touches a side.
    copy.user_registry_as_is = true;
  }
  std::error_code absent;
  if (std::filesystem::is_directory(fs_path(handheld), absent) &&
      !copy_handheld_folder(handheld, copy.handheld, why)) {
    return -1;
  }
  // The base is the user's: the copies are made of the same sides, at the
  // same last HotSync.
  handheld_user last;
  std::string unreadable;  // the run on the copy refuses it in words
  read_handheld_user(handheld, &last, &unreadable);
  user.before = read_sides_before(desktop_file, handheld_database_file(handheld),
                                  read_sync_base(handheld, last.last_sync), options.verbose);
  user.desktop_file = desktop_file;
  user.handheld_folder = handheld;
  return run_with_report(copy, &user, outcome, why);
}

}  // namespace

int run_hotsync(const session_options& options, hotsync_outcome* outcome, std::string* why) {
  *outcome = hotsync_outcome{};
  if (options.dry_run) return run_dry(options, outcome, why);
  return run_with_report(options, nullptr, outcome, why);
}

int restore_sides(const session_options& options, const std::string& id, bool desktop,
                  bool handheld, std::string* why) {
  host_setup setup;
  if (!setup.prepare(options, why) ||
      !(desktop ? setup.check_data_dir(why) : setup.check_data_dir_outside_backups(why)) ||
      !setup.lock_folders(why)) {
    return -1;
  }
  std::vector<backup_info> all;
  if (!list_backups(setup.handheld(), &all, why)) return -1;
  const backup_info* chosen = nullptr;
  for (const backup_info& b : all) {
    if (b.id == id) chosen = &b;
  }
  if (!chosen) {
    *why = "no backup " + id + " in " + setup.handheld() + "/backups (see hotsync backups)";
    return -1;
  }
  if (!chosen->complete) {
    // A side missing from it may be one that was never copied, not one that
    // did not exist: putting it back would remove a data set.
    *why = "backup " + id + " is incomplete (it was interrupted); nothing was restored";
    return -1;
  }
  const backup_info wanted = *chosen;
  const std::string changed = changed_since_made(wanted, desktop, handheld);
  if (!changed.empty()) {
    *why = "backup " + id + " was written into since it was made (" + changed +
           "); nothing was restored";
    return -1;
  }
  const std::string desktop_file = registry_desktop_file();
  if (!files_are_regular(setup.handheld(), desktop_file, why)) return -1;
  handheld_user user;
  if (!read_handheld_user(setup.handheld(), &user, why)) return -1;
  const std::string pdb = handheld_database_file(setup.handheld());
  sync_manager_reset();
  backup_info made;
  if (!make_backup(setup.handheld(), desktop_file, element_count(read_side(desktop_file)),
                   element_count(read_side(pdb)), "before restoring " + id, -1, &made, why)) {
    *why = "no restore without a backup of the sides as they are: " + *why;
    return -1;
  }
  // The sides put back were last the same at the backup's last HotSync: with
  // a later time the next HotSync would take what was new then for deleted
  // since (0, "never", when the backup does not say). The time is lowered
  // before any side is put back, so that a restore stopped at any moment
  // leaves none later than its sides; at worst an element deleted since comes
  // back once.
  const uint32_t then = wanted.has_last_sync ? wanted.last_sync : 0;
  const uint32_t present = user.last_sync;
  user.last_sync = std::min(then, present);
  std::string not_kept;
  if (user.last_sync != present && !write_handheld_user(setup.handheld(), user, &not_kept)) {
    *why = "nothing was restored: the time of the last HotSync could not be set back to " +
           std::to_string(then) + " (" + not_kept + ")";
    return -1;
  }
  if (!restore_backup(wanted, setup.handheld(), desktop_file, desktop, handheld, why)) {
    *why += "; backup " + id + " is kept, and the sides as they were are in backup " + made.id;
    return -1;
  }
  prune_backups(setup.handheld(), options.keep_backups > 0 ? options.keep_backups : 1, made.id);
  // Both sides as the backup has them: its own time holds for them, also
  // when it is later than the one that stood before.
  if (desktop && handheld && user.last_sync != then) {
    user.last_sync = then;
    if (!write_handheld_user(setup.handheld(), user, &not_kept)) {
      *why = "the backup was restored, but the time of its last HotSync could not be kept (" +
             not_kept +
             "); nothing is lost, the next HotSync may bring back an element deleted "
             "since";
      return -1;
    }
  }
  return 0;
}
