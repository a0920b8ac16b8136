// The conduit DLL as the HotSync Manager finds it: loaded by path, its entry
// points looked up by their plain names and called.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "tests/win32/wine_check.h"

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
  FreeLibrary(dll);
  return checks_result();
}
