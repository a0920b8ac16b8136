#include "platform/file_replacement.h"

int file_replacement_begin(file_replacement* r, const char* tmp_path) {
  r->tmp_path = tmp_path;
  r->complete = false;
  return file_create(tmp_path, &r->file);
}

int file_replacement_write(file_replacement* r, const void* bytes, size_t n) {
  return file_write(r->file, bytes, n);
}

int file_replacement_commit(file_replacement* r, const char* path) {
  int error = file_sync(r->file);
  // Closed even when the sync failed, so that no handle is left open and the
  // temporary can be removed.
  const int close_error = file_close(r->file);
  r->file = kNoFile;
  if (error == 0) error = close_error;
  if (error != 0) return error;
  r->complete = true;
  return file_replace(r->tmp_path, path);
}

void file_replacement_abandon(file_replacement* r) {
  file_replacement_leave(r);
  file_remove(r->tmp_path);
}

void file_replacement_leave(file_replacement* r) {
  if (r->file != kNoFile) file_close(r->file);
  r->file = kNoFile;
}
