// A small, headless dialog manager with Windows' semantics for what the action
// dialog uses: templates from the module's resource tables, a modal message
// loop fed by a front end, buttons, statics, bitmaps and system colours.
#include "platform/dialog_manager.h"

#include "util/byte_order.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>

#include "platform/posix/dialog_front_end.h"
#include "platform/posix/resource_table.h"

namespace {

constexpr uint32_t WS_GROUP = 0x00020000;
constexpr uint32_t WS_TABSTOP = 0x00010000;
constexpr uint32_t SS_TYPEMASK = 0x1F;
constexpr uint32_t SS_BITMAP = 0x0E;
constexpr uint16_t BN_CLICKED = 0;

struct registered_module {
  std::string file_name;
  const resource_table* table;
};

struct manager_state {
  std::map<module_handle, registered_module> modules;
  dialog_front_end front_end{nullptr, nullptr, nullptr};
  bool fail_next = false;
  int live_bitmaps = 0;
  color_ref button_face = 0x00F0F0F0;
  int desktop = 0;  // what foreground_window returns: the HotSync Manager's window
};

manager_state& state() {
  static manager_state* the_state = new manager_state;
  return *the_state;
}

const resource_table* table_of(module_handle module) {
  auto found = state().modules.find(module);
  return found == state().modules.end() ? nullptr : found->second.table;
}

posix_dialog* as_dialog(window_handle window) {
  auto* d = static_cast<posix_dialog*>(window);
  return d && d->kind == kDialogKind ? d : nullptr;
}

posix_control* as_control(window_handle window) {
  auto* c = static_cast<posix_control*>(window);
  return c && c->kind == kControlKind ? c : nullptr;
}

posix_control* control_of(window_handle dialog, int id) {
  posix_dialog* d = as_dialog(dialog);
  if (!d) return nullptr;
  for (posix_control& c : d->controls) {
    if (c.id == id) return &c;
  }
  return nullptr;
}

// Decodes a 4- or 8-bit bottom-up .bmp with a colour table, mapping its colours.
posix_bitmap* decode_bitmap(const rc_bitmap& resource, const color_map_entry* map, int map_size) {
  const unsigned char* b = resource.bytes;
  if (resource.size < 54 || b[0] != 'B' || b[1] != 'M') return nullptr;
  const uint32_t offset = get_le32(b + 10), header = get_le32(b + 14);
  const int32_t width = static_cast<int32_t>(get_le32(b + 18));
  const int32_t height = static_cast<int32_t>(get_le32(b + 22));
  const int bits = b[28] | (b[29] << 8);
  if ((bits != 4 && bits != 8) || width <= 0 || height <= 0 || width > 4096 || height > 4096) {
    return nullptr;
  }
  const uint32_t colours = get_le32(b + 46) ? get_le32(b + 46) : (1u << bits);
  const uint32_t row = ((static_cast<uint32_t>(width) * bits + 31) / 32) * 4;
  if (14 + header + colours * 4 > resource.size || offset + row * height > resource.size) {
    return nullptr;
  }
  std::vector<color_ref> palette(colours);
  for (uint32_t i = 0; i < colours; ++i) {
    const unsigned char* e = b + 14 + header + i * 4;  // blue, green, red, reserved
    color_ref c = static_cast<color_ref>(e[2] | (e[1] << 8) | (e[0] << 16));
    for (int m = 0; m < map_size; ++m) {
      if (map[m].from == c) {
        c = map[m].to;
        break;
      }
    }
    palette[i] = c;
  }
  auto* bitmap = new (std::nothrow) posix_bitmap;
  if (!bitmap) return nullptr;
  bitmap->kind = kBitmapKind;
  bitmap->resource_id = resource.id;
  bitmap->width = width;
  bitmap->height = height;
  bitmap->pixels.resize(static_cast<size_t>(width) * height);
  for (int32_t y = 0; y < height; ++y) {
    const unsigned char* source = b + offset + row * static_cast<uint32_t>(height - 1 - y);
    for (int32_t x = 0; x < width; ++x) {
      uint32_t index = bits == 8 ? source[x] : (x % 2 ? source[x / 2] & 0xF : source[x / 2] >> 4);
      bitmap->pixels[static_cast<size_t>(y) * width + x] = index < colours ? palette[index] : 0;
    }
  }
  state().live_bitmaps += 1;
  return bitmap;
}

// Windows' answer to a text it cannot store: 0, and the old text stays.
int assign_text(std::string* to, const char* text) {
  try {
    *to = text ? text : "";
    return 1;
  } catch (const std::bad_alloc&) {
    return 0;
  }
}

intptr_t command(posix_dialog* d, dialog_procedure procedure, posix_control* from, int id) {
  return procedure(d, WM_COMMAND,
                   (static_cast<uintptr_t>(BN_CLICKED) << 16) | static_cast<uint16_t>(id),
                   reinterpret_cast<intptr_t>(from));
}

// A click on a control, as the button control itself would handle it.
void click(posix_dialog* d, dialog_procedure procedure, posix_control& c) {
  switch (type_of(c)) {
    case control_type::check_box:
      if ((c.style & 0xF) == 3) c.check = c.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
      break;
    case control_type::group_box:
    case control_type::text:
    case control_type::bitmap:
      return;
    default:
      break;
  }
  d->focus = static_cast<int>(&c - d->controls.data());
  command(d, procedure, &c, c.id);
}

bool focusable(const posix_control& c) {
  control_type t = type_of(c);
  return t != control_type::group_box && t != control_type::text && t != control_type::bitmap;
}

// The radio buttons of the focused control's group, in template order.
std::vector<int> radio_group(const posix_dialog& d) {
  std::vector<int> group;
  if (d.focus < 0 || type_of(d.controls[d.focus]) != control_type::radio_button) return group;
  int start = d.focus;
  while (start > 0 && !(d.controls[start].style & WS_GROUP))
    --start;
  for (int i = start; i < static_cast<int>(d.controls.size()); ++i) {
    if (i > start && (d.controls[i].style & WS_GROUP)) break;
    if (type_of(d.controls[i]) == control_type::radio_button) group.push_back(i);
  }
  return group;
}

void move_tab(posix_dialog* d, int step) {
  const int n = static_cast<int>(d->controls.size());
  for (int k = 1; k <= n; ++k) {
    int i = ((d->focus + step * k) % n + n) % n;
    const posix_control& c = d->controls[i];
    if (!focusable(c) || !(c.style & WS_TABSTOP)) continue;
    d->focus = i;
    // Entering a group of radio buttons lands on its checked one.
    for (int r : radio_group(*d)) {
      if (d->controls[r].check == BST_CHECKED) d->focus = r;
    }
    return;
  }
}

void key(posix_dialog* d, dialog_procedure procedure, int k) {
  posix_control* focused = d->focus >= 0 ? &d->controls[d->focus] : nullptr;
  switch (k) {
    case kKeyEnter: {
      int id = IDOK;
      if (focused && type_of(*focused) == control_type::push_button) id = focused->id;
      command(d, procedure, control_of(d, id), id);
      return;
    }
    case kKeyEscape:
      command(d, procedure, control_of(d, IDCANCEL), IDCANCEL);
      return;
    case kKeyF1:
      procedure(d, WM_HELP, 0, 0);
      return;
    case kKeyTab:
    case kKeyBackTab:
      move_tab(d, k == kKeyTab ? 1 : -1);
      return;
    case kKeySpace:
      if (focused) click(d, procedure, *focused);
      return;
    case kKeyUp:
    case kKeyDown:
    case kKeyLeft:
    case kKeyRight: {
      std::vector<int> group = radio_group(*d);
      if (group.empty()) return;
      int at = 0;
      while (group[at] != d->focus)
        ++at;
      const int n = static_cast<int>(group.size());
      at = (at + ((k == kKeyUp || k == kKeyLeft) ? n - 1 : 1)) % n;
      click(d, procedure, d->controls[group[at]]);
      return;
    }
    default:
      for (posix_control& c : d->controls) {
        char accelerator = 0;
        plain_text(c.text, &accelerator);
        if (accelerator && std::tolower(static_cast<unsigned char>(accelerator)) ==
                               std::tolower(static_cast<unsigned char>(k))) {
          if (focusable(c)) click(d, procedure, c);
          return;
        }
      }
  }
}

bool make_controls(posix_dialog* d, module_handle module, const rc_dialog& t) {
  d->controls.reserve(static_cast<size_t>(t.control_count));
  for (int32_t i = 0; i < t.control_count; ++i) {
    const rc_control& rc = t.controls[i];
    posix_control c{kControlKind, rc.id, rc.class_name, rc.style,  rc.text ? rc.text : "",
                    rc.x,         rc.y,  rc.width,      rc.height, BST_UNCHECKED,
                    nullptr};
    if (type_of(c) == control_type::bitmap && rc.text_resource != 0) {
      c.image =
          static_cast<posix_bitmap*>(create_mapped_bitmap(module, rc.text_resource, 0, nullptr, 0));
    }
    d->controls.push_back(std::move(c));
  }
  d->focus = -1;
  for (size_t i = 0; i < d->controls.size(); ++i) {
    if (focusable(d->controls[i]) && (d->controls[i].style & WS_TABSTOP)) {
      d->focus = static_cast<int>(i);
      break;
    }
  }
  return true;
}

}  // namespace

