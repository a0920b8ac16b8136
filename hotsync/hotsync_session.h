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
  bool has_last_sync = false;
  uint32_t last_sync = 0;
  uint32_t sync_type = 0;
};

// The conduit's result (0, or 1 for a refused registration), or -1 when the
// HotSync could not be run at all (*why says why).
int run_hotsync(const session_options& options, std::string* why);

// The world a conduit call runs in: the handheld folder made and served, the
// registry in place (a temporary one for --desktop, removed with this object).
class host_setup {
 public:
  host_setup() = default;
  ~host_setup();
  host_setup(const host_setup&) = delete;
  host_setup& operator=(const host_setup&) = delete;
  bool prepare(const session_options& options, std::string* why);
  // Makes this the only HotSync on the handheld folder and the desktop
  // folder: waits briefly for another one to end, then refuses.
  bool lock_folders(std::string* why);
  const std::string& handheld() const { return handheld_; }

 private:
  std::string handheld_;
  std::string temporary_folder_;
  std::vector<intptr_t> locks_;
};
