// Replacing a whole small file so that a crash leaves the old or the new one.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Writes the bytes to path + ".tmp", forces them to disk and renames the file
// over path. Returns 0, or the system's error number (the temporary file is
// removed then).
int replace_file_contents(const std::string& path, const void* bytes, size_t size);

struct file_piece {
  const void* bytes;
  size_t size;
};
// The same for a file made of pieces that lie apart in memory.
int replace_file_pieces(const std::string& path, const std::vector<file_piece>& pieces);
