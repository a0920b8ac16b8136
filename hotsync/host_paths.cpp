#include "hotsync/host_paths.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "conduit/conduit_api.h"
#include "handheld/hh_layout.h"
#include "platform/file.h"
#include "platform/library_loader.h"
#include "platform/registry.h"

namespace {

constexpr char kAppFolder[] = "/quorvia-hotsync";
constexpr char kPluginName[] = "libquorvia_conduit.so";

std::string base_folder(const char* xdg_variable, const char* under_home) {
  const char* xdg = std::getenv(xdg_variable);
  if (xdg && *xdg) return xdg;
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : ".") + under_home;
}

}  // namespace

std::string default_handheld_folder() {
  return base_folder("XDG_DATA_HOME", "/.local/share") + kAppFolder + "/handheld";
}

std::string default_desktop_folder() {
  return base_folder("XDG_DATA_HOME", "/.local/share") + kAppFolder + "/desktop/";
}

std::string default_registry_file() {
  return base_folder("XDG_CONFIG_HOME", "/.config") + kAppFolder + "/registry.reg";
}

std::string default_conduit_file() {
  const std::string here = program_folder();
  const std::string beside = here + "/" + kPluginName;
  if (file_exists(beside.c_str())) return beside;
  return here + "/../lib/quorvia-conduit/" + kPluginName;
}

bool make_folders(const std::string& path, std::string* why) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) {
    *why = path + ": " + error.message();
    return false;
  }
  return true;
}

std::string with_trailing_separator(const std::string& folder) {
  if (!folder.empty() && folder.back() == '/') return folder;
  return folder + "/";
}

std::string handheld_database_file(const std::string& folder) {
  return folder + "/" + kHhDbName + ".pdb";
}

data_dir_named registry_data_dir(std::string* dir) {
  dir->clear();
  registry_key key = 0;
  if (registry_open_user_key(kRegistryKeyPath, &key) != kRegistryOk) return data_dir_named::no;
  // Read into the room the conduit gives it, so that both see the same value.
  std::string value(kConduitDataDirValueRoom, '\0');
  uint32_t size = static_cast<uint32_t>(value.size());
  const int32_t result = registry_query_value(key, kRegistryDataDirValue, &value[0], &size);
  registry_close_key(key);
  if (result == kRegistryMoreData) return data_dir_named::too_long;
  if (result != kRegistryOk) return data_dir_named::no;
  value.resize(std::min<size_t>(size, value.size()));
  const size_t end = value.find('\0');
  if (end == std::string::npos)
    return data_dir_named::too_long;  // no string, as the conduit sees it
  value.resize(end);
  if (value.empty()) return data_dir_named::no;
  if (!is_path_separator(value.back())) value += kPathSeparator;
  if (value.size() > static_cast<size_t>(kConduitDataDirMaxLength)) return data_dir_named::too_long;
  *dir = value;
  return data_dir_named::yes;
}

std::string registry_desktop_file() {
  std::string dir;
  return registry_data_dir(&dir) == data_dir_named::yes ? dir + kConduitDesktopFile : "";
}

int file_mode(const std::string& path, bool follow_links, mode_t* mode) {
  struct stat st;
  const int r = follow_links ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
  if (r != 0) return errno;
  *mode = st.st_mode;
  return 0;
}

const char* file_kind_text(mode_t mode) {
  if (S_ISREG(mode)) return "a regular file";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISLNK(mode)) return "a symbolic link";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  if (S_ISSOCK(mode)) return "a socket";
  return "something else";
}
