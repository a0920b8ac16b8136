#include <cstdio>
#include <cstring>
#include <vector>

#include "conduit/conduit_api.h"
#include "hotsync/action_preferences.h"
#include "hotsync/conduit_commands.h"
#include "hotsync/conduit_plugin.h"
#include "hotsync/dialog_answer.h"
#include "hotsync/services/handheld_user.h"
#include "platform/dialog_manager.h"
#include "resources/resource_ids.h"
#include "util/byte_order.h"

namespace {

int radio_of(uint32_t action) {
  switch (action) {
    case kSyncTypePCToHH:
      return IDC_PC_TO_HH;
    case kSyncTypeHHToPC:
      return IDC_HH_TO_PC;
    case kSyncTypeDoNothing:
      return IDC_DO_NOTHING;
    default:
      return IDC_SYNC;
  }
}

// What the dialog said, or that the user cancelled.
struct choice {
  bool confirmed = false;
  uint32_t action = 0;
  uint32_t make_default = kNextHotSyncOnly;
};

choice ask_cfg_conduit(const conduit_plugin& conduit, const handheld_user& user,
                       const action_preferences& prefs, int32_t* result) {
  uint8_t record[kCfgRecordSize] = {};
  put_le32(record + kCfgVersionOffset, kCfgRecordVersion);
  put_le32(record + kCfgSizeOffset, kCfgRecordSize);
  put_le32(record + kCfgShowCurrentOffset, 1);
  std::strncpy(reinterpret_cast<char*>(record + kCfgUserNameOffset), user.name.c_str(),
               kCfgUserNameSize - 1);
  put_le32(record + kCfgDefaultActionOffset, prefs.default_action);
  put_le32(record + kCfgNextActionOffset, next_hotsync_action(prefs));
  // Values no dialog writes: what comes back different was chosen.
  put_le32(record + kCfgChosenActionOffset, 0xFFFFFFFFu);
  put_le32(record + kCfgMakeDefaultOffset, 0);
  uint32_t size = kCfgRecordSize;
  *result = conduit.CfgConduit(kCfgRecordKind, record, &size);
  choice c;
  c.make_default = get_le32(record + kCfgMakeDefaultOffset);
  c.action = get_le32(record + kCfgChosenActionOffset);
  c.confirmed = *result == 0 && c.make_default != 0;
  return c;
}

choice ask_configure_conduit(const conduit_plugin& conduit, const action_preferences& prefs) {
  uint8_t preference[kPrefRecordMinSize + 64] = {};
  put_le32(preference + kPrefSyncTypeOffset, next_hotsync_action(prefs));
  choice c;
  c.confirmed = conduit.ConfigureConduit(preference) == 0;
  c.action = get_le32(preference + kPrefSyncTypeOffset);
  c.make_default = get_le32(preference + kPrefMakeDefaultOffset);
  return c;
}

}  // namespace

int run_configure(const session_options& options, const configure_options& configure,
                  std::string* why) {
  host_setup setup;
  if (!setup.prepare(options, why) || !setup.lock_folders(why) ||
      !files_are_regular(setup.handheld(), "", why)) {
    return -1;
  }
  handheld_user user;
  action_preferences prefs;
  if (!read_handheld_user(setup.handheld(), &user, why) ||
      !read_action_preferences(setup.handheld(), &prefs, why)) {
    return -1;
  }
  conduit_plugin conduit;
  if (!load_conduit(options.conduit, &conduit, why)) return -1;

  // A user who picks the action given on the command line and confirms.
  std::vector<int> clicks;
  if (!configure.action.empty()) {
    uint32_t action = 0;
    if (!action_from_name(configure.action, &action)) {
      *why = "unknown action " + configure.action;
      return -1;
    }
    clicks.push_back(radio_of(action));
    if (configure.make_default) clicks.push_back(IDC_SET_DEFAULT);
    clicks.push_back(IDOK);
  }
  if (!dialog_answering_start(clicks, why)) return -1;

  int32_t result = 0;
  const choice c = configure.legacy ? ask_configure_conduit(conduit, prefs)
                                    : ask_cfg_conduit(conduit, user, prefs, &result);
  if (!dialog_answering_stop() && result == 0) {
    *why = "the conduit's dialog could not be shown here; nothing was chosen";
    return -1;
  }
  if (result != 0) {
    *why = "the conduit refused the configuration record (" + std::to_string(result) + ")";
    return -1;
  }
  if (!c.confirmed) {
    std::printf("Cancelled: the HotSync action stays %s.\n",
                action_name(next_hotsync_action(prefs)));
    return 0;
  }
  apply_choice(&prefs, c.action, c.make_default);
  if (!write_action_preferences(setup.handheld(), prefs, why)) return -1;
  std::printf("Next HotSync: %s%s; default: %s.\n", action_name(next_hotsync_action(prefs)),
              prefs.has_next ? " (this once)" : "", action_name(prefs.default_action));
  return 0;
}
