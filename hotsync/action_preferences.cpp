#include "hotsync/action_preferences.h"

#include <fstream>
#include <sstream>

#include "conduit/conduit_api.h"
#include "hotsync/services/atomic_file.h"
#include "hotsync/services/handheld_user.h"
#include "platform/file.h"

namespace {

// One of the sync types the conduit knows. Another would make a HotSync that
// does nothing, and use up the one-time action, with nobody told.
bool parse_sync_type(const std::string& text, uint32_t* sync_type) {
  uint32_t value = 0;
  if (!parse_u32(text, &value)) return false;
  for (uint32_t known :
       {kSyncTypeFast, kSyncTypeSlow, kSyncTypeHHToPC, kSyncTypePCToHH, kSyncTypeDoNothing}) {
    if (value == known) {
      *sync_type = value;
      return true;
    }
  }
  return false;
}

}  // namespace

bool read_action_preferences(const std::string& folder, action_preferences* prefs,
                             std::string* why) {
  *prefs = action_preferences{};
  const std::string path = folder + "/" + kActionPreferencesFile;
  std::ifstream in(path, std::ios::binary);
  if (!in) return true;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    bool ok = true;
    if (key == "default_action") ok = parse_sync_type(value, &prefs->default_action);
    if (key == "next_action") ok = prefs->has_next = parse_sync_type(value, &prefs->next_action);
    if (!ok) {
      *why = path + ", line " + std::to_string(number) + ": " + key +
             " is not a sync type (0, 1, 2, 3 or 6)";
      return false;
    }
  }
  return true;
}

bool write_action_preferences(const std::string& folder, const action_preferences& prefs,
                              std::string* why) {
  std::ostringstream text;
  text << "# The HotSync action for the Quorvia Conduit on this handheld (sync types:\n"
       << "# 0 synchronize, 3 desktop overwrites handheld, 2 handheld overwrites desktop,\n"
       << "# 6 do nothing).\n"
       << "default_action=" << prefs.default_action << "\n";
  if (prefs.has_next)
    text << "# for the next HotSync only\nnext_action=" << prefs.next_action << "\n";
  const std::string bytes = text.str();
  const std::string path = folder + "/" + kActionPreferencesFile;
  int error = replace_file_contents(path, bytes.data(), bytes.size());
  if (error != 0) {
    *why = path + ": " + file_error_text(error);
    return false;
  }
  return true;
}

void apply_choice(action_preferences* prefs, uint32_t chosen, uint32_t make_default) {
  if (make_default == 1) {
    prefs->default_action = chosen;
    prefs->has_next = false;
  } else {
    prefs->has_next = true;
    prefs->next_action = chosen;
  }
}

bool action_from_name(const std::string& name, uint32_t* sync_type) {
  if (name == "sync")
    *sync_type = kSyncTypeFast;
  else if (name == "desktop-to-handheld")
    *sync_type = kSyncTypePCToHH;
  else if (name == "handheld-to-desktop")
    *sync_type = kSyncTypeHHToPC;
  else if (name == "nothing")
    *sync_type = kSyncTypeDoNothing;
  else
    return false;
  return true;
}

const char* action_name(uint32_t sync_type) {
  switch (sync_type) {
    case kSyncTypeFast:
    case kSyncTypeSlow:
      return "sync";
    case kSyncTypePCToHH:
      return "desktop-to-handheld";
    case kSyncTypeHHToPC:
      return "handheld-to-desktop";
    default:
      return "nothing";
  }
}
