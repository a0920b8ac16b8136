#include "hotsync/host_paths.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "conduit/conduit_api.h"
#include "handheld/hh_layout.h"
#include "platform/registry.h"

bool make_folders(const std::string& path, std::string* why) {
  std::error_code error;
  std::filesystem::create_directories(fs_path(path), error);
  if (error) {
    *why = path + ": " + error.message();
    return false;
  }
  return true;
}

std::string with_trailing_separator(const std::string& folder) {
  if (!folder.empty() && is_path_separator(folder.back())) return folder;
  return folder + kPathSeparator;
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

const char* file_kind_text(file_kind kind) {
  switch (kind) {
    case file_kind::none:
      return "nothing";
    case file_kind::regular:
      return "a regular file";
    case file_kind::folder:
      return "a folder";
    case file_kind::fifo:
      return "a FIFO";
    case file_kind::symbolic_link:
      return "a symbolic link";
    case file_kind::device:
      return "a device";
    case file_kind::socket:
      return "a socket";
    default:
      return "something else";
  }
}

std::filesystem::path fs_path(const std::string& utf8) {
  return std::filesystem::u8path(utf8);
}

std::string path_text(const std::filesystem::path& path) {
  return path.u8string();
}
