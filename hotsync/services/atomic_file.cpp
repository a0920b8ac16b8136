#include "hotsync/services/atomic_file.h"

#include "platform/file_replacement.h"

int replace_file_contents(const std::string& path, const void* bytes, size_t size) {
  return replace_file_pieces(path, {file_piece{bytes, size}});
}

int replace_file_pieces(const std::string& path, const std::vector<file_piece>& pieces) {
  const std::string tmp = path + ".tmp";
  file_replacement r;
  int error = file_replacement_begin(&r, tmp.c_str());
  if (error != 0) return error;
  for (size_t i = 0; i < pieces.size() && error == 0; ++i) {
    if (pieces[i].size > 0) error = file_replacement_write(&r, pieces[i].bytes, pieces[i].size);
  }
  if (error == 0) error = file_replacement_commit(&r, path.c_str());
  if (error != 0) file_replacement_abandon(&r);
  return error;
}
