#include "hotsync/posix/terminal_dialog.h"

#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// One character cell: its text (one UTF-8 character) and how it is drawn.
struct cell {
  std::string text = " ";
  std::string style;  // ANSI SGR parameters, empty for plain
};

class canvas {
 public:
  canvas(int columns, int rows) : columns_(columns), cells_(rows, std::vector<cell>(columns)) {}
  int rows() const { return static_cast<int>(cells_.size()); }
  int columns() const { return columns_; }
  void put(int row, int column, const std::string& glyph, const std::string& style = "") {
    if (row < 0 || row >= rows() || column < 0 || column >= columns_) return;
    cells_[row][column] = cell{glyph, style};
  }
  // Writes text from column on; returns the column after it.
  int write(int row, int column, const std::string& text, const std::string& style = "") {
    for (char c : text)
      put(row, column++, std::string(1, c), style);
    return column;
  }
  std::string line(int row, bool colour) const {
    std::string out, current;
    for (const cell& c : cells_[row]) {
      if (colour && c.style != current) {
        out += "\x1b[0m";
        if (!c.style.empty()) out += "\x1b[" + c.style + "m";
        current = c.style;
      }
      out += c.text;
    }
    if (colour && !current.empty()) out += "\x1b[0m";
    return out;
  }

 private:
  int columns_;
  std::vector<std::vector<cell>> cells_;
};

// A terminal that cannot be written to has no one to show anything to.
bool write_text(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

int column_of(int x) {
  return 1 + x * 2 / 7;
}
int row_of(int y) {
  return 1 + y / 10;
}

void frame(canvas* c, int top, int left, int bottom, int right, const std::string& title) {
  for (int x = left + 1; x < right; ++x) {
    c->put(top, x, "-");
    c->put(bottom, x, "-");
  }
  for (int y = top + 1; y < bottom; ++y) {
    c->put(y, left, "|");
    c->put(y, right, "|");
  }
  for (int y : {top, bottom}) {
    c->put(y, left, "+");
    c->put(y, right, "+");
  }
  if (!title.empty()) c->write(top, left + 2, " " + title + " ");
}

// The control's text with its accelerator letter underlined and the focus shown.
void label(canvas* c, int row, int column, const std::string& text, bool focused) {
  char accelerator = 0;
  const std::string plain = plain_text(text, &accelerator);
  bool marked = false;
  for (char ch : plain) {
    std::string style = focused ? "7" : "";
    if (!marked && accelerator && ch == accelerator) {
      style += style.empty() ? "4" : ";4";
      marked = true;
    }
    c->put(row, column++, std::string(1, ch), style);
  }
}

// The picture in half-block cells: each cell shows two pixels, one above the other.
void picture(canvas* c, const posix_control& control, bool colour) {
  const posix_bitmap* b = control.image;
  // A picture is taller than a row: it goes on the row of the button beside it.
  const int left = column_of(control.x), top = row_of(control.y + 4);
  const int width = control.width * 2 / 7, height = 1;
  if (!b || !colour) {
    c->write(top, left, std::string("[") + (b ? "picture" : "       ") + "]");
    return;
  }
  auto rgb = [](color_ref p) {
    return std::to_string(p & 0xFF) + ";" + std::to_string((p >> 8) & 0xFF) + ";" +
           std::to_string((p >> 16) & 0xFF);
  };
  for (int row = 0; row < height; ++row) {
    for (int col = 0; col < width; ++col) {
      const int px = col * b->width / width;
      const int upper = (row * 2) * b->height / (height * 2);
      const int lower = (row * 2 + 1) * b->height / (height * 2);
      const color_ref up = b->pixels[static_cast<size_t>(upper) * b->width + px];
      const color_ref down = b->pixels[static_cast<size_t>(lower) * b->width + px];
      c->put(top + row, left + col, "\xE2\x96\x80", "38;2;" + rgb(up) + ";48;2;" + rgb(down));
    }
  }
}

void draw_control(canvas* c, const posix_control& control, bool focused, bool colour) {
  const int row = row_of(control.y), column = column_of(control.x);
  const int width = control.width * 2 / 7;
  switch (type_of(control)) {
    case control_type::group_box:
      frame(c, row, column, row_of(control.y + control.height) - 1, column + width - 1,
            plain_text(control.text));
      return;
    case control_type::radio_button:
      c->write(row, column, control.check == BST_CHECKED ? "(*) " : "( ) ");
      label(c, row, column + 4, control.text, focused);
      return;
    case control_type::check_box:
      c->write(row, column, control.check == BST_CHECKED ? "[x] " : "[ ] ");
      label(c, row, column + 4, control.text, focused);
      return;
    case control_type::push_button:
    case control_type::default_push_button: {
      const std::string text = plain_text(control.text);
      const int pad = width - 2 - static_cast<int>(text.size());
      const bool is_default = type_of(control) == control_type::default_push_button;
      c->write(row, column, is_default ? "<" : "[", is_default ? "1" : "");
      c->write(row, column + 1, std::string(pad > 0 ? pad / 2 : 0, ' '));
      label(c, row, column + 1 + (pad > 0 ? pad / 2 : 0), control.text, focused);
      c->write(row, column + width - 1, is_default ? ">" : "]", is_default ? "1" : "");
      return;
    }
    case control_type::text:
      c->write(row, column, plain_text(control.text));
      return;
    case control_type::bitmap:
      picture(c, control, colour);
      return;
  }
}

}  // namespace

