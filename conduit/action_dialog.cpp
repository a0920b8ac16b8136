#include "conduit/action_dialog.h"

#include <cstdio>
#include <cstring>

#include "conduit/conduit_api.h"
#include "conduit/conduit_info.h"
#include "conduit/module_state.h"
#include "resources/resource_ids.h"
#include "util/byte_order.h"

uint8_t* g_dialog_record = nullptr;

namespace {

constexpr int kTextBufferSize = 256;
constexpr int kModuleNameSize = 256;
constexpr color_ref kBitmapBackground = 0x00C0C0C0;

struct bitmap_place {
  int bitmap;
  int control;
};
constexpr bitmap_place kBitmaps[] = {{IDB_SYNC, IDC_SYNC_BITMAP},
                                     {IDB_PC_TO_HH, IDC_PC_TO_HH_BITMAP},
                                     {IDB_HH_TO_PC, IDC_HH_TO_PC_BITMAP},
                                     {IDB_DO_NOTHING, IDC_DO_NOTHING_BITMAP}};

// The radio button and the text that show a sync type.
int button_of(uint32_t sync_type) {
  switch (sync_type) {
    case kSyncTypeFast:
    case kSyncTypeSlow:
      return IDC_SYNC;
    case kSyncTypePCToHH:
      return IDC_PC_TO_HH;
    case kSyncTypeHHToPC:
      return IDC_HH_TO_PC;
    default:
      return IDC_DO_NOTHING;
  }
}

uint32_t text_of(uint32_t sync_type) {
  switch (button_of(sync_type)) {
    case IDC_SYNC:
      return IDS_SYNC;
    case IDC_PC_TO_HH:
      return IDS_PC_TO_HH;
    case IDC_HH_TO_PC:
      return IDS_HH_TO_PC;
    default:
      return IDS_DO_NOTHING;
  }
}

// The sync type of the first checked button, Do nothing when none is.
uint32_t chosen_action(window_handle dialog) {
  if (is_dlg_button_checked(dialog, IDC_SYNC) == BST_CHECKED) return kSyncTypeFast;
  if (is_dlg_button_checked(dialog, IDC_PC_TO_HH) == BST_CHECKED) return kSyncTypePCToHH;
  if (is_dlg_button_checked(dialog, IDC_HH_TO_PC) == BST_CHECKED) return kSyncTypeHHToPC;
  return kSyncTypeDoNothing;
}

void show_current_settings(window_handle dialog, const uint8_t* record, const char* next_text) {
  char text[kTextBufferSize];
  set_dlg_item_text(dialog, IDC_NEXT_TEXT, next_text);
  load_string(g_module, text_of(get_le32(record + kCfgDefaultActionOffset)), text, sizeof text);
  set_dlg_item_text(dialog, IDC_DEFAULT_TEXT, text);
  // The name field need not hold its terminator: read no further than it.
  char user[kCfgUserNameSize + 1];
  std::memcpy(user, record + kCfgUserNameOffset, kCfgUserNameSize);
  user[kCfgUserNameSize] = '\0';
  char title[kTextBufferSize];
  load_string(g_module, IDS_CURRENT_SETTINGS, text, sizeof text);
  std::snprintf(title, sizeof title, text, user);
  set_dlg_item_text(dialog, IDC_CURRENT_GROUP, title);
}

void init_dialog(window_handle dialog, uint8_t* record) {
  char text[kTextBufferSize];
  load_string(g_module, IDS_ACTION_GROUP, text, sizeof text);
  set_dlg_item_text(dialog, IDC_ACTION_GROUP, text);
  set_window_text(dialog, kConduitName);
  load_action_bitmaps(dialog);
  g_dialog_record = record;
  if (!record) return;
  const uint32_t next = get_le32(record + kCfgNextActionOffset);
  check_radio_button(dialog, IDC_SYNC, IDC_DO_NOTHING, button_of(next));
  load_string(g_module, text_of(next), text, sizeof text);
  if (get_le32(record + kCfgShowCurrentOffset) != 0) show_current_settings(dialog, record, text);
}

// The pictures the controls hold when the dialog goes are released here.
void release_bitmaps(window_handle dialog) {
  for (const bitmap_place& place : kBitmaps) {
    window_handle control = get_dlg_item(dialog, place.control);
    if (!control) continue;
    auto previous =
        reinterpret_cast<bitmap_handle>(send_message(control, STM_SETIMAGE, IMAGE_BITMAP, 0));
    if (previous) delete_object(previous);
  }
}

}  // namespace

