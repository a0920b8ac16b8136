// The XDG places of the default folders, and the registry kept as a file.
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "conduit/conduit_api.h"
#include "hotsync/host_paths.h"
#include "hotsync/services/atomic_file.h"
#include "platform/file.h"
#include "platform/library_loader.h"
#include "platform/registry_file.h"

namespace {

constexpr char kAppFolder[] = "/quorvia-hotsync";
constexpr char kPluginName[] = "libquorvia_conduit.so";

std::string base_folder(const char* xdg_variable, const char* under_home) {
  const char* xdg = std::getenv(xdg_variable);
  if (xdg && *xdg) return xdg;
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + under_home;
}

// CONFIG/quorvia-hotsync/registry.reg: the current user's registry.
std::string default_registry_file() {
  return base_folder("XDG_CONFIG_HOME", "/.config") + kAppFolder + "/registry.reg";
}

// The default registry: made on first use, pointing at the default data folder.
bool prepare_default_registry(const std::string& path, std::string* why) {
  std::error_code error;
  if (std::filesystem::exists(path, error)) return true;
  if (error) {
    *why = path + ": " + error.message();
    return false;
  }
  const std::string desktop = default_desktop_folder();
  if (!make_folders(desktop, why)) return false;
  if (!make_folders(std::filesystem::path(path).parent_path().string(), why)) return false;
  const std::string text = registry_file_text(kRegistryKeyPath, kRegistryDataDirValue, desktop);
  if (replace_file_contents(path, text.data(), text.size()) != 0) {
    *why = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace

std::string default_handheld_folder() {
  return base_folder("XDG_DATA_HOME", "/.local/share") + kAppFolder + "/handheld";
}

std::string default_desktop_folder() {
  return base_folder("XDG_DATA_HOME", "/.local/share") + kAppFolder + "/desktop/";
}

std::string default_conduit_file() {
  const std::string here = program_folder();
  const std::string beside = here + "/" + kPluginName;
  if (file_exists(beside.c_str())) return beside;
  return here + "/../lib/quorvia-conduit/" + kPluginName;
}

const char* default_folders_moved_by() {
  return "XDG_DATA_HOME and XDG_CONFIG_HOME move";
}

std::string user_registry_name() {
  return default_registry_file();
}

bool use_user_registry(user_registry_use how, std::string* named_by, std::string* why) {
  const std::string registry = default_registry_file();
  std::error_code absent;
  if (how == user_registry_use::as_would_be_made && !std::filesystem::exists(registry, absent) &&
      !absent) {
    registry_use_text(
        registry_file_text(kRegistryKeyPath, kRegistryDataDirValue, default_desktop_folder()));
    *named_by = "pathtodatadir of the registry " + registry + " to be made";
    return true;
  }
  if (how == user_registry_use::make && !prepare_default_registry(registry, why)) return false;
  registry_use_file(registry);
  *named_by = "pathtodatadir in " + registry;
  return true;
}
