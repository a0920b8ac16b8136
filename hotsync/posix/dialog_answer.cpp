#include "hotsync/dialog_answer.h"

#include <unistd.h>

#include <memory>

#include "hotsync/posix/terminal_dialog.h"
#include "platform/posix/dialog_front_end.h"

namespace {

// A user who clicks the controls given on the command line.
struct scripted_choice {
  std::vector<ui_event> steps;
  size_t next = 0;
  static bool input(const posix_dialog&, ui_event* event, void* self) {
    auto* s = static_cast<scripted_choice*>(self);
    if (s->next >= s->steps.size()) return false;
    *event = s->steps[s->next++];
    return true;
  }
};

scripted_choice script;
const dialog_front_end scripted{scripted_choice::input, nullptr, &script};
std::unique_ptr<terminal_dialog> terminal;

}  // namespace

bool dialog_answering_start(const std::vector<int>& clicks, std::string* why) {
  if (!clicks.empty()) {
    script = scripted_choice{};
    for (int id : clicks)
      script.steps.push_back({ui_input::click, id});
    dialog_set_front_end(&scripted);
    return true;
  }
  if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) {
    *why = "configure shows its dialog in a terminal; without one, choose with --action";
    return false;
  }
  terminal = std::make_unique<terminal_dialog>(STDIN_FILENO, STDOUT_FILENO);
  dialog_set_front_end(terminal->front_end());
  return true;
}

bool dialog_answering_stop() {
  dialog_set_front_end(nullptr);
  terminal.reset();
  return true;  // a front end was there to show it
}