void load_action_bitmaps(window_handle dialog) {
  const color_map_entry map = {kBitmapBackground, get_sys_color(COLOR_BTNFACE)};
  for (const bitmap_place& place : kBitmaps) {
    bitmap_handle bitmap = create_mapped_bitmap(g_module, place.bitmap, 0, &map, 1);
    window_handle control = get_dlg_item(dialog, place.control);
    if (!control) {
      if (bitmap) delete_object(bitmap);
      continue;
    }
    auto previous = reinterpret_cast<bitmap_handle>(
        send_message(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<intptr_t>(bitmap)));
    if (previous) delete_object(previous);
  }
}

void show_action_help(window_handle dialog) {
  char name[kModuleNameSize];
  if (get_module_file_name(g_module, name, sizeof name) == 0) return;
  const char* separator = std::strrchr(name, kModulePathSeparator);
  if (!separator || separator == name) return;
  const size_t folder = static_cast<size_t>(separator - name) + 1;
  if (folder + sizeof kHelpFileName > sizeof name) return;
  std::memcpy(name + folder, kHelpFileName, sizeof kHelpFileName);
  win_help(dialog, name, HELP_CONTEXT, kHelpContext);
}

intptr_t QV_STDCALL action_dialog_proc(window_handle dialog, uint32_t message, uintptr_t wparam,
                                       intptr_t lparam) {
  switch (message) {
    case WM_INITDIALOG:
      init_dialog(dialog, reinterpret_cast<uint8_t*>(lparam));
      return 0;
    case WM_COMMAND:
      switch (wparam) {
        case IDOK:
          if (g_dialog_record) {
            put_le32(g_dialog_record + kCfgChosenActionOffset, chosen_action(dialog));
            put_le32(g_dialog_record + kCfgMakeDefaultOffset,
                     is_dlg_button_checked(dialog, IDC_SET_DEFAULT) == BST_CHECKED
                         ? kMakeDefault
                         : kNextHotSyncOnly);
          }
          end_dialog(dialog, 0);
          return 1;
        case IDCANCEL:
          end_dialog(dialog, 1);
          return 1;
        case IDC_HELP_BUTTON:
          show_action_help(dialog);
          return 1;
        case IDC_SYNC:
        case IDC_PC_TO_HH:
        case IDC_HH_TO_PC:
        case IDC_DO_NOTHING:
          check_radio_button(dialog, IDC_SYNC, IDC_DO_NOTHING, static_cast<int>(wparam));
          return 0;
        default:
          return 0;
      }
    case WM_HELP:
      show_action_help(dialog);
      return 1;
    case WM_SYSCOLORCHANGE:
      load_action_bitmaps(dialog);
      return 0;
    case WM_DESTROY:
      release_bitmaps(dialog);
      g_dialog_record = nullptr;
      return 0;
    default:
      return 0;
  }
}

extern "C" int32_t ConfigureConduit(void* preference) {
  int32_t result = -1;
  if (!preference) return result;
  auto* pref = static_cast<uint8_t*>(preference);
  const uint32_t current = get_le32(pref + kPrefSyncTypeOffset);
  uint8_t record[kCfgRecordSize] = {};
  put_le32(record + kCfgVersionOffset, kCfgRecordVersion);
  put_le32(record + kCfgSizeOffset, kCfgRecordSize);
  put_le32(record + kCfgDefaultActionOffset, current);
  put_le32(record + kCfgNextActionOffset, current);
  put_le32(record + kCfgChosenActionOffset, current);
  put_le32(record + kCfgMakeDefaultOffset, kNextHotSyncOnly);
  if (dialog_box_param(g_module, IDD_ACTION_PLAIN, foreground_window(), action_dialog_proc,
                       reinterpret_cast<intptr_t>(record)) == 0) {
    put_le32(pref + kPrefSyncTypeOffset, get_le32(record + kCfgChosenActionOffset));
    put_le32(pref + kPrefMakeDefaultOffset, get_le32(record + kCfgMakeDefaultOffset));
    result = 0;
  }
  return result;
}

extern "C" int32_t CfgConduit(uint32_t kind, void* record, uint32_t* size) {
  if (!record) return ERR_NO_ARGS;
  if (!size) return ERR_NO_ARGS_SIZE;
  if (*size != kCfgRecordSize) return ERR_BAD_ARGS_SIZE;
  if (kind != kCfgRecordKind) return ERR_BAD_CFG_TYPE;
  if (get_le32(static_cast<uint8_t*>(record) + kCfgVersionOffset) != kCfgRecordVersion)
    return ERR_BAD_CFG_VERSION;
  dialog_box_param(g_module, IDD_ACTION_CURRENT, foreground_window(), action_dialog_proc,
                   reinterpret_cast<intptr_t>(record));
  return 0;
}
