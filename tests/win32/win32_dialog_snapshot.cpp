// Pictures of both action dialogs as Windows draws them, for the README:
// opens each through its entry point, copies the window from the screen into
// a .bmp file, and cancels it.
//   usage: win32_dialog_snapshot CONDUIT.dll OUT101.bmp OUT399.bmp
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "tests/win32/wine_check.h"

namespace {

const char* target_file = nullptr;
bool saved = false;

bool save_window(HWND window, const char* path) {
  RECT r;
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  SelectObject(memory, old);
  const DWORD row = ((w * 3 + 3) / 4) * 4, size = row * h;
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + size;
  bool ok = false;
  if (FILE* out = std::fopen(path, "wb")) {
    ok = std::fwrite(&file, sizeof file, 1, out) == 1 &&
         std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out) == 1 &&
         std::fwrite(bits, 1, size, out) == size;
    std::fclose(out);
  }
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

DWORD WINAPI snapshot_and_cancel(void*) {
  HWND dialog = nullptr;
  for (int i = 0; i < 200 && !dialog; ++i) {
    dialog = FindWindowA(nullptr, "Quorvia Conduit");
    if (!dialog) Sleep(25);
  }
  if (!dialog) return 0;
  SetForegroundWindow(dialog);
  Sleep(700);  // drawn
  saved = save_window(dialog, target_file);
  PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  return 0;
}

template <typename Call>
bool snapshot(const char* path, Call call) {
  target_file = path;
  saved = false;
  HANDLE thread = CreateThread(nullptr, 0, snapshot_and_cancel, nullptr, 0, nullptr);
  call();
  WaitForSingleObject(thread, 20000);
  CloseHandle(thread);
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return 2;
  HMODULE dll = LoadLibraryExA(argv[1], nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!dll) return 1;
  auto cfg = entry<int32_t (*)(uint32_t, void*, uint32_t*)>(dll, "CfgConduit");
  auto configure = entry<int32_t (*)(void*)>(dll, "ConfigureConduit");
  uint8_t record[352] = {};
  const uint32_t fields[][2] = {{0, 1}, {4, 352}, {8, 1}, {336, 0}, {340, 3}};
  for (const auto& f : fields)
    std::memcpy(record + f[0], &f[1], 4);
  std::strcpy(reinterpret_cast<char*>(record + 16), "Ada");
  uint32_t size = 352;
  const bool full = snapshot(argv[2], [&] { cfg(0, record, &size); });
  uint8_t preference[528] = {};
  const bool plain = snapshot(argv[3], [&] { configure(preference); });
  std::printf("%s %s\n", full ? "saved" : "failed", plain ? "saved" : "failed");
  return full && plain ? 0 : 1;
}
