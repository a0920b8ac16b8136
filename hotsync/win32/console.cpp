#include "hotsync/console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

void console_start() {
  // The same bytes as on POSIX: scripts and the HotSync log compare lines,
  // and the console shows a bare LF as a line break.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // Its texts are UTF-8 (the manifest makes them so): the console shows them so.
  SetConsoleOutputCP(CP_UTF8);
  // The progress line is rewritten with terminal codes.
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(error, &mode))
    SetConsoleMode(error, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

bool is_terminal(std::FILE* stream) {
  // A console, not just a character device (NUL is one too).
  DWORD mode = 0;
  return GetConsoleMode(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))), &mode) != 0;
}
