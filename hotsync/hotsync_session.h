// One HotSync as the HotSync Manager runs it: the handheld folder served, the
// conduit loaded and called, the HotSync log shown and kept, the last sync
// time recorded.
#pragma once

#include <cstdint>
#include <string>

struct session_options {
  std::string handheld;  // empty: the default handheld folder
  std::string desktop;   // non-empty: pathtodatadir for this run
  std::string registry;  // empty: the default registry file
  std::string conduit;   // empty: the plug-in beside hotsync
  bool has_last_sync = false;
  uint32_t last_sync = 0;
  uint32_t sync_type = 0;
};

// The conduit's result (0, or 1 for a refused registration), or -1 when the
// HotSync could not be run at all (*why says why).
int run_hotsync(const session_options& options, std::string* why);