control_type type_of(const posix_control& c) {
  if (c.class_name == "Static") {
    return (c.style & SS_TYPEMASK) == SS_BITMAP ? control_type::bitmap : control_type::text;
  }
  switch (c.style & 0xF) {
    case 0:
      return control_type::push_button;
    case 1:
      return control_type::default_push_button;
    case 2:
    case 3:
      return control_type::check_box;
    case 4:
    case 9:
      return control_type::radio_button;
    case 7:
      return control_type::group_box;
    default:
      return control_type::push_button;
  }
}

std::string plain_text(const std::string& text, char* accelerator) {
  std::string out;
  if (accelerator) *accelerator = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) {
      ++i;
      if (text[i] != '&' && accelerator && !*accelerator) *accelerator = text[i];
    }
    out += text[i];
  }
  return out;
}

void register_module(module_handle module, const char* file_name, const resource_table* table) {
  state().modules[module] = registered_module{file_name ? file_name : "", table};
}

void unregister_module(module_handle module) {
  state().modules.erase(module);
}

void dialog_set_front_end(const dialog_front_end* front_end) {
  state().front_end = front_end ? *front_end : dialog_front_end{nullptr, nullptr, nullptr};
}

void dialog_set_sys_color(int index, color_ref color) {
  if (index == COLOR_BTNFACE) state().button_face = color;
}

