// Replacing a whole file so that a crash leaves the old or the new one: the
// new bytes go to a temporary beside it, reach the disk, and are renamed over
// it. Every step is a call of platform/file.h, so a test can make any one fail.
//
//   file_replacement r;
//   if (file_replacement_begin(&r, tmp) != 0) ...;  // nothing was made
//   ... file_replacement_write(&r, ...), or file_write(r.file, ...) ...
//   if (error || file_replacement_commit(&r, path) != 0) file_replacement_abandon(&r);
#pragma once

#include <cstddef>

#include "platform/file.h"

struct file_replacement {
  // The temporary: the caller's string, which must stay valid until commit or
  // abandon. Its name is the caller's too, beside the file it replaces.
  const char* tmp_path;
  // The temporary, open for writing from begin until commit or abandon;
  // kNoFile once closed.
  os_file file;
  // Set by commit once the temporary is complete on disk and closed: after a
  // failed commit, true when only its rename failed.
  bool complete;
};

// Creates the temporary at tmp_path by file_create's rules: what is already
// there (a stale temporary, a symbolic link) is removed, never followed; a
// folder there is an error. Returns 0, or the error with nothing made and
// nothing to abandon.
int file_replacement_begin(file_replacement* r, const char* tmp_path);
// Writes all n bytes to the temporary, or fails.
int file_replacement_write(file_replacement* r, const void* bytes, size_t n);
// Forces the temporary to disk, closes it and puts it in the place of path
// (the folder's entry forced to disk as well, where the system has that).
// Returns 0, or the first error: the temporary is closed and left, for
// abandon to remove or the caller to keep; path is its old self.
int file_replacement_commit(file_replacement* r, const char* path);
// Gives up: closes the temporary if it is still open and removes it.
void file_replacement_abandon(file_replacement* r);
// Gives up but leaves the temporary, closed, for a caller that keeps what it
// wrote so far.
void file_replacement_leave(file_replacement* r);
