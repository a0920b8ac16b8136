#include "platform/registry.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/registry_file.h"

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

// The process's own registry: a volatile key under the user's, named after
// the process, whose subkeys are what a registry file holds under
// HKEY_CURRENT_USER. RegOverridePredefKey makes it HKEY_CURRENT_USER for every
// module of the process (the conduit's among them); the user's own keys are
// never written. The key goes when the process ends normally; a process that
// is killed leaves it until the system drops volatile keys, at the next logon.
namespace {

constexpr char kOwnRootPrefix[] = "Volatile Quorvia hotsync ";
std::string own_root;  // under the user's HKEY_CURRENT_USER; empty: none in use

void delete_tree(HKEY parent, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(parent, name, 0, KEY_READ | KEY_WRITE, &key) == ERROR_SUCCESS) {
    char child[256];
    for (;;) {
      DWORD length = sizeof child;
      if (RegEnumKeyExA(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr) !=
          ERROR_SUCCESS) {
        break;
      }
      delete_tree(key, child);
    }
    RegCloseKey(key);
  }
  RegDeleteKeyA(parent, name);
}

// Back to the user's registry, the process's own removed.
void drop_own_registry() {
  if (own_root.empty()) return;
  RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
  delete_tree(HKEY_CURRENT_USER, own_root.c_str());
  own_root.clear();
}

// Sets the values of a registry file's keys under root; a value named twice
// in a key keeps its first, as the POSIX reader finds it.
void put_keys(HKEY root, const std::string& text) {
  const std::string user_root = kRegistryUserRoot;
  std::vector<registry_file_key> keys = registry_file_keys(text);
  for (size_t i = 0; i < keys.size(); ++i) {
    const std::string& name = keys[i].name;
    if (name.size() <= user_root.size() ||
        !registry_same_name(name.substr(0, user_root.size()), user_root)) {
      continue;
    }
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, name.c_str() + user_root.size(), 0, nullptr, REG_OPTION_VOLATILE,
                        KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
      continue;
    }
    for (size_t v = 0; v < keys[i].values.size(); ++v) {
      const auto& value = keys[i].values[v];
      bool earlier = false;
      for (size_t j = 0; j <= i && !earlier; ++j) {
        if (!registry_same_name(keys[j].name, name)) continue;
        const size_t end = j == i ? v : keys[j].values.size();
        for (size_t w = 0; w < end && !earlier; ++w)
          earlier = registry_same_name(keys[j].values[w].first, value.first);
      }
      if (earlier) continue;
      RegSetValueExA(key, value.first.c_str(), 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(value.second.c_str()),
                     static_cast<DWORD>(value.second.size() + 1));
    }
    RegCloseKey(key);
  }
}

// A registry file is small; anything larger, or not a regular file, is no
// registry (an empty one).
constexpr DWORD kMaxRegistryBytes = 1 << 20;

std::string read_registry_file(const std::string& path) {
  // Not through the file layer: the registry is no file of the data set.
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return "";
  std::string text;
  LARGE_INTEGER size;
  if (GetFileType(h) == FILE_TYPE_DISK && GetFileSizeEx(h, &size) &&
      size.QuadPart <= kMaxRegistryBytes) {
    text.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    if (!text.empty() && (!ReadFile(h, &text[0], static_cast<DWORD>(text.size()), &got, nullptr) ||
                          got != text.size())) {
      text.clear();
    }
  }
  CloseHandle(h);
  return text;
}

}  // namespace

int32_t registry_use_text(const std::string& text) {
  drop_own_registry();
  static bool cleanup_registered = false;
  if (!cleanup_registered) cleanup_registered = std::atexit(drop_own_registry) == 0;
  char name[64];
  std::snprintf(name, sizeof name, "%s%lu", kOwnRootPrefix, GetCurrentProcessId());
  // A killed process of the same id may have left its key: its values are
  // not this run's. The key must be made anew, or the run has none.
  delete_tree(HKEY_CURRENT_USER, name);
  HKEY root = nullptr;
  DWORD made = 0;
  LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, name, 0, nullptr, REG_OPTION_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, &root, &made);
  if (result != ERROR_SUCCESS) return static_cast<int32_t>(result);
  if (made != REG_CREATED_NEW_KEY) {
    RegCloseKey(root);
    return ERROR_ALREADY_EXISTS;
  }
  own_root = name;
  put_keys(root, text);
  result = RegOverridePredefKey(HKEY_CURRENT_USER, root);
  RegCloseKey(root);
  if (result != ERROR_SUCCESS) {
    delete_tree(HKEY_CURRENT_USER, own_root.c_str());
    own_root.clear();
  }
  return static_cast<int32_t>(result);
}

void registry_end_own() {
  drop_own_registry();
}

int32_t registry_use_file(const std::string& path) {
  return registry_use_text(read_registry_file(path));
}