std::vector<std::string> render_dialog(const posix_dialog& dialog, const std::string& message,
                                       bool colour) {
  const int columns = column_of(dialog.width) + 1;
  const int rows = row_of(dialog.height) + 1;
  canvas c(columns, rows);
  frame(&c, 0, 0, rows - 1, columns - 1, "");
  const int title_at = (columns - static_cast<int>(dialog.caption.size()) - 2) / 2;
  c.write(0, title_at > 1 ? title_at : 1, " " + dialog.caption + " ", colour ? "1" : "");
  // Group boxes first, so that what stands inside them is drawn over their frame.
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i = 0; i < dialog.controls.size(); ++i) {
      const posix_control& control = dialog.controls[i];
      if ((type_of(control) == control_type::group_box) != (pass == 0)) continue;
      draw_control(&c, control, static_cast<int>(i) == dialog.focus, colour);
    }
  }
  std::vector<std::string> lines;
  for (int r = 0; r < rows; ++r)
    lines.push_back(c.line(r, colour));
  lines.push_back(" Enter: OK   Esc: Cancel   F1 or ?: Help   arrows: choose   Space: tick");
  lines.push_back(" " + message);
  return lines;
}

terminal_dialog::terminal_dialog(int in_fd, int out_fd)
    : in_(in_fd), out_(out_fd), front_end_{next_input, show_help, this} {
  const char* term = std::getenv("TERM");
  colour_ = !(term && std::strcmp(term, "dumb") == 0) && !std::getenv("NO_COLOR");
  if (tcgetattr(in_, &saved_) == 0) {
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    raw_ = tcsetattr(in_, TCSANOW, &raw) == 0;
  }
  write_text(out_, "\x1b[?1049h\x1b[?25l");  // the alternate screen, without the cursor
}

terminal_dialog::~terminal_dialog() {
  write_text(out_, "\x1b[?25h\x1b[?1049l");
  if (raw_) tcsetattr(in_, TCSANOW, &saved_);
}

void terminal_dialog::show_help(const char* file, uint32_t, uintptr_t data, void* self) {
  static_cast<terminal_dialog*>(self)->message_ = "Help: " + std::string(file) + ", context " +
                                                  std::to_string(data) +
                                                  " (a help viewer would open it here)";
}

// The next key: a character, or one of the ui_key codes; -1 at the end of input.
int terminal_dialog::read_key() {
  unsigned char c;
  if (read(in_, &c, 1) != 1) return -1;
  if (c == '\r' || c == '\n') return kKeyEnter;
  if (c == '\t') return kKeyTab;
  if (c == ' ') return kKeySpace;
  if (c == 3) return kKeyEscape;  // Ctrl-C cancels, as the close box would
  if (c == '?') return kKeyF1;
  if (c != 0x1b) return c;
  // An escape sequence follows at once; a lone Escape does not.
  pollfd p{in_, POLLIN, 0};
  if (poll(&p, 1, 50) <= 0) return kKeyEscape;
  char seq[8] = {};
  ssize_t n = read(in_, seq, sizeof seq - 1);
  if (n <= 0) return kKeyEscape;
  const std::string s(seq, static_cast<size_t>(n));
  if (s == "[A") return kKeyUp;
  if (s == "[B") return kKeyDown;
  if (s == "[C") return kKeyRight;
  if (s == "[D") return kKeyLeft;
  if (s == "[Z") return kKeyBackTab;
  if (s == "OP" || s == "[11~" || s == "[[A") return kKeyF1;
  return 0;
}

bool terminal_dialog::next_input(const posix_dialog& dialog, ui_event* event, void* self) {
  auto* t = static_cast<terminal_dialog*>(self);
  std::string screen = "\x1b[H\x1b[2J";
  for (const std::string& line : render_dialog(dialog, t->message_, t->colour_)) {
    screen += line + "\r\n";
  }
  if (!write_text(t->out_, screen)) return false;
  for (;;) {
    const int key = t->read_key();
    if (key < 0) return false;
    if (key == 0) continue;
    t->message_.clear();
    *event = ui_event{ui_input::key, key};
    return true;
  }
}
