// On POSIX the current user's registry is a text file in the Windows .reg
// format (REGEDIT4) whose place the host decides:
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\Software\Quorvia\SETTINGS]
//   "pathtodatadir"="/home/ada/quorvia/"
//
// String values only, with \\ and \" as the escapes of a backslash and a
// quote; key and value names compare without regard to case, as on Windows.
#pragma once

#include <string>

// The file that holds the registry from now on; a missing file is an empty
// registry.
void registry_use_file(const std::string& path);
// A registry of this process only, held in memory: the text of a registry
// file. Nothing is left behind when the process ends, however it ends.
void registry_use_text(const std::string& text);

// The text of a registry file that holds one string value.
std::string registry_file_text(const std::string& key_path, const std::string& name,
                               const std::string& value);
