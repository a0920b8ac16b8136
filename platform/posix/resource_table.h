// A module's resources as the POSIX dialog manager reads them: tables made at
// build time from the same resource script the Windows build compiles.
#pragma once

#include <cstdint>

#include "platform/module.h"

struct rc_control {
  int32_t id;
  const char* class_name;       // "Button" or "Static"
  uint32_t style;               // window and control style bits, as in the script
  const char* text;             // null when the control names a resource instead
  int32_t text_resource;        // the bitmap of an SS_BITMAP control
  int16_t x, y, width, height;  // dialog units
};

struct rc_dialog {
  int32_t id;
  uint32_t style;
  const char* caption;
  const char* font;
  int16_t font_size;
  int16_t x, y, width, height;
  const rc_control* controls;  // in template order, which is the tab order
  int32_t control_count;
};

struct rc_string {
  int32_t id;
  const char* text;
};

struct rc_bitmap {
  int32_t id;
  const unsigned char* bytes;  // the whole .bmp file
  uint32_t size;
};

struct resource_table {
  const rc_dialog* dialogs;
  int32_t dialog_count;
  const rc_string* strings;
  int32_t string_count;
  const rc_bitmap* bitmaps;
  int32_t bitmap_count;
};

// The resources and file name of a loaded module, as the system would know
// them. The table must outlive the registration.
void register_module(module_handle module, const char* file_name, const resource_table* table);
void unregister_module(module_handle module);
