#include "conduit/action_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "conduit/conduit_api.h"
#include "conduit/conduit_info.h"
#include "conduit/module_state.h"
#include "platform/posix/dialog_front_end.h"
#include "platform/posix/resource_table.h"
#include "resources/resource_ids.h"

extern const resource_table conduit_resources;

namespace {

// A user who does what the script says, and remembers what the dialog showed.
struct scripted_user {
  std::vector<ui_event> script;
  size_t next = 0;
  int inputs_asked = 0;
  std::vector<posix_dialog> seen;  // the dialog before each input
  std::vector<std::string> help;   // "file context" per help request
  std::vector<color_ref> background_at_each_input;
};

scripted_user* user = nullptr;

bool next_input(const posix_dialog& dialog, ui_event* event, void*) {
  user->inputs_asked += 1;
  posix_dialog copy = dialog;
  for (posix_control& c : copy.controls)
    c.image = nullptr;  // not owned by the copy
  user->seen.push_back(copy);
  for (const posix_control& c : dialog.controls) {
    if (c.id == IDC_SYNC_BITMAP && c.image)
      user->background_at_each_input.push_back(c.image->pixels[0]);
  }
  if (user->next >= user->script.size()) return false;
  *event = user->script[user->next++];
  return true;
}

void show_help(const char* file, uint32_t command, uintptr_t data, void*) {
  user->help.push_back(std::string(file) + " " + std::to_string(command) + " " +
                       std::to_string(data));
}

ui_event click(int id) {
  return {ui_input::click, id};
}
ui_event key(int k) {
  return {ui_input::key, k};
}

int fake_module_anchor;

class ActionDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    user = &person;
    module_handle module = &fake_module_anchor;
    register_module(module, "/opt/quorvia/libquorvia_conduit.so", &conduit_resources);
    saved_module = g_module;
    g_module = module;
    dialog_set_front_end(&front_end);
    dialog_set_sys_color(COLOR_BTNFACE, 0x00F0F0F0);
  }
  void TearDown() override {
    dialog_set_front_end(nullptr);
    unregister_module(&fake_module_anchor);
    g_module = saved_module;
    EXPECT_EQ(dialog_live_bitmaps(), 0);  // every picture released
  }

  static std::vector<uint8_t> preference(uint32_t sync_type) {
    std::vector<uint8_t> p(kPrefRecordMinSize, 0x77);
    std::memcpy(p.data() + kPrefSyncTypeOffset, &sync_type, 4);
    return p;
  }
  static uint32_t field(const std::vector<uint8_t>& record, uint32_t offset) {
    uint32_t v;
    std::memcpy(&v, record.data() + offset, 4);
    return v;
  }
  static std::vector<uint8_t> cfg(uint32_t next, uint32_t default_action = 0,
                                  uint32_t show_current = 0, const std::string& name = "") {
    std::vector<uint8_t> r(kCfgRecordSize, 0);
    uint32_t values[][2] = {{kCfgVersionOffset, 1},
                            {kCfgSizeOffset, kCfgRecordSize},
                            {kCfgShowCurrentOffset, show_current},
                            {kCfgDefaultActionOffset, default_action},
                            {kCfgNextActionOffset, next},
                            {kCfgChosenActionOffset, 0xAAAA},
                            {kCfgMakeDefaultOffset, 0xBBBB}};
    for (auto& v : values)
      std::memcpy(r.data() + v[0], &v[1], 4);
    std::memcpy(r.data() + kCfgUserNameOffset, name.data(), std::min<size_t>(name.size(), 64));
    return r;
  }
  int32_t cfg_conduit(std::vector<uint8_t>* record) {
    uint32_t size = kCfgRecordSize;
    return CfgConduit(0, record->data(), &size);
  }
  // A fresh user who will give these inputs.
  void replay(std::vector<ui_event> script) {
    person = scripted_user{};
    person.script = std::move(script);
  }
  const posix_dialog& at_open() const { return person.seen.front(); }
  static const posix_control& control(const posix_dialog& d, int id) {
    for (const posix_control& c : d.controls) {
      if (c.id == id) return c;
    }
    throw std::runtime_error("no control " + std::to_string(id));
  }
  static int checked_radio(const posix_dialog& d) {
    int found = 0;
    for (int id = IDC_SYNC; id <= IDC_DO_NOTHING; ++id) {
      if (control(d, id).check == BST_CHECKED) {
        EXPECT_EQ(found, 0) << "two radio buttons checked";
        found = id;
      }
    }
    return found;
  }

  scripted_user person;
  dialog_front_end front_end{next_input, show_help, nullptr};
  module_handle saved_module = nullptr;
};

