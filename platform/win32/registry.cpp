#include "platform/registry.h"

#include <windows.h>

int32_t registry_open_user_key(const char* path, registry_key* key) {
  HKEY opened = nullptr;
  const LONG result = RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &opened);
  *key = reinterpret_cast<registry_key>(opened);
  return static_cast<int32_t>(result);
}

int32_t registry_query_value(registry_key key, const char* name, void* buffer, uint32_t* size) {
  DWORD bytes = *size;
  const LONG result = RegQueryValueExA(reinterpret_cast<HKEY>(key), name, nullptr, nullptr,
                                       static_cast<BYTE*>(buffer), &bytes);
  *size = bytes;
  return static_cast<int32_t>(result);
}

void registry_close_key(registry_key key) {
  RegCloseKey(reinterpret_cast<HKEY>(key));
}
