// The conduit DLL as the HotSync Manager finds it: loaded by path, its entry
// points looked up by their plain names and called.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "tests/win32/wine_check.h"

namespace {

void set_data_dir(const std::string& value) {
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Quorvia\\SETTINGS", 0, nullptr, 0, KEY_WRITE,
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    check(false, "the registry key can be made");
    return;
  }
  RegSetValueExA(key, "pathtodatadir", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
}

bool exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A desktop-to-handheld HotSync through our HotSync Manager's libraries, which
// keep the handheld in the current folder.
void check_data_directory(int32_t (*open)(void*, uint32_t*)) {
  char temp[MAX_PATH];
  GetTempPathA(sizeof temp, temp);
  const std::string folder =
      std::string(temp) + "qv-data-dir-" + std::to_string(GetCurrentProcessId());
  const std::string desk = folder + "\\desk";
  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA(desk.c_str(), nullptr);
  SetCurrentDirectoryA(folder.c_str());
  const char xml[] = "<quorvia core_version=\"10\" time_of_start=\"1\">\r\n</quorvia>";
  HANDLE f = CreateFileA((desk + "\\elements.xml").c_str(), GENERIC_WRITE, 0, nullptr,
                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(f, xml, sizeof xml - 1, &written, nullptr);
  CloseHandle(f);

  uint32_t desktop_to_handheld = 3;
  set_data_dir(desk);  // no backslash at its end
  check(open(nullptr, &desktop_to_handheld) == 0 && exists(folder + "\\QVelements.pdb"),
        "a data directory without its backslash names the folder");
  check(exists(desk + "\\conduit_last_sync.txt"), "the complete HotSync is recorded there");
  set_data_dir("");
  check(open(nullptr, &desktop_to_handheld) == 2, "an empty data directory is not set: result 2");
  for (const char* name :
       {"\\QVelements.pdb", "\\desk\\elements.xml", "\\desk\\conduit_last_sync.txt"})
    DeleteFileA((folder + name).c_str());
  SetCurrentDirectoryA(temp);
  RemoveDirectoryA(desk.c_str());
  RemoveDirectoryA(folder.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  HMODULE dll = LoadLibraryExA(argv[1], nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  check(dll != nullptr, "the DLL loads with its HotSync Manager libraries");
  if (!dll) {
    return checks_result();
  }
  auto name = entry<int32_t (*)(char*)>(dll, "GetConduitName");
  auto version = entry<uint32_t (*)()>(dll, "GetConduitVersion");
  auto info = entry<int32_t (*)(uint32_t, void*, void*, uint32_t*)>(dll, "GetConduitInfo");
  auto cfg = entry<int32_t (*)(uint32_t, void*, uint32_t*)>(dll, "CfgConduit");
  const char* entries[] = {"OpenConduit",       "GetConduitInfo",   "GetConduitName",
                           "GetConduitVersion", "ConfigureConduit", "CfgConduit"};
  for (const char* entry : entries)
    check(GetProcAddress(dll, entry) != nullptr, entry);
  if (name && version && info && cfg) {
    char text[64] = {};
    check(name(text) == 0 && std::strcmp(text, "Quorvia Conduit") == 0, "GetConduitName");
    check(version() == 257, "GetConduitVersion is 257");
    uint8_t request[80] = {1, 0, 0, 0, 80};
    uint32_t size = sizeof text;
    check(info(0, request, text, &size) == 0 && size == 16, "info type 0 names the conduit");
    check(info(9, request, text, &size) == 4208, "info type 9 is refused");
    uint8_t record[700];
    std::memset(record, 0xEE, sizeof record);
    check(info(3, nullptr, record, &size) == 0 && record[0] == 0x45 && record[3] == 0x4E &&
              std::strcmp(reinterpret_cast<char*>(record + 550), "Quorvia Conduit") == 0,
          "info type 3 writes the conduit record");
    check(cfg(0, nullptr, &size) == 4212, "CfgConduit without a record is refused");
  }
  auto open = entry<int32_t (*)(void*, uint32_t*)>(dll, "OpenConduit");
  if (open) check_data_directory(open);
  FreeLibrary(dll);
  return checks_result();
}
