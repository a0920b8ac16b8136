// The action dialog through the real dialog manager: a second thread plays
// the user, reading the dialog's texts and checks and pressing its controls,
// while the entry point runs the modal dialog on the first.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tests/win32/wine_check.h"

namespace {

// What the user does once the dialog is up, and what it saw there.
struct user_script {
  std::vector<int> clicks;  // control ids, BM_CLICK in turn
  std::string caption, group, current_group, default_text, next_text;
  int checked = 0;
  bool images = false;
  bool found = false;
};

std::string text_of(HWND dialog, int id) {
  char text[256] = {};
  GetDlgItemTextA(dialog, id, text, sizeof text);
  return text;
}

DWORD WINAPI play_user(void* context) {
  auto* script = static_cast<user_script*>(context);
  HWND dialog = nullptr;
  for (int i = 0; i < 200 && !dialog; ++i) {
    dialog = FindWindowA(nullptr, "Quorvia Conduit");
    if (!dialog) Sleep(25);
  }
  if (!dialog) return 0;
  script->found = true;
  char caption[64] = {};
  GetWindowTextA(dialog, caption, sizeof caption);
  script->caption = caption;
  script->group = text_of(dialog, 403);
  script->current_group = text_of(dialog, 1006);
  script->default_text = text_of(dialog, 1004);
  script->next_text = text_of(dialog, 1005);
  for (int id = 404; id <= 407; ++id) {
    if (IsDlgButtonChecked(dialog, id) == BST_CHECKED) script->checked = id;
  }
  script->images = SendDlgItemMessageA(dialog, 1000, STM_GETIMAGE, IMAGE_BITMAP, 0) != 0;
  for (int id : script->clicks)
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
  return 0;
}

// Runs the entry point while the user plays the script.
template <typename Call>
int32_t with_user(user_script* script, Call call) {
  HANDLE thread = CreateThread(nullptr, 0, play_user, script, 0, nullptr);
  const int32_t result = call();
  WaitForSingleObject(thread, 10000);
  CloseHandle(thread);
  return result;
}

void put32(uint8_t* p, uint32_t v) {
  std::memcpy(p, &v, 4);
}
uint32_t get32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  HMODULE dll = LoadLibraryExA(argv[1], nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!dll) {
    return checks_result();
  }
  auto cfg = entry<int32_t (*)(uint32_t, void*, uint32_t*)>(dll, "CfgConduit");
  auto configure = entry<int32_t (*)(void*)>(dll, "ConfigureConduit");

  {  // CfgConduit with the current settings: read them, choose, tick, OK.
    uint8_t record[352] = {};
    put32(record, 1);
    put32(record + 4, 352);
    put32(record + 8, 1);
    std::strcpy(reinterpret_cast<char*>(record + 16), "X");
    put32(record + 336, 3);
    put32(record + 340, 2);
    user_script user;
    user.clicks = {404, 411, 1};
    uint32_t size = 352;
    const int32_t result = with_user(&user, [&] { return cfg(0, record, &size); });
    check(user.found, "the dialog of template 101 opens");
    check(result == 0, "CfgConduit returns 0");
    check(user.caption == "Quorvia Conduit", "caption: " + user.caption);
    check(user.group == "Vantry Action", "action group: " + user.group);
    check(user.current_group == "X's Current Settings:", "settings group: " + user.current_group);
    check(user.default_text == "Desktop overwrites Palm organizer.",
          "default: " + user.default_text);
    check(user.next_text == "Palm organizer overwrites Desktop.", "next: " + user.next_text);
    check(user.checked == 406, "the next action's button is checked");
    check(user.images, "the bitmap controls hold pictures");
    check(get32(record + 344) == 0 && get32(record + 348) == 1, "OK writes sync and default");
  }
  {  // ConfigureConduit: 1 in, OK, 0 out for the next HotSync only.
    uint8_t preference[528] = {};
    put32(preference + 520, 1);
    user_script user;
    user.clicks = {1};
    const int32_t result = with_user(&user, [&] { return configure(preference); });
    check(user.found && result == 0, "ConfigureConduit's dialog (template 399) answers OK");
    check(get32(preference + 520) == 0 && get32(preference + 516) == 2, "1 in, 0 out, next only");
  }
  {  // Cancel leaves the preference as it was.
    uint8_t preference[528] = {};
    put32(preference + 520, 5);
    user_script user;
    user.clicks = {405, 2};
    const int32_t result = with_user(&user, [&] { return configure(preference); });
    check(user.checked == 407, "5 opens on Do nothing");
    check(result == -1 && get32(preference + 520) == 5, "Cancel returns -1 and changes nothing");
  }
  FreeLibrary(dll);
  return checks_result();
}
