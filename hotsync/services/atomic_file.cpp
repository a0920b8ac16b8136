#include "hotsync/services/atomic_file.h"

#include "platform/file.h"

int replace_file_contents(const std::string& path, const void* bytes, size_t size) {
  return replace_file_pieces(path, {file_piece{bytes, size}});
}

int replace_file_pieces(const std::string& path, const std::vector<file_piece>& pieces) {
  const std::string tmp = path + ".tmp";
  os_file f;
  int error = file_create(tmp.c_str(), &f);
  if (error != 0) return error;
  for (size_t i = 0; i < pieces.size() && error == 0; ++i) {
    if (pieces[i].size > 0) error = file_write(f, pieces[i].bytes, pieces[i].size);
  }
  if (error == 0) error = file_sync(f);
  int close_error = file_close(f);
  if (error == 0) error = close_error;
  if (error == 0) error = file_replace(tmp.c_str(), path.c_str());
  if (error != 0) file_remove(tmp.c_str());
  return error;
}
