#include "hotsync/hotsync_session.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "conduit/conduit_api.h"
#include "conduit/data_dir.h"
#include "hotsync/action_preferences.h"
#include "hotsync/conduit_plugin.h"
#include "hotsync/host_paths.h"
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

// The default registry: made on first use, pointing at the default data folder.
bool prepare_default_registry(std::string* path, std::string* why) {
  *path = default_registry_file();
  if (std::filesystem::exists(*path)) return true;
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

// Shows the run's log entries and appends them, stamped, to HotSync.log.
void keep_log(const std::string& folder, std::time_t started, uint32_t sync_type, int result) {
  std::string entries;
  for (const log_entry& entry : hotsync_log_entries()) {
    entries += entry.text;
    if (entries.empty() || entries.back() != '\n') entries += '\n';
  }
  std::fputs(entries.c_str(), stdout);
  std::fflush(stdout);
  std::ofstream log(folder + "/" + kHotSyncLogFile, std::ios::app | std::ios::binary);
  log << local_time_stamp(started) << " HotSync started (sync type " << sync_type << ")\n"
      << entries << local_time_stamp(std::time(nullptr)) << " HotSync ended with " << result
      << "\n";
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
  if (!temporary_folder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(temporary_folder_, ignored);
  }
}

bool host_setup::prepare(const session_options& options, std::string* why) {
  handheld_ = options.handheld.empty() ? default_handheld_folder() : options.handheld;
  if (!make_folders(handheld_, why)) return false;
  std::string registry = options.registry;
  if (!options.desktop.empty()) {
    // A registry of this run only: pathtodatadir is the folder given.
    std::string pattern =
        (std::filesystem::temp_directory_path() / "hotsync-registry-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      *why = "cannot make a temporary folder for the registry";
      return false;
    }
    temporary_folder_ = pattern;
    registry = temporary_folder_ + "/registry.reg";
    const std::string text = registry_file_text(kRegistryKeyPath, kRegistryDataDirValue,
                                                with_trailing_separator(options.desktop));
    if (replace_file_contents(registry, text.data(), text.size()) != 0) {
      *why = "cannot write " + registry;
      return false;
    }
  } else if (registry.empty() && !prepare_default_registry(&registry, why)) {
    return false;
  }
  registry_use_file(registry);
  sync_manager_reset();
  sync_manager_use_folder(handheld_);
  return true;
}

bool host_setup::lock_folders(std::string* why) {
  std::vector<std::string> folders = {handheld_};
  // The data directory as the conduit will find it in the registry.
  if (char* dir = get_data_dir()) {
    if (std::filesystem::is_directory(dir)) folders.push_back(dir);
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

int run_hotsync(const session_options& options, std::string* why) {
  host_setup setup;
  if (!setup.prepare(options, why) || !setup.lock_folders(why)) return -1;
  const std::string& handheld = setup.handheld();
  handheld_user user;
  if (!read_handheld_user(handheld, &user, why)) return -1;
  action_preferences prefs;
  uint32_t sync_type = options.sync_type;
  if (options.stored_action) {
    if (!read_action_preferences(handheld, &prefs, why)) return -1;
    sync_type = next_hotsync_action(prefs);
  }
  sync_manager_override_last_sync(options.has_last_sync, options.last_sync);
  if (!arm_faults_from_environment(why)) return -1;

  conduit_plugin conduit;
  if (!load_conduit(options.conduit, &conduit, why)) return -1;

  const std::time_t started = std::time(nullptr);
  hotsync_log_reset();
  sync_properties properties{sync_type};
  const int result = conduit.OpenConduit(nullptr, &properties);
  sync_manager_reset();

  keep_log(handheld, started, sync_type, result);
  if (result == 0) {
    user.last_sync = static_cast<uint32_t>(started);
    if (!write_handheld_user(handheld, user, why)) return -1;
    if (options.stored_action && prefs.has_next) {
      prefs.has_next = false;  // it was for this HotSync only
      if (!write_action_preferences(handheld, prefs, why)) return -1;
    }
  }
  return result;
}
