#include "platform/library_loader.h"

#include <windows.h>

#include "platform/file.h"

library_handle library_open(const std::string& path, std::string* why) {
  HMODULE library = LoadLibraryA(path.c_str());
  if (!library) *why = file_error_text(static_cast<int>(GetLastError()));
  return library;
}

void* library_symbol(library_handle library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void library_close(library_handle library) {
  FreeLibrary(static_cast<HMODULE>(library));
}

std::string program_folder() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string self(path, n);
  size_t slash = self.find_last_of("\\/");
  return slash == std::string::npos ? "." : self.substr(0, slash);
}
