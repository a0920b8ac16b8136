// The dialog in which the user chooses the HotSync action for the next
// HotSync, and the two entry points that show it.
#pragma once

#include <cstdint>

#include "conduit/conduit_api.h"
#include "platform/dialog_manager.h"

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
