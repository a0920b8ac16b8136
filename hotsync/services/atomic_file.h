// Replacing a whole small file so that a crash leaves the old or the new one.
#pragma once

#include <cstddef>
#include <string>

// Writes the bytes to path + ".tmp", forces them to disk and renames the file
// over path. Returns 0, or the system's error number (the temporary file is
// removed then).
int replace_file_contents(const std::string& path, const void* bytes, size_t size);
