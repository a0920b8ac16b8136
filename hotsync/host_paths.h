// Where hotsync keeps things when the user does not say: under the user's
// data and configuration folders (XDG_DATA_HOME, XDG_CONFIG_HOME, or their
// usual places under HOME).
#pragma once

#include <sys/types.h>

#include <string>

// DATA/quorvia-hotsync/handheld: the handheld folder.
std::string default_handheld_folder();
// DATA/quorvia-hotsync/desktop/: the Quorvia data directory a new registry
// points at.
std::string default_desktop_folder();
// CONFIG/quorvia-hotsync/registry.reg: the current user's registry.
std::string default_registry_file();
// The conduit plug-in: beside hotsync, or in ../lib/quorvia-conduit/ of an
// installation.
std::string default_conduit_file();

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

// What is at path, as stat (following links) or lstat says: 0 with *mode, or
// the system's error number. ENOENT and ENOTDIR mean nothing is there.
int file_mode(const std::string& path, bool follow_links, mode_t* mode);
// The kind of file a mode says, in words: "a folder", "a FIFO", "a device"...
const char* file_kind_text(mode_t mode);
