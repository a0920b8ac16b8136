// The headless dialog manager of the POSIX build: a modal dialog runs a message
// loop fed by a front end (a terminal view, or a test's script) that sees the
// dialog as it stands and answers with the user's next input.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dialog_manager.h"

struct posix_bitmap {
  int kind;  // kBitmapKind: tells a bitmap from other handles
  int resource_id;
  int width;
  int height;
  std::vector<color_ref> pixels;  // rows from the top, 0x00BBGGRR
};

struct posix_control {
  int kind;  // kControlKind
  int id;
  std::string class_name;
  uint32_t style;
  std::string text;
  int16_t x, y, width, height;  // dialog units
  uint32_t check;
  posix_bitmap* image;
};

struct posix_dialog {
  int kind;  // kDialogKind
  int template_id;
  std::string caption;
  int16_t width, height;
  std::vector<posix_control> controls;  // template order; never resized once made
  int focus;                            // index into controls
  bool ended;
  intptr_t result;
};

// Kinds of the controls, from their class and style.
enum class control_type {
  push_button,
  default_push_button,
  check_box,
  radio_button,
  group_box,
  text,
  bitmap
};
control_type type_of(const posix_control& control);
// The control's text without its '&' and the letter that follows '&' (0 if none).
std::string plain_text(const std::string& text, char* accelerator = nullptr);

enum class ui_input { click, key, system_colors_changed };
// Keys beyond characters; a character key is its own code.
enum ui_key : int {
  kKeyEnter = 0x1000,
  kKeyEscape,
  kKeyF1,
  kKeyUp,
  kKeyDown,
  kKeyLeft,
  kKeyRight,
  kKeyTab,
  kKeyBackTab,
  kKeySpace,
};
struct ui_event {
  ui_input kind;
  int value;  // the control clicked, or the key
};

struct dialog_front_end {
  // The user's next input; false when there is none (the dialog is closed, as
  // with its close box).
  bool (*next_input)(const posix_dialog& dialog, ui_event* event, void* context);
  // A help request (file, command, context data).
  void (*show_help)(const char* file, uint32_t command, uintptr_t data, void* context);
  void* context;
};

// The front end of the dialogs from now on; with none, no dialog can be made.
void dialog_set_front_end(const dialog_front_end* front_end);
// Changes a system colour, as the user would in the system's settings.
void dialog_set_sys_color(int index, color_ref color);
// The next dialog fails to be created.
void dialog_fail_next_creation();
// Bitmaps made and not yet deleted.
int dialog_live_bitmaps();

constexpr int kDialogKind = 0x444C4731;
constexpr int kControlKind = 0x43544C31;
constexpr int kBitmapKind = 0x424D5031;
