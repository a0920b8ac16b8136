// Shows the dialogs of the POSIX dialog manager in a terminal and reads the
// user's keys: the front end of `hotsync configure`.
#pragma once

#include <termios.h>

#include <string>
#include <vector>

#include "platform/posix/dialog_front_end.h"

// The dialog as lines of text, laid out from its dialog units (3.5 across and
// 10 down to a character cell), with a line of key help and a message under it.
// With colour, ANSI codes mark the focus, the accelerators and the pictures.
std::vector<std::string> render_dialog(const posix_dialog& dialog, const std::string& message,
                                       bool colour);

class terminal_dialog {
 public:
  // Takes over the terminal on in_fd/out_fd (raw keys, hidden cursor) until
  // destroyed.
  terminal_dialog(int in_fd, int out_fd);
  ~terminal_dialog();
  terminal_dialog(const terminal_dialog&) = delete;
  terminal_dialog& operator=(const terminal_dialog&) = delete;

  const dialog_front_end* front_end() const { return &front_end_; }

 private:
  static bool next_input(const posix_dialog& dialog, ui_event* event, void* self);
  static void show_help(const char* file, uint32_t command, uintptr_t data, void* self);
  int read_key();

  int in_;
  int out_;
  bool raw_ = false;
  bool colour_ = true;
  termios saved_{};
  std::string message_;
  dialog_front_end front_end_;
};
