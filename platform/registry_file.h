// A registry as a text file in the Windows .reg format (REGEDIT4):
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Quorvia\SETTINGS]
//   "pathtodatadir"="/home/ada/quorvia/"
//
// String values only, with \\ and \" as the escapes of a backslash and a
// quote; key and value names compare without regard to case, as on Windows.
// On POSIX the current user's registry is such a file, whose place the host
// decides. On Windows the host reads one into a registry of the process's own,
// which stands in for the user's (HKEY_CURRENT_USER) in every module of the
// process until it ends, the user's own left as it was.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The file that holds the registry from now on; a missing file is an empty
// registry. On Windows it is read once, now. 0, or a Windows error code when
// the process's own registry could not be put in place (the user's stays).
int32_t registry_use_file(const std::string& path);
// A registry of this process only, held in memory: the text of a registry
// file. Nothing is left behind when the process ends (on Windows, one killed
// leaves a volatile key, which the system drops at the user's next logon).
// Results as registry_use_file's.
int32_t registry_use_text(const std::string& text);

// Ends the process's own registry before a process ends without running its
// exit handlers: on Windows its volatile key goes and the user's registry is
// the one in use again. On POSIX nothing of it outlives the process.
void registry_end_own();

// The text of a registry file that holds one string value.
std::string registry_file_text(const std::string& key_path, const std::string& name,
                               const std::string& value);

// A key of a registry file: its name as written there
// (HKEY_CURRENT_USER\...), empty when its line has no closing bracket, and its
// string values in the order of the file.
struct registry_file_key {
  std::string name;
  std::vector<std::pair<std::string, std::string>> values;
};
// The keys of a registry file's text, in order; lines that are neither a key
// nor a string value are passed over.
std::vector<registry_file_key> registry_file_keys(const std::string& text);
// Whether two key or value names are the same, as Windows compares them.
bool registry_same_name(const std::string& a, const std::string& b);

// The root of the current user's keys, as a registry file names it.
constexpr char kRegistryUserRoot[] = "HKEY_CURRENT_USER\\";