TEST_F(ActionDialog, ConfigureWithOneAndOkWritesZeroForTheNextHotSyncOnly) {
  person.script = {click(IDOK)};
  auto pref = preference(1);
  EXPECT_EQ(ConfigureConduit(pref.data()), 0);
  EXPECT_EQ(field(pref, kPrefSyncTypeOffset), 0u);
  EXPECT_EQ(field(pref, kPrefMakeDefaultOffset), 2u);
  EXPECT_EQ(checked_radio(at_open()), IDC_SYNC);
  EXPECT_EQ(at_open().template_id, IDD_ACTION_PLAIN);
  EXPECT_EQ(pref[0], 0x77);  // nothing else of the record is touched
}

TEST_F(ActionDialog, DoNothingAndUnknownTypesOpenOnDoNothingAndGiveSix) {
  for (uint32_t type : {6u, 5u, 4u, 0xFFFFFFFFu}) {
    replay({key(kKeyEnter)});
    auto pref = preference(type);
    EXPECT_EQ(ConfigureConduit(pref.data()), 0) << type;
    EXPECT_EQ(checked_radio(at_open()), IDC_DO_NOTHING) << type;
    EXPECT_EQ(field(pref, kPrefSyncTypeOffset), 6u) << type;
  }
}

TEST_F(ActionDialog, CancelLeavesThePreferenceAsItWas) {
  for (ui_event cancel : {click(IDCANCEL), key(kKeyEscape)}) {
    replay({click(IDC_HH_TO_PC), cancel});
    auto pref = preference(3);
    const auto before = pref;
    EXPECT_EQ(ConfigureConduit(pref.data()), -1);
    EXPECT_EQ(pref, before);
  }
  person = scripted_user{};  // the dialog closed with its close box
  auto pref = preference(3);
  EXPECT_EQ(ConfigureConduit(pref.data()), -1);
  EXPECT_EQ(field(pref, kPrefSyncTypeOffset), 3u);
}

TEST_F(ActionDialog, ChoiceAndDefaultBoxReachThePreference) {
  person.script = {click(IDC_PC_TO_HH), click(IDC_SET_DEFAULT), click(IDOK)};
  auto pref = preference(0);
  EXPECT_EQ(ConfigureConduit(pref.data()), 0);
  EXPECT_EQ(field(pref, kPrefSyncTypeOffset), 3u);
  EXPECT_EQ(field(pref, kPrefMakeDefaultOffset), 1u);
}

TEST_F(ActionDialog, KeyboardChoosesAsTheTemplateSays) {
  person.script = {key('h'), key('a'), key(kKeyEnter)};
  auto pref = preference(0);
  EXPECT_EQ(ConfigureConduit(pref.data()), 0);
  EXPECT_EQ(field(pref, kPrefSyncTypeOffset), 2u);
  EXPECT_EQ(field(pref, kPrefMakeDefaultOffset), 1u);

  replay({key(kKeyDown), key(kKeyDown), key(kKeyDown), key(kKeyUp), key(kKeyEnter)});
  pref = preference(0);
  EXPECT_EQ(ConfigureConduit(pref.data()), 0);
  EXPECT_EQ(field(pref, kPrefSyncTypeOffset), 2u);  // sync, down to do nothing, back up

  replay({key('n'), key(kKeyTab), key(kKeySpace), key(kKeyEnter)});
  pref = preference(0);
  EXPECT_EQ(ConfigureConduit(pref.data()), 0);
  EXPECT_EQ(field(pref, kPrefSyncTypeOffset), 6u);
  EXPECT_EQ(field(pref, kPrefMakeDefaultOffset), 1u);  // tab to the box, space ticks it
}

