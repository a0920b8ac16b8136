#include "hotsync/dialog_answer.h"

#include <windows.h>

#include <atomic>

#include "platform/thread.h"

namespace {

// The conduit gives its dialog this caption once it has set the dialog up.
constexpr char kDialogCaption[] = "Quorvia Conduit";
constexpr uint32_t kLookEveryMs = 20;

struct answer {
  std::vector<int> clicks;
  std::atomic<bool> stop{false};
  std::atomic<bool> seen{false};
  os_thread thread{};
  bool running = false;
};
answer the_answer;

struct search {
  DWORD process;
  HWND found;
};

BOOL CALLBACK find_dialog(HWND window, LPARAM param) {
  auto* s = reinterpret_cast<search*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char caption[64] = {};
  if (process != s->process || !IsWindowVisible(window) ||
      !GetWindowTextA(window, caption, sizeof caption) || lstrcmpA(caption, kDialogCaption) != 0) {
    return TRUE;
  }
  s->found = window;
  return FALSE;
}

// The script's user: waits for the dialog of this process to be up, then
// presses its controls in turn, as a user would click them.
void play(void* param) {
  auto* a = static_cast<answer*>(param);
  search s{GetCurrentProcessId(), nullptr};
  while (!a->stop && !s.found) {
    EnumWindows(find_dialog, reinterpret_cast<LPARAM>(&s));
    if (!s.found) thread_sleep(kLookEveryMs);
  }
  a->seen = s.found != nullptr;
  for (int id : a->clicks) {
    if (!s.found) break;
    // A control the dialog lacks ("Set as default" in the older one) is no
    // step of its answer.
    if (HWND control = GetDlgItem(s.found, id)) SendMessageA(control, BM_CLICK, 0, 0);
  }
}

}  // namespace

bool dialog_answering_start(const std::vector<int>& clicks, std::string* why) {
  // With no clicks the dialog is the user's; the thread only sees it open.
  the_answer.clicks = clicks;
  the_answer.stop = false;
  the_answer.seen = false;
  const int error = thread_start(&the_answer.thread, play, &the_answer);
  if (error != 0) {
    *why = "cannot start the thread that answers the dialog (error " + std::to_string(error) + ")";
    return false;
  }
  the_answer.running = true;
  return true;
}

bool dialog_answering_stop() {
  if (!the_answer.running) return false;
  the_answer.stop = true;
  thread_join(&the_answer.thread);
  the_answer.running = false;
  return the_answer.seen;
}
