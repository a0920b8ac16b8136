// The dialog manager is Windows' own; these are its calls under the names the
// conduit uses.
#include "platform/dialog_manager.h"

#include <windows.h>

#include <commctrl.h>

static HWND hwnd_of(window_handle w) {
  return static_cast<HWND>(w);
}

intptr_t dialog_box_param(module_handle module, int template_id, window_handle owner,
                          dialog_procedure procedure, intptr_t init_param) {
  return DialogBoxParamA(static_cast<HINSTANCE>(module), MAKEINTRESOURCEA(template_id),
                         hwnd_of(owner), reinterpret_cast<DLGPROC>(procedure), init_param);
}

window_handle foreground_window() {
  return GetForegroundWindow();
}

int end_dialog(window_handle dialog, intptr_t result) {
  return EndDialog(hwnd_of(dialog), result);
}

int load_string(module_handle module, uint32_t id, char* buffer, int size) {
  return LoadStringA(static_cast<HINSTANCE>(module), id, buffer, size);
}

int set_dlg_item_text(window_handle dialog, int control_id, const char* text) {
  return SetDlgItemTextA(hwnd_of(dialog), control_id, text);
}

int set_window_text(window_handle window, const char* text) {
  return SetWindowTextA(hwnd_of(window), text);
}

int check_radio_button(window_handle dialog, int first_id, int last_id, int check_id) {
  return CheckRadioButton(hwnd_of(dialog), first_id, last_id, check_id);
}

uint32_t is_dlg_button_checked(window_handle dialog, int control_id) {
  return IsDlgButtonChecked(hwnd_of(dialog), control_id);
}

window_handle get_dlg_item(window_handle dialog, int control_id) {
  return GetDlgItem(hwnd_of(dialog), control_id);
}

intptr_t send_message(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  return SendMessageA(hwnd_of(window), message, wparam, lparam);
}

color_ref get_sys_color(int index) {
  return GetSysColor(index);
}

bitmap_handle create_mapped_bitmap(module_handle module, int bitmap_id, uint32_t flags,
                                   const color_map_entry* map, int map_size) {
  static_assert(sizeof(color_map_entry) == sizeof(COLORMAP), "a colour map entry is a COLORMAP");
  return CreateMappedBitmap(static_cast<HINSTANCE>(module), bitmap_id, flags,
                            reinterpret_cast<COLORMAP*>(const_cast<color_map_entry*>(map)),
                            map_size);
}

int delete_object(bitmap_handle object) {
  return DeleteObject(static_cast<HGDIOBJ>(object));
}

uint32_t get_module_file_name(module_handle module, char* buffer, uint32_t size) {
  return GetModuleFileNameA(static_cast<HMODULE>(module), buffer, size);
}

int win_help(window_handle owner, const char* help_file, uint32_t command, uintptr_t data) {
  return WinHelpA(hwnd_of(owner), help_file, command, data);
}