TEST_F(ActionDialog, DialogThatCannotBeCreatedChangesNothing) {
  dialog_fail_next_creation();
  auto pref = preference(3);
  const auto before = pref;
  EXPECT_EQ(ConfigureConduit(pref.data()), -1);
  EXPECT_EQ(pref, before);
  dialog_fail_next_creation();
  auto record = cfg(2);
  const auto record_before = record;
  EXPECT_EQ(cfg_conduit(&record), 0);
  EXPECT_EQ(record, record_before);
  EXPECT_EQ(person.inputs_asked, 0);
  EXPECT_EQ(ConfigureConduit(nullptr), -1);
}

TEST_F(ActionDialog, CfgConduitRefusesInOrderAndShowsNothing) {
  auto record = cfg(0);
  uint32_t size = kCfgRecordSize;
  EXPECT_EQ(CfgConduit(0, nullptr, nullptr), ERR_NO_ARGS);
  EXPECT_EQ(CfgConduit(1, record.data(), nullptr), ERR_NO_ARGS_SIZE);
  size = 351;
  EXPECT_EQ(CfgConduit(1, record.data(), &size), ERR_BAD_ARGS_SIZE);
  size = kCfgRecordSize;
  EXPECT_EQ(CfgConduit(1, record.data(), &size), ERR_BAD_CFG_TYPE);
  record[0] = 2;
  EXPECT_EQ(CfgConduit(0, record.data(), &size), ERR_BAD_CFG_VERSION);
  EXPECT_EQ(person.inputs_asked, 0);
}

TEST_F(ActionDialog, WithoutCurrentSettingsTheTemplateTextsStay) {
  person.script = {click(IDOK)};
  auto record = cfg(3);
  EXPECT_EQ(cfg_conduit(&record), 0);
  const posix_dialog& d = at_open();
  EXPECT_EQ(d.template_id, IDD_ACTION_CURRENT);
  EXPECT_EQ(d.caption, "Quorvia Conduit");
  EXPECT_EQ(control(d, IDC_ACTION_GROUP).text, "Vantry Action");
  EXPECT_EQ(control(d, IDC_DEFAULT_TEXT).text, "Static");
  EXPECT_EQ(control(d, IDC_NEXT_TEXT).text, "Static");
  EXPECT_EQ(control(d, IDC_CURRENT_GROUP).text, "<User's Current Settings Place Holder>");
  EXPECT_EQ(control(d, IDC_SET_DEFAULT).check, BST_UNCHECKED);
  EXPECT_EQ(field(record, kCfgChosenActionOffset), 3u);
  EXPECT_EQ(field(record, kCfgMakeDefaultOffset), 2u);
}

TEST_F(ActionDialog, CurrentSettingsShowTheUserAndBothActions) {
  person.script = {click(IDOK)};
  auto record = cfg(2, 3, 1, "X");
  EXPECT_EQ(cfg_conduit(&record), 0);
  const posix_dialog& d = at_open();
  EXPECT_EQ(control(d, IDC_CURRENT_GROUP).text, "X's Current Settings:");
  EXPECT_EQ(control(d, IDC_DEFAULT_TEXT).text, "Desktop overwrites Palm organizer.");
  EXPECT_EQ(control(d, IDC_NEXT_TEXT).text, "Palm organizer overwrites Desktop.");
  EXPECT_EQ(checked_radio(d), IDC_HH_TO_PC);
}

TEST_F(ActionDialog, UnterminatedUserNameIsReadNoFurtherThanItsField) {
  person.script = {click(IDOK)};
  auto record = cfg(0, 0, 1, std::string(64, 'N'));
  std::memset(record.data() + 80, 'Z', 256);
  EXPECT_EQ(cfg_conduit(&record), 0);
  EXPECT_EQ(control(at_open(), IDC_CURRENT_GROUP).text,
            std::string(64, 'N') + "'s Current Settings:");
}

TEST_F(ActionDialog, CfgConduitCancelLeavesTheRecord) {
  person.script = {click(IDC_PC_TO_HH), click(IDC_SET_DEFAULT), click(IDCANCEL)};
  auto record = cfg(0);
  const auto before = record;
  EXPECT_EQ(cfg_conduit(&record), 0);
  EXPECT_EQ(record, before);
}

