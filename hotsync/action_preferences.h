// The HotSync action the HotSync Manager keeps for the conduit on one
// handheld, in the file hotsync.conf of the handheld folder:
//
//   default_action=0     the sync type used when nothing else was chosen
//   next_action=6        chosen for the next HotSync only (absent: none)
#pragma once

#include <cstdint>
#include <string>

constexpr char kActionPreferencesFile[] = "hotsync.conf";

struct action_preferences {
  uint32_t default_action = 0;
  bool has_next = false;
  uint32_t next_action = 0;
};

bool read_action_preferences(const std::string& folder, action_preferences* prefs,
                             std::string* why);
bool write_action_preferences(const std::string& folder, const action_preferences& prefs,
                              std::string* why);

// The action of the next HotSync.
inline uint32_t next_hotsync_action(const action_preferences& p) {
  return p.has_next ? p.next_action : p.default_action;
}
// What the user chose: the new default (make_default 1), or the next HotSync's only.
void apply_choice(action_preferences* prefs, uint32_t chosen, uint32_t make_default);

// "sync", "desktop-to-handheld", "handheld-to-desktop", "nothing" and back.
bool action_from_name(const std::string& name, uint32_t* sync_type);
const char* action_name(uint32_t sync_type);
