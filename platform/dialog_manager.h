// The Windows dialog manager, as far as the action dialog uses it: modal
// dialogs from templates, control texts and states, bitmaps, system colours,
// string resources and help. Message codes and identifiers are Windows' own.
#pragma once

#include <cstdint>

#include "platform/module.h"

using window_handle = void*;
using bitmap_handle = void*;
using dialog_procedure = intptr_t(QV_STDCALL*)(window_handle dialog, uint32_t message,
                                               uintptr_t wparam, intptr_t lparam);

// Messages.
constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_SYSCOLORCHANGE = 0x0015;
constexpr uint32_t WM_HELP = 0x0053;
constexpr uint32_t WM_INITDIALOG = 0x0110;
constexpr uint32_t WM_COMMAND = 0x0111;
constexpr uint32_t STM_SETIMAGE = 0x0172;
constexpr uint32_t STM_GETIMAGE = 0x0173;

constexpr uintptr_t IMAGE_BITMAP = 0;
constexpr int COLOR_BTNFACE = 15;
constexpr uint32_t HELP_CONTEXT = 0x0001;
constexpr uint32_t BST_UNCHECKED = 0;
constexpr uint32_t BST_CHECKED = 1;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// A colour as Windows passes it: 0x00BBGGRR.
using color_ref = uint32_t;
struct color_map_entry {
  color_ref from;
  color_ref to;
};

// Shows a modal dialog from the module's template; returns what end_dialog
// was given, or -1 when the dialog cannot be created.
intptr_t dialog_box_param(module_handle module, int template_id, window_handle owner,
                          dialog_procedure procedure, intptr_t init_param);
window_handle foreground_window();
int end_dialog(window_handle dialog, intptr_t result);
// Copies string id into buffer (cut to size - 1 bytes); returns its length, 0
// when there is no such string.
int load_string(module_handle module, uint32_t id, char* buffer, int size);
int set_dlg_item_text(window_handle dialog, int control_id, const char* text);
int set_window_text(window_handle window, const char* text);
// Checks check_id and clears the other buttons from first_id to last_id.
int check_radio_button(window_handle dialog, int first_id, int last_id, int check_id);
uint32_t is_dlg_button_checked(window_handle dialog, int control_id);
window_handle get_dlg_item(window_handle dialog, int control_id);
intptr_t send_message(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam);
color_ref get_sys_color(int index);
// A bitmap resource with the colours of its colour table replaced by the map.
bitmap_handle create_mapped_bitmap(module_handle module, int bitmap_id, uint32_t flags,
                                   const color_map_entry* map, int map_size);
int delete_object(bitmap_handle object);
// The module's file name; its length, 0 on failure.
uint32_t get_module_file_name(module_handle module, char* buffer, uint32_t size);
int win_help(window_handle owner, const char* help_file, uint32_t command, uintptr_t data);
