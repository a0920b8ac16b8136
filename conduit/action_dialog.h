// The dialog in which the user chooses the HotSync action for the next
// HotSync, and the two entry points that show it.
#pragma once

#include <cstdint>

#include "platform/dialog_manager.h"

// The configuration record the dialog shows and changes: 352 bytes, numbers
// 32-bit little-endian.
constexpr uint32_t kCfgRecordSize = 352;
constexpr uint32_t kCfgVersionOffset = 0;
constexpr uint32_t kCfgSizeOffset = 4;
constexpr uint32_t kCfgShowCurrentOffset = 8;
constexpr uint32_t kCfgUserNameOffset = 16;
constexpr uint32_t kCfgUserNameSize = 64;
constexpr uint32_t kCfgDefaultActionOffset = 336;
constexpr uint32_t kCfgNextActionOffset = 340;
constexpr uint32_t kCfgChosenActionOffset = 344;
constexpr uint32_t kCfgMakeDefaultOffset = 348;
// The HotSync Manager's preference record of ConfigureConduit: two fields.
constexpr uint32_t kPrefMakeDefaultOffset = 516;
constexpr uint32_t kPrefSyncTypeOffset = 520;
constexpr uint32_t kPrefRecordMinSize = 524;
// make_default: the choice becomes the default, or holds for the next HotSync.
constexpr uint32_t kMakeDefault = 1;
constexpr uint32_t kNextHotSyncOnly = 2;

constexpr uint32_t kHelpContext = 131471;
constexpr char kHelpFileName[] = "hotsync.hlp";

// The record the open dialog works on; set at its initialisation.
extern uint8_t* g_dialog_record;

intptr_t QV_STDCALL action_dialog_proc(window_handle dialog, uint32_t message, uintptr_t wparam,
                                       intptr_t lparam);
// Gives the four bitmap controls their pictures with the light grey mapped to
// the current button-face colour, releasing the pictures they held.
void load_action_bitmaps(window_handle dialog);
// Opens hotsync.hlp beside the conduit library at the dialog's context.
void show_action_help(window_handle dialog);
