// Where hotsync keeps things when the user does not say: under the user's
// data and configuration folders (on POSIX XDG_DATA_HOME, XDG_CONFIG_HOME, or
// their usual places under HOME; on Windows LOCALAPPDATA, else APPDATA). The
// defaults and the user's registry are each system's own: hotsync/posix/ and
// hotsync/win32/ hold them.
#pragma once

#include <filesystem>
#include <string>

#include "platform/file.h"

// DATA/quorvia-hotsync/handheld: the handheld folder.
std::string default_handheld_folder();
// DATA/quorvia-hotsync/desktop/: the Quorvia data directory a new registry
// points at.
std::string default_desktop_folder();
// The conduit plug-in: beside hotsync, or in ../lib/quorvia-conduit/ of an
// installation.
std::string default_conduit_file();
// The environment variables that move the default folders, as the help says
// it: "XDG_DATA_HOME and XDG_CONFIG_HOME move".
const char* default_folders_moved_by();

// The current user's registry, for the help: on POSIX the file
// CONFIG/quorvia-hotsync/registry.reg, on Windows the conduit's key of the
// registry itself.
std::string user_registry_name();
// How the user's registry is put in place for the conduit when no other is
// asked for: made on first use, pointing at the default desktop folder
// (make); as it would be made, in memory, when there is none yet
// (as_would_be_made); or as it is.
enum class user_registry_use { make, as_would_be_made, as_is };
// *named_by says where pathtodatadir comes from, for messages. False with *why
// when it could not be made or put in place.
bool use_user_registry(user_registry_use how, std::string* named_by, std::string* why);

// A path of the host's (UTF-8 on both systems) as the standard library takes
// it, and back: a bare narrow string would be read in the C locale's code page
// on Windows, which holds no name outside ASCII.
std::filesystem::path fs_path(const std::string& utf8);
std::string path_text(const std::filesystem::path& path);

// Creates the folder and its parents. False with *why on failure.
bool make_folders(const std::string& path, std::string* why);

// The file that holds the handheld database QVelements in a handheld folder.
std::string handheld_database_file(const std::string& folder);
// Whether the registry in use names a data directory the conduit takes: not
// at all (or empty), or one too long for it (the conduit says so in its log
// then, before it touches a side).
enum class data_dir_named { yes, no, too_long };
// The data directory as the conduit reads it from the registry in use, in
// *dir with its separator (empty unless yes).
data_dir_named registry_data_dir(std::string* dir);
// elements.xml in the data directory the registry in use names; empty when
// it names none.
std::string registry_desktop_file();
// The folder with a trailing separator, as the registry value holds it.
std::string with_trailing_separator(const std::string& folder);

// The kind of file, in words: "a folder", "a FIFO", "a device"...
const char* file_kind_text(file_kind kind);
