#include "hotsync/host_paths.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "conduit/data_dir.h"
#include "handheld/hh_layout.h"
#include "platform/file.h"
#include "platform/library_loader.h"

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

std::string registry_desktop_file() {
  char* xml = get_xml_path();
  std::string path = xml ? xml : "";
  std::free(xml);
  return path;
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
