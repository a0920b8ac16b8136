// Loading a plug-in library at run time and finding its entry points.
#pragma once

#include <string>

using library_handle = void*;

// Null when the library cannot be loaded; *why says what the system said.
library_handle library_open(const std::string& path, std::string* why);
void* library_symbol(library_handle library, const char* name);
void library_close(library_handle library);
// The folder of the running program, with no trailing separator.
std::string program_folder();