TEST_F(ActionDialog, HelpOpensTheFileBesideTheLibrary) {
  person.script = {click(IDC_HELP_BUTTON), key(kKeyF1), click(IDCANCEL)};
  auto pref = preference(0);
  ConfigureConduit(pref.data());
  ASSERT_EQ(person.help.size(), 2u);
  EXPECT_EQ(person.help[0], "/opt/quorvia/hotsync.hlp 1 131471");
  EXPECT_EQ(person.help[1], person.help[0]);
}

TEST_F(ActionDialog, NoHelpWithoutAFolderInTheModuleName) {
  for (const char* name : {"libquorvia_conduit.so", "/libquorvia_conduit.so", ""}) {
    register_module(&fake_module_anchor, name, &conduit_resources);
    replay({key(kKeyF1), click(IDCANCEL)});
    auto pref = preference(0);
    ConfigureConduit(pref.data());
    EXPECT_TRUE(person.help.empty()) << name;
  }
  register_module(&fake_module_anchor, ("/" + std::string(300, 'd') + "/lib.so").c_str(),
                  &conduit_resources);
  replay({key(kKeyF1), click(IDCANCEL)});
  auto pref = preference(0);
  ConfigureConduit(pref.data());
  EXPECT_TRUE(person.help.empty());  // a name longer than the buffer is no name
}

TEST_F(ActionDialog, BitmapsTakeTheButtonFaceColourAndFollowItsChanges) {
  dialog_set_sys_color(COLOR_BTNFACE, 0x00123456);
  person.script = {{ui_input::system_colors_changed, 0}, click(IDOK)};
  // The front end changes the colour before it reports the change.
  auto pref = preference(0);
  struct recolour {
    static bool input(const posix_dialog& d, ui_event* e, void* ctx) {
      if (user->next == 0) dialog_set_sys_color(COLOR_BTNFACE, 0x00ABCDEF);
      return next_input(d, e, ctx);
    }
  };
  dialog_front_end changing{recolour::input, show_help, nullptr};
  dialog_set_front_end(&changing);
  EXPECT_EQ(ConfigureConduit(pref.data()), 0);
  ASSERT_EQ(person.background_at_each_input.size(), 2u);
  EXPECT_EQ(person.background_at_each_input[0], 0x00123456u);
  EXPECT_EQ(person.background_at_each_input[1], 0x00ABCDEFu);
}

TEST(ActionResources, TemplatesAreAsDesigned) {
  auto find = [](int id) -> const rc_dialog& {
    for (int i = 0; i < conduit_resources.dialog_count; ++i) {
      if (conduit_resources.dialogs[i].id == id) return conduit_resources.dialogs[i];
    }
    throw std::runtime_error("no dialog");
  };
  const rc_dialog& full = find(101);
  const rc_dialog& plain = find(399);
  EXPECT_EQ(full.width, 262);
  EXPECT_EQ(full.height, 188);
  EXPECT_EQ(plain.height, 141);
  ASSERT_EQ(full.control_count, 18);
  ASSERT_EQ(plain.control_count, 13);
  const int order[] = {404, 405, 406, 407, 411, 1, 2, 9, 403, 1000, 1001, 1002, 1003};
  for (int i = 0; i < 13; ++i) {
    EXPECT_EQ(full.controls[i].id, order[i]);
    EXPECT_EQ(plain.controls[i].id, order[i]);
    EXPECT_EQ(plain.controls[i].y + 46, full.controls[i].y) << order[i];
    EXPECT_EQ(plain.controls[i].x, full.controls[i].x);
  }
  EXPECT_STREQ(plain.controls[8].text, "<PlaceHolder>");
  EXPECT_EQ(full.controls[0].style & 0x00030000u, 0x00030000u);  // group and tab stop
  EXPECT_EQ(full.controls[1].style & 0x00030000u, 0u);
  EXPECT_EQ(full.controls[9].text_resource, 103);
  EXPECT_EQ(std::string(full.font), "MS Sans Serif");
  EXPECT_EQ(conduit_resources.string_count, 6);
  EXPECT_EQ(conduit_resources.bitmap_count, 4);
}

}  // namespace
