// The default folders under the user's local application data, and the
// registry itself as the user's.
#include <windows.h>

#include <cstdlib>

#include "conduit/conduit_api.h"
#include "hotsync/host_paths.h"
#include "platform/file.h"
#include "platform/library_loader.h"
#include "platform/registry_file.h"

namespace {

constexpr char kAppFolder[] = "\\quorvia-hotsync";
constexpr char kPluginName[] = "quorvia_conduit.dll";

std::string base_folder() {
  for (const char* variable : {"LOCALAPPDATA", "APPDATA"}) {
    const char* folder = std::getenv(variable);
    if (folder && *folder) return folder;
  }
  return ".";
}

std::string user_key() {
  return std::string(kRegistryUserRoot) + kRegistryKeyPath;
}

// Whether the user's registry holds the data directory's value at all (an
// empty one counts: the conduit says then that it is not set).
bool value_present() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kRegistryKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  const bool present = RegQueryValueExA(key, kRegistryDataDirValue, nullptr, nullptr, nullptr,
                                        nullptr) == ERROR_SUCCESS;
  RegCloseKey(key);
  return present;
}

// Sets the value in the user's registry, to the default desktop folder.
bool set_default_value(std::string* why) {
  const std::string desktop = default_desktop_folder();
  if (!make_folders(desktop, why)) return false;
  HKEY key = nullptr;
  LONG result = RegCreateKeyExA(HKEY_CURRENT_USER, kRegistryKeyPath, 0, nullptr,
                                REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key, nullptr);
  if (result == ERROR_SUCCESS) {
    result = RegSetValueExA(key, kRegistryDataDirValue, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(desktop.c_str()),
                            static_cast<DWORD>(desktop.size() + 1));
    RegCloseKey(key);
  }
  if (result != ERROR_SUCCESS) {
    *why = "cannot set " + std::string(kRegistryDataDirValue) + " in " + user_key() + ": " +
           file_error_text(static_cast<int>(result));
    return false;
  }
  return true;
}

}  // namespace

std::string default_handheld_folder() {
  return base_folder() + kAppFolder + "\\handheld";
}

std::string default_desktop_folder() {
  return base_folder() + kAppFolder + "\\desktop\\";
}

std::string default_conduit_file() {
  return program_folder() + "\\" + kPluginName;
}

const char* default_folders_moved_by() {
  return "LOCALAPPDATA (else APPDATA) moves";
}

std::string user_registry_name() {
  return user_key();
}

bool use_user_registry(user_registry_use how, std::string* named_by, std::string* why) {
  *named_by = "pathtodatadir in " + user_key();
  if (how == user_registry_use::as_is || value_present()) return true;
  if (how == user_registry_use::make) return set_default_value(why);
  if (const int32_t error = registry_use_text(
          registry_file_text(kRegistryKeyPath, kRegistryDataDirValue, default_desktop_folder()))) {
    *why = "cannot make a registry of this process: " + std::string(file_error_text(error));
    return false;
  }
  *named_by = "pathtodatadir of " + user_key() + ", to be set";
  return true;
}