void dialog_fail_next_creation() {
  state().fail_next = true;
}

int dialog_live_bitmaps() {
  return state().live_bitmaps;
}

intptr_t dialog_box_param(module_handle module, int template_id, window_handle,
                          dialog_procedure procedure, intptr_t init_param) {
  manager_state& s = state();
  const resource_table* table = table_of(module);
  const rc_dialog* t = nullptr;
  for (int32_t i = 0; table && i < table->dialog_count; ++i) {
    if (table->dialogs[i].id == template_id) t = &table->dialogs[i];
  }
  if (!t || !procedure || !s.front_end.next_input || s.fail_next) {
    s.fail_next = false;
    return -1;
  }
  posix_dialog* d = new (std::nothrow) posix_dialog;
  if (!d) return -1;
  try {
    d->caption = t->caption;
    make_controls(d, module, *t);
  } catch (const std::bad_alloc&) {
    for (posix_control& c : d->controls)
      delete_object(c.image);
    delete d;
    return -1;
  }
  d->kind = kDialogKind;
  d->template_id = template_id;
  d->width = t->width;
  d->height = t->height;
  d->ended = false;
  d->result = 0;

  posix_control* first = d->focus >= 0 ? &d->controls[d->focus] : nullptr;
  procedure(d, WM_INITDIALOG, reinterpret_cast<uintptr_t>(first), init_param);
  while (!d->ended) {
    ui_event event{};
    bool got = false;
    try {
      got = s.front_end.next_input(*d, &event, s.front_end.context);
    } catch (const std::bad_alloc&) {
      got = false;  // a front end without memory is a user who closed the dialog
    }
    if (!got) {
      procedure(d, WM_CLOSE, 0, 0);
      if (!d->ended) command(d, procedure, control_of(d, IDCANCEL), IDCANCEL);
      if (!d->ended) end_dialog(d, IDCANCEL);
      break;
    }
    switch (event.kind) {
      case ui_input::click:
        if (posix_control* c = control_of(d, event.value)) click(d, procedure, *c);
        break;
      case ui_input::key:
        key(d, procedure, event.value);
        break;
      case ui_input::system_colors_changed:
        procedure(d, WM_SYSCOLORCHANGE, 0, 0);
        break;
    }
  }
  procedure(d, WM_DESTROY, 0, 0);
  const intptr_t result = d->result;
  delete d;
  return result;
}

