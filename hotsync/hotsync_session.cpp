#include "hotsync/hotsync_session.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "conduit/conduit_api.h"
#include "conduit/data_dir.h"
#include "hotsync/action_preferences.h"
#include "hotsync/backups.h"
#include "hotsync/change_report.h"
#include "hotsync/conduit_plugin.h"
#include "hotsync/host_paths.h"
#include "hotsync/progress.h"
#include "hotsync/services/atomic_file.h"
#include "hotsync/services/handheld_user.h"
#include "hotsync/services/hotsync_log.h"
#include "hotsync/services/sync_manager_host.h"
#include "platform/file.h"
#include "platform/library_loader.h"
#include "platform/posix/registry_file.h"

namespace {

constexpr char kHotSyncLogFile[] = "HotSync.log";
// Held during a HotSync in the handheld folder and in the desktop folder.
constexpr char kLockFile[] = ".hotsync.lock";
constexpr int kLockWaitMs = 3000;

// The conduit's words for each text it wrote into elements.xml although the
// format cannot hold it.

// The default registry: made on first use, pointing at the default data folder.
bool prepare_default_registry(std::string* path, std::string* why) {
  *path = default_registry_file();
  std::error_code error;
  if (std::filesystem::exists(*path, error)) return true;
  if (error) {
    *why = *path + ": " + error.message();
    return false;
  }
  const std::string desktop = default_desktop_folder();
  if (!make_folders(desktop, why)) return false;
  if (!make_folders(std::filesystem::path(*path).parent_path().string(), why)) return false;
  const std::string text = registry_file_text(kRegistryKeyPath, kRegistryDataDirValue, desktop);
  if (replace_file_contents(*path, text.data(), text.size()) != 0) {
    *why = "cannot write " + *path;
    return false;
  }
  return true;
}

std::string local_time_stamp(std::time_t t) {
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", std::localtime(&t));
  return text;
}

// Adds text to the end of the file at path in one write, never through a
// symbolic link put there (files_are_regular refused one before the HotSync;
// this holds if one appears since). 0, or the system's error number.
int append_to_file(const std::string& path, const std::string& text) {
  const int fd = ::open(path.c_str(),
                        O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  struct stat st;
  int error = ::fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : kFileNotRegular;
  for (size_t at = 0; error == 0 && at < text.size();) {
    const ssize_t wrote = ::write(fd, text.data() + at, text.size() - at);
    if (wrote < 0 && errno != EINTR) error = errno;
    if (wrote > 0) at += static_cast<size_t>(wrote);
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
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
  if (const int error = append_to_file(path, text)) {
    std::fprintf(stderr, "hotsync: cannot add this HotSync to %s: %s\n", path.c_str(),
                 error == ELOOP             ? "it is a symbolic link"
                 : error == kFileNotRegular ? "it is not a regular file"
                                            : std::strerror(error));
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

// What is at path, as stat (following links) or lstat says: 0 with *mode, or
// the system's error number. ENOENT and ENOTDIR mean nothing is there.
int file_mode(const std::string& path, bool follow_links, mode_t* mode) {
  struct stat st;
  const int r = follow_links ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
  if (r != 0) return errno;
  *mode = st.st_mode;
  return 0;
}

const char* kind_of(mode_t mode) {
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISLNK(mode)) return "a symbolic link";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "something else";
}

// A HotSync of these sync types may write a side; carried through, it is
// recorded as the handheld's last HotSync. "Do nothing" and the unknown
// types are neither: recording one would make the next two-way HotSync take
// what was added on one side before it for deleted on the other.
bool synchronises(uint32_t sync_type) {
  return sync_type == kSyncTypeFast || sync_type == kSyncTypeSlow || sync_type == kSyncTypeHHToPC ||
         sync_type == kSyncTypePCToHH;
}

int64_t element_count(const side_state& side) {
  return side.readable ? static_cast<int64_t>(side.elements.size()) : -1;
}

// Copies from to `to` when from exists.
bool copy_if_present(const std::string& from, const std::string& to, std::string* why) {
  std::error_code error;
  const bool present = std::filesystem::exists(from, error);
  if (error) {
    *why = "cannot read " + from + ": " + error.message();
    return false;
  }
  return !present || copy_file_safely(from, to, why);
}

// A new private folder in the temporary folder, its name starting with
// prefix: its path, or empty with *why.
std::string make_temporary_folder(const char* prefix, const char* what, std::string* why) {
  std::error_code error;
  std::string pattern =
      (std::filesystem::temp_directory_path(error) / (std::string(prefix) + "-XXXXXX")).string();
  if (error || !mkdtemp(pattern.data())) {
    *why = std::string("cannot make a temporary folder for ") + what + ": " +
           (error ? error.message() : std::strerror(errno));
    return "";
  }
  return pattern;
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

bool host_setup::prepare(const session_options& options, std::string* why) {
  handheld_ = options.handheld.empty() ? default_handheld_folder() : options.handheld;
  if (!make_folders(handheld_, why)) return false;
  std::string registry = options.registry;
  if (!options.desktop.empty()) {
    // A registry of this run only, in memory, so that no run leaves one
    // behind however it ends: pathtodatadir is the folder given.
    registry_use_text(registry_file_text(kRegistryKeyPath, kRegistryDataDirValue,
                                         with_trailing_separator(options.desktop)));
  } else {
    if (registry.empty() && !prepare_default_registry(&registry, why)) return false;
    registry_use_file(registry);
  }
  sync_manager_reset();
  sync_manager_use_folder(handheld_);
  return true;
}

bool host_setup::lock_folders(std::string* why) {
  std::vector<std::string> folders = {handheld_};
  // The data directory as the conduit will find it in the registry.
  if (char* dir = get_data_dir()) {
    std::error_code unusable;  // the conduit finds out and says so in its log
    if (std::filesystem::is_directory(dir, unusable)) folders.push_back(dir);
    std::free(dir);
  }
  for (const std::string& folder : folders) {
    os_file lock = kNoFile;
    const std::string path = with_trailing_separator(folder) + kLockFile;
    const int error = file_lock(path.c_str(), kLockWaitMs, &lock);
    if (error != 0) {
      *why = error == EWOULDBLOCK
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

std::string desktop_file_for(const session_options& options) {
  if (!options.desktop.empty()) return with_trailing_separator(options.desktop) + "elements.xml";
  const std::string registry =
      options.registry.empty() ? default_registry_file() : options.registry;
  std::error_code absent;
  if (!std::filesystem::exists(registry, absent)) return "";
  registry_use_file(registry);
  return registry_desktop_file();
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
    mode_t mode = 0;
    const int error = file_mode(f.path, f.follow_links, &mode);
    if (error == ENOENT || error == ENOTDIR) continue;
    if (error != 0) {
      *why = "cannot use " + f.path + ": " + std::strerror(error);
      return false;
    }
    if (!S_ISREG(mode)) {
      *why = f.path + " is " + kind_of(mode) + ", not a regular file; a HotSync uses only " +
             "regular files there";
      return false;
    }
  }
  return true;
}

namespace {

// The conduit's HotSync with the host's report and backups around it. The
// report compares `before` (read from the sides the user has) with what the
// run leaves in its own sides.
int run_with_report(const session_options& options, const side_state* real_desktop,
                    const side_state* real_handheld, const std::string& real_desktop_file,
                    const std::string& real_handheld_folder, hotsync_outcome* outcome,
                    std::string* why) {
  host_setup setup;
  if (!setup.prepare(options, why) || !setup.lock_folders(why)) return -1;
  const std::string& handheld = setup.handheld();
  const std::string desktop_file = registry_desktop_file();
  if (!files_are_regular(handheld, desktop_file, why)) return -1;
  handheld_user user;
  if (!read_handheld_user(handheld, &user, why)) return -1;
  action_preferences prefs;
  uint32_t sync_type = options.sync_type;
  if (options.stored_action) {
    if (!read_action_preferences(handheld, &prefs, why)) return -1;
    sync_type = next_hotsync_action(prefs);
  }
  const std::string pdb = handheld_database_file(handheld);
  side_state desktop_before, handheld_before;
  if (options.report) {
    desktop_before = real_desktop ? *real_desktop : read_side(desktop_file);
    handheld_before = real_handheld ? *real_handheld : read_side(pdb);
  }
  sync_manager_reset();
  sync_manager_use_folder(handheld);
  if (!options.dry_run && options.keep_backups > 0 && synchronises(sync_type)) {
    if (!make_backup(handheld, desktop_file, element_count(desktop_before),
                     element_count(handheld_before),
                     "before a HotSync (sync type " + std::to_string(sync_type) + ")",
                     options.keep_backups, nullptr, why)) {
      *why = "no HotSync without a backup: " + *why;
      return -1;
    }
  }

  sync_manager_override_last_sync(options.has_last_sync, options.last_sync);
  if (!arm_faults_from_environment(why)) return -1;
  conduit_plugin conduit;
  if (!load_conduit(options.conduit, &conduit, why)) return -1;

  const std::time_t started = std::time(nullptr);
  hotsync_log_reset();
  sync_properties properties{sync_type};
  int32_t result;
  {
    std::error_code unknown;
    progress_display progress(std::filesystem::file_size(desktop_file, unknown),
                              std::filesystem::file_size(pdb, unknown));
    result = conduit.OpenConduit(nullptr, &properties);
  }
  sync_manager_reset();
  sync_manager_use_folder(handheld);
  const std::vector<log_entry> entries = hotsync_log_entries();
  outcome->sync_type = sync_type;
  outcome->conduit_result = result;

  std::vector<side_changes> sides;
  if (options.report) {
    sides.push_back(compare_sides("desktop", real_desktop ? real_desktop_file : desktop_file,
                                  desktop_before, read_side(desktop_file)));
    sides.push_back(compare_sides(
        "handheld", real_handheld ? handheld_database_file(real_handheld_folder) : pdb,
        handheld_before, read_side(pdb)));
    if (result == kOpenConduitDone) {
      predict_replacement(sync_type, desktop_before, handheld_before, &sides[0], &sides[1]);
    }
    sides[0].texts_not_held = texts_not_held(entries);
    outcome->changed = sides[0].changed() || sides[1].changed();
    // The conduit's log as it was at its return, whatever the reading added.
    hotsync_log_reset();
    for (const log_entry& entry : entries)
      hotsync_log_add(entry.text.c_str(), entry.activity, entry.time_stamp);
  }
  const std::string text = options.report ? report_text(sides, options.verbose) : "";
  const std::string entries_text = keep_log(handheld, started, sync_type, result, text);
  // Kept before anything is shown: a reader that stops reading early must not
  // cost the record of a HotSync that happened. The one-time action goes
  // first: should the second write not happen, an older last sync time only
  // makes the next HotSync keep more, where the one-time action run again
  // (a one-way copy) could overwrite what was done since.
  if (result == kOpenConduitDone) {
    if (options.stored_action && prefs.has_next) {
      prefs.has_next = false;  // it was for this HotSync only
      if (!write_action_preferences(handheld, prefs, why)) return -1;
    }
    if (synchronises(sync_type)) {
      user.last_sync = static_cast<uint32_t>(started);
      if (!write_handheld_user(handheld, user, why)) return -1;
    }
  }
  std::FILE* log_shown = options.json ? stderr : stdout;
  if (!entries_text.empty()) {
    std::fputs("HotSync log:\n", log_shown);
    std::fputs(entries_text.c_str(), log_shown);
  }
  std::fflush(log_shown);
  if (options.report && options.json) {
    std::fputs(report_json(sides, options.dry_run, options.verbose).c_str(), stdout);
  } else if (options.report) {
    std::fputs(options.dry_run ? "A dry run; nothing of yours was touched. It would change:\n"
                               : "Changes:\n",
               stdout);
    std::fputs(text.c_str(), stdout);
  }
  std::fflush(stdout);
  return 0;
}

// A HotSync on private copies of both sides: the same run, nothing of the
// user's touched.
int run_dry(const session_options& options, hotsync_outcome* outcome, std::string* why) {
  const std::string handheld = handheld_folder_for(options);
  const std::string desktop_file = desktop_file_for(options);
  if (!files_are_regular(handheld, desktop_file, why)) return -1;
  struct remove_after {
    std::string folder;
    ~remove_after() {
      std::error_code ignored;
      if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
    }
  } scratch{make_temporary_folder("hotsync-dry-run", "the dry run", why)};
  if (scratch.folder.empty()) return -1;
  session_options copy = options;
  copy.handheld = scratch.folder + "/handheld";
  copy.desktop = scratch.folder + "/desktop";
  copy.registry.clear();
  if (!make_folders(copy.handheld, why) || !make_folders(copy.desktop, why)) return -1;
  // No lock is taken (its file would be new in the user's folders): the
  // sides are only ever replaced whole, by a rename, so a copy is of one or
  // the other. The conduit's record of its last complete HotSync goes along:
  // without it the merge would tell new from deleted by another time.
  if (!desktop_file.empty()) {
    const std::filesystem::path data_dir = std::filesystem::path(desktop_file).parent_path();
    if (!copy_if_present(desktop_file, copy.desktop + "/elements.xml", why) ||
        !copy_if_present((data_dir / kConduitSyncRecordFile).string(),
                         copy.desktop + "/" + kConduitSyncRecordFile, why)) {
      return -1;
    }
  }
  std::error_code absent;
  if (std::filesystem::is_directory(handheld, absent) &&
      !copy_handheld_folder(handheld, copy.handheld, why)) {
    return -1;
  }
  const side_state desktop_before = read_side(desktop_file);
  const side_state handheld_before = read_side(handheld_database_file(handheld));
  return run_with_report(copy, &desktop_before, &handheld_before, desktop_file, handheld, outcome,
                         why);
}

}  // namespace

int run_hotsync(const session_options& options, hotsync_outcome* outcome, std::string* why) {
  *outcome = hotsync_outcome{};
  if (options.dry_run) return run_dry(options, outcome, why);
  return run_with_report(options, nullptr, nullptr, "", "", outcome, why);
}

int restore_sides(const session_options& options, const std::string& id, bool desktop,
                  bool handheld, std::string* why) {
  host_setup setup;
  if (!setup.prepare(options, why) || !setup.lock_folders(why)) return -1;
  const std::vector<backup_info> all = list_backups(setup.handheld());
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
  const std::string desktop_file = registry_desktop_file();
  if (!files_are_regular(setup.handheld(), desktop_file, why)) return -1;
  const std::string pdb = handheld_database_file(setup.handheld());
  sync_manager_reset();
  backup_info made;
  if (!make_backup(setup.handheld(), desktop_file, element_count(read_side(desktop_file)),
                   element_count(read_side(pdb)), "before restoring " + id, -1, &made, why)) {
    *why = "no restore without a backup of the sides as they are: " + *why;
    return -1;
  }
  const bool restored =
      restore_backup(wanted, setup.handheld(), desktop_file, desktop, handheld, why);
  prune_backups(setup.handheld(), options.keep_backups > 0 ? options.keep_backups : 1, made.id);
  return restored ? 0 : -1;
}
