// The action dialog through the real dialog manager: a second thread plays
// the user, reading the dialog's texts and checks and pressing its controls,
// while the entry point runs the modal dialog on the first.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/win32/wine_check.h"

namespace {

// What the user does once the dialog is up, and what it saw there.
struct user_script {
  std::function<void(HWND)> before_clicks;
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
  if (script->before_clicks) script->before_clicks(dialog);
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

// Whether a picture control's bitmap has a pixel of the colour (0x00BBGGRR).
bool picture_has_color(HWND dialog, int control, COLORREF color) {
  auto bitmap = reinterpret_cast<HBITMAP>(
      SendDlgItemMessageA(dialog, control, STM_GETIMAGE, IMAGE_BITMAP, 0));
  BITMAP shape = {};
  if (!bitmap || !GetObjectA(bitmap, sizeof shape, &shape)) return false;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = shape.bmWidth;
  info.bmiHeader.biHeight = -shape.bmHeight;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  std::vector<uint32_t> pixels(static_cast<size_t>(shape.bmWidth) * shape.bmHeight);
  HDC screen = GetDC(nullptr);
  const int rows =
      GetDIBits(screen, bitmap, 0, shape.bmHeight, pixels.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  // DIB pixels are 0x00RRGGBB.
  const uint32_t wanted = GetRValue(color) << 16 | GetGValue(color) << 8 | GetBValue(color);
  for (uint32_t p : pixels) {
    if (rows > 0 && (p & 0xFFFFFF) == wanted) return true;
  }
  return false;
}

// What reached the help system: WinHelp hands its request to the window of
// class MS_WINHELP as WM_COPYDATA, a header then the file name.
struct help_request {
  int count = 0;
  HWND owner = nullptr;
  uint16_t command = 0;
  uint32_t data = 0;
  std::string file;
};
help_request help_seen;

LRESULT CALLBACK help_window(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_COPYDATA) return DefWindowProcA(window, message, wparam, lparam);
  const auto* copy = reinterpret_cast<const COPYDATASTRUCT*>(lparam);
  const auto* bytes = static_cast<const uint8_t*>(copy->lpData);
  ++help_seen.count;
  help_seen.owner = reinterpret_cast<HWND>(wparam);
  uint16_t file_at = 0;
  std::memcpy(&help_seen.command, bytes + 2, 2);
  std::memcpy(&help_seen.data, bytes + 4, 4);
  std::memcpy(&file_at, bytes + 12, 2);
  if (file_at > 0 && file_at < copy->cbData)
    help_seen.file.assign(
        reinterpret_cast<const char*>(bytes + file_at),
        strnlen(reinterpret_cast<const char*>(bytes + file_at), copy->cbData - file_at));
  return 1;
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
  {  // New system colours repaint the pictures; Help and F1 open the help file.
    WNDCLASSA help_class = {};
    help_class.lpfnWndProc = help_window;
    help_class.hInstance = GetModuleHandleA(nullptr);
    help_class.lpszClassName = "MS_WINHELP";
    RegisterClassA(&help_class);
    HWND help = CreateWindowA("MS_WINHELP", "help", 0, 0, 0, 0, 0, nullptr, nullptr,
                              help_class.hInstance, nullptr);
    const int face_index = COLOR_BTNFACE;
    const COLORREF face = GetSysColor(face_index), odd_face = RGB(0x12, 0x34, 0x56);
    bool old_face_shown = false, odd_face_before = true, odd_face_after = false;
    HWND dialog_seen = nullptr;
    user_script user;
    user.before_clicks = [&](HWND dialog) {
      dialog_seen = dialog;
      old_face_shown = picture_has_color(dialog, 1003, face);
      odd_face_before = picture_has_color(dialog, 1003, odd_face);
      SetSysColors(1, &face_index, &odd_face);
      SendMessageA(dialog, WM_SYSCOLORCHANGE, 0, 0);
      odd_face_after = picture_has_color(dialog, 1003, odd_face);
      SetSysColors(1, &face_index, &face);
      HELPINFO f1 = {sizeof f1, HELPINFO_WINDOW, IDOK, nullptr, 0, {0, 0}};
      SendMessageA(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&f1));
    };
    user.clicks = {9, 2};
    uint8_t preference[528] = {};
    put32(preference + 520, 0);
    with_user(&user, [&] { return configure(preference); });
    char module[MAX_PATH] = {};
    GetModuleFileNameA(dll, module, sizeof module);
    std::string help_file = module;
    help_file = help_file.substr(0, help_file.rfind('\\') + 1) + "hotsync.hlp";
    check(old_face_shown && !odd_face_before, "the pictures show the button face colour");
    check(odd_face_after, "WM_SYSCOLORCHANGE repaints the pictures in the new colour");
    check(help_seen.count == 2,
          "F1 and the Help button each call WinHelp: " + std::to_string(help_seen.count));
    check(help_seen.file == help_file, "help file beside the conduit: " + help_seen.file);
    check(help_seen.command == HELP_CONTEXT && help_seen.data == 0x2018F,
          "at context 131471 with HELP_CONTEXT");
    check(help_seen.owner == dialog_seen, "owned by the dialog");
    DestroyWindow(help);
  }
  FreeLibrary(dll);
  return checks_result();
}