window_handle foreground_window() {
  return &state().desktop;
}

int end_dialog(window_handle dialog, intptr_t result) {
  posix_dialog* d = as_dialog(dialog);
  if (!d) return 0;
  d->ended = true;
  d->result = result;
  return 1;
}

int load_string(module_handle module, uint32_t id, char* buffer, int size) {
  const resource_table* table = table_of(module);
  if (!buffer || size <= 0) return 0;
  for (int32_t i = 0; table && i < table->string_count; ++i) {
    if (table->strings[i].id != static_cast<int32_t>(id)) continue;
    size_t n = std::strlen(table->strings[i].text);
    if (n > static_cast<size_t>(size - 1)) n = static_cast<size_t>(size - 1);
    std::memcpy(buffer, table->strings[i].text, n);
    buffer[n] = '\0';
    return static_cast<int>(n);
  }
  buffer[0] = '\0';
  return 0;
}

int set_dlg_item_text(window_handle dialog, int control_id, const char* text) {
  posix_control* c = control_of(dialog, control_id);
  return c ? assign_text(&c->text, text) : 0;
}

int set_window_text(window_handle window, const char* text) {
  if (posix_dialog* d = as_dialog(window)) return assign_text(&d->caption, text);
  if (posix_control* c = as_control(window)) return assign_text(&c->text, text);
  return 0;
}

int check_radio_button(window_handle dialog, int first_id, int last_id, int check_id) {
  posix_dialog* d = as_dialog(dialog);
  if (!d) return 0;
  for (posix_control& c : d->controls) {
    if (c.id >= first_id && c.id <= last_id)
      c.check = c.id == check_id ? BST_CHECKED : BST_UNCHECKED;
  }
  return 1;
}

uint32_t is_dlg_button_checked(window_handle dialog, int control_id) {
  posix_control* c = control_of(dialog, control_id);
  return c ? c->check : BST_UNCHECKED;
}

window_handle get_dlg_item(window_handle dialog, int control_id) {
  return control_of(dialog, control_id);
}

intptr_t send_message(window_handle window, uint32_t message, uintptr_t wparam, intptr_t lparam) {
  posix_control* c = as_control(window);
  if (!c || type_of(*c) != control_type::bitmap || wparam != IMAGE_BITMAP) return 0;
  if (message == STM_GETIMAGE) return reinterpret_cast<intptr_t>(c->image);
  if (message != STM_SETIMAGE) return 0;
  auto* image = reinterpret_cast<posix_bitmap*>(lparam);
  if (image && image->kind != kBitmapKind) return 0;
  posix_bitmap* previous = c->image;
  c->image = image;
  return reinterpret_cast<intptr_t>(previous);
}

color_ref get_sys_color(int index) {
  return index == COLOR_BTNFACE ? state().button_face : 0x00000000;
}

bitmap_handle create_mapped_bitmap(module_handle module, int bitmap_id, uint32_t,
                                   const color_map_entry* map, int map_size) {
  const resource_table* table = table_of(module);
  for (int32_t i = 0; table && i < table->bitmap_count; ++i) {
    if (table->bitmaps[i].id == bitmap_id) return decode_bitmap(table->bitmaps[i], map, map_size);
  }
  return nullptr;
}

int delete_object(bitmap_handle object) {
  auto* bitmap = static_cast<posix_bitmap*>(object);
  if (!bitmap || bitmap->kind != kBitmapKind) return 0;
  bitmap->kind = 0;
  delete bitmap;
  state().live_bitmaps -= 1;
  return 1;
}

uint32_t get_module_file_name(module_handle module, char* buffer, uint32_t size) {
  auto found = state().modules.find(module);
  if (found == state().modules.end() || size == 0) return 0;
  const std::string& name = found->second.file_name;
  if (name.empty() || name.size() >= size) return 0;
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  return static_cast<uint32_t>(name.size());
}

int win_help(window_handle, const char* help_file, uint32_t command, uintptr_t data) {
  const dialog_front_end& f = state().front_end;
  if (!f.show_help) return 0;
  f.show_help(help_file, command, data, f.context);
  return 1;
}
